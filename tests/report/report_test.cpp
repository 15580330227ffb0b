// The change report in its three formats, --help and --version, on the
// built binary; the map page in a real browser where there is one.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <map>

#include "support/run_binary.h"

namespace tovlek::testkit {
namespace {

const std::string kData = TOVLEK_TEST_DATA "/report/";

class ReportTest : public ::testing::Test {
 protected:
  void SetUp() override { writeFile(dir.file("map.mp"), readFile(kData + "five-roads.mp")); }
  ScratchDir dir;
};

// Five roads: the fourth one read ends 3 units from the first one's end (a
// weld), the third stops 8 units short of the first (a snap and a placed
// point), the second crosses the first (a crossing), and the last stops 8
// beside the first at 45 degrees (a gap); the ends left loose near a road
// follow (open ends).
// Welds of vertices already at one place change nothing and are left out.
TEST_F(ReportTest, OneFeaturePerChangeInOrder) {
  for (const char* format : {"geojson", "gpx"}) {
    const std::string name = std::string("r.") + format;
    const RunResult result =
        runTovlek(dir.path, {"-i", "map.mp", "-o", "out.mp", "--close-gaps", "--report", name});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(readFile(dir.file(name)), readFile(kData + "five-roads." + format));
  }
  // .json is GeoJSON too.
  runTovlek(dir.path, {"-i", "map.mp", "-o", "out.mp", "--close-gaps", "--report", "r.json"});
  EXPECT_EQ(readFile(dir.file("r.json")), readFile(kData + "five-roads.geojson"));
}

// Counts the features of each kind in a GeoJSON report.
std::map<std::string, int> kindsIn(const std::string& geojson) {
  std::map<std::string, int> kinds;
  const std::string key = "\"kind\":\"";
  for (size_t at = geojson.find(key); at != std::string::npos; at = geojson.find(key, at + 1)) {
    const size_t begin = at + key.size();
    ++kinds[geojson.substr(begin, geojson.find('"', begin) - begin)];
  }
  return kinds;
}

bool has(const std::string& program) {
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// The texts of every element `tag` in an XML text, in order.
std::vector<std::string> elementTexts(const std::string& xml, const std::string& tag) {
  std::vector<std::string> texts;
  const std::string open = "<" + tag + ">", close = "</" + tag + ">";
  for (size_t at = xml.find(open); at != std::string::npos; at = xml.find(open, at + 1)) {
    const size_t begin = at + open.size();
    texts.push_back(xml.substr(begin, xml.find(close, begin) - begin));
  }
  return texts;
}

// GPX 1.1 and KML 2.2 are well-formed, in their namespace, with one waypoint
// or placemark per feature, named and described alike; GDAL reads the KML.
TEST_F(ReportTest, XmlReportsValidate) {
  if (!has("xmllint")) GTEST_SKIP() << "xmllint (Debian libxml2-utils) is not installed";
  writeFile(dir.file("map.mp"), readFile(TOVLEK_TEST_DATA "/vectors/gaps-01.mp"));
  for (const char* name : {"r.gpx", "r.kml", "r.geojson"})
    runTovlek(dir.path, {"-i", "map.mp", "-o", "out.mp", "--close-gaps", "--report", name});
  int features = 0;
  for (const auto& [kind, count] : kindsIn(readFile(dir.file("r.geojson")))) features += count;
  EXPECT_GT(features, 50);
  const std::pair<const char*, const char*> formats[] = {
      {"r.gpx wpt", "http://www.topografix.com/GPX/1/1"},
      {"r.kml Placemark", "http://www.opengis.net/kml/2.2"}};
  for (const auto& [fileAndElement, space] : formats) {
    const std::string file(fileAndElement, 5), element(fileAndElement + 6);
    const RunResult check = runShell(dir.path, "xmllint --noout " + file +
                                                   " && xmllint --xpath "
                                                   "'namespace-uri(/*)' " +
                                                   file +
                                                   " && xmllint "
                                                   "--xpath \"count(//*[local-name()='" +
                                                   element + "'])\" " + file);
    EXPECT_EQ(check.out, std::string(space) + "\n" + std::to_string(features) + "\n") << file;
  }
  const std::string gpx = readFile(dir.file("r.gpx")), kml = readFile(dir.file("r.kml"));
  std::vector<std::string> kmlNames = elementTexts(kml, "name");
  kmlNames.erase(kmlNames.begin());  // the document's
  EXPECT_EQ(kmlNames, elementTexts(gpx, "name"));
  EXPECT_EQ(elementTexts(kml, "description"), elementTexts(gpx, "desc"));
  if (!has("ogrinfo")) GTEST_SKIP() << "ogrinfo (Debian gdal-bin) is not installed";
  const RunResult gdal = runShell(dir.path, "ogrinfo -ro -al -so r.kml");
  EXPECT_EQ(gdal.status, 0) << gdal.err;
  EXPECT_NE(gdal.out.find("Feature Count: " + std::to_string(features) + "\n"), std::string::npos)
      << gdal.out;
}

// The document that headless Chromium makes of a page in the directory
// (a name, with a #fragment if wanted), once its scripts have run.
RunResult pageInBrowser(const ScratchDir& dir, const std::string& page) {
  return runShell(
      dir.path,
      "timeout 60 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
      "--disable-background-networking --disable-component-update --disable-sync "
      "--user-data-dir=\"$PWD/profile\" --dump-dom \"file://$PWD/" +
          page + "\" 2>/dev/null");
}

// The map page runs in headless Chromium without an error, and its legend
// counts what the report holds.
TEST_F(ReportTest, MapPageRunsInABrowser) {
  if (!has("chromium")) GTEST_SKIP() << "chromium is not installed";
  // A generated street network, and five roads with a label that would end
  // the page's script if it were not escaped.
  for (const std::string& map :
       {std::string(TOVLEK_TEST_DATA "/vectors/gaps-01.mp"), kData + "five-roads.mp"}) {
    writeFile(dir.file("map.mp"), readFile(map));
    for (const char* name : {"r.html", "r.geojson"})
      runTovlek(dir.path, {"-i", "map.mp", "-o", "out.mp", "--close-gaps", "--report", name});
    const RunResult page = pageInBrowser(dir, "r.html");
    // Ready, and no error noted on the body.
    EXPECT_NE(page.out.find("<body data-ready=\"1\">"), std::string::npos) << map;
    const std::map<std::string, int> kinds = kindsIn(readFile(dir.file("r.geojson")));
    for (const char* kind :
         {"weld", "snap", "crossing", "placed", "gap", "open-end", "collapsed"}) {
      const auto at = kinds.find(kind);
      const std::string legend = "data-kind=\"" + std::string(kind) + "\" data-count=\"" +
                                 std::to_string(at == kinds.end() ? 0 : at->second) + "\"";
      EXPECT_NE(page.out.find(legend), std::string::npos) << map << ": " << legend;
    }
  }
}

// A change's details show a road's label as the map has it: an entity in
// it is text, not markup. (page.html#N shows the N-th change.)
TEST_F(ReportTest, MapPageShowsLabelsAsWritten) {
  if (!has("chromium")) GTEST_SKIP() << "chromium is not installed";
  writeFile(dir.file("map.mp"),
            "[POLYLINE]\nType=0x6\nLabel=AT&amp;T Plaza &#60;north&#62;\n"
            "Data0=(0.00000,0.00000),(0.00100,0.00000)\n[END]\n"
            "[POLYLINE]\nType=0x6\nData0=(0.00050,-0.00050),(0.00050,0.00050)\n[END]\n");
  runTovlek(dir.path, {"-i", "map.mp", "-o", "out.mp", "--report", "r.html"});
  const std::string page = pageInBrowser(dir, "r.html#0").out;
  EXPECT_NE(page.find("AT&amp;amp;T Plaza &amp;#60;north&amp;#62;"), std::string::npos) << page;
}

// The report adds its file and the summary line on standard error; the map
// and standard output stay exactly as without it.
TEST_F(ReportTest, ReportAddsOnlyTheSummary) {
  const RunResult without = runTovlek(dir.path, {"-i", "map.mp", "-o", "out.mp"});
  const std::string plainMap = readFile(dir.file("out.mp"));
  const RunResult with =
      runTovlek(dir.path, {"-i", "map.mp", "-o", "out.mp", "--report", "r.geojson"});
  EXPECT_EQ(readFile(dir.file("out.mp")), plainMap);
  EXPECT_EQ(without.out, with.out);
  EXPECT_EQ(without.err, "");
  EXPECT_EQ(with.err.substr(0, 8), "Summary:");
}

TEST_F(ReportTest, SummaryCounts) {
  const std::pair<std::string, std::string> cases[] = {
      // One weld of ends, one snap that places a point and welds it, one
      // crossing of two inserted vertices welded; the fifth road is left
      // 8 beside the first: every road but that one moves or gains a vertex.
      {readFile(kData + "five-roads.mp"),
       "welds 3, road ends moved 1, vertices inserted 3, roads changed 4, gaps closed 0, "
       "open ends 7, rounds 1"},
      // A weld of vertices already at one position changes no road.
      {"[POLYLINE]\nType=0x6\nData0=(0.00000,0.00000),(0.00100,0.00000)\n[END]\n"
       "[POLYLINE]\nType=0x6\nData0=(0.00100,0.00000),(0.00100,0.00100)\n[END]\n"
       "[POLYLINE]\nType=0x6\nData0=(0.00500,0.00500),(0.00600,0.00500)\n[END]\n",
       "welds 1, road ends moved 0, vertices inserted 0, roads changed 0, gaps closed 0, "
       "open ends 0, rounds 1"},
      // The end on the first road is a snap of length 0: counted, but not a
      // change; the first road gains a vertex. Its ends are 50 (5 x the
      // distance) from the second road: open.
      {"[POLYLINE]\nType=0x6\nData0=(0.00000,0.00000),(0.00100,0.00000)\n[END]\n"
       "[POLYLINE]\nType=0x6\nData0=(0.00050,0.00000),(0.00050,0.00100)\n[END]\n",
       "welds 1, road ends moved 1, vertices inserted 1, roads changed 1, gaps closed 0, "
       "open ends 2, rounds 1"},
  };
  for (const auto& [map, counts] : cases) {
    writeFile(dir.file("map.mp"), map);
    const RunResult result =
        runTovlek(dir.path, {"-i", "map.mp", "-o", "out.mp", "--report", "r.geojson"});
    EXPECT_EQ(result.err, "Summary: " + counts + "\n");
  }
}

TEST_F(ReportTest, ReportValueIsTestedForNothingElse) {
  const RunResult result = runTovlek(
      dir.path, {"--report", "x-i-o-m.geojson", "-m", "5", "-i", "map.mp", "-o", "out.mp"});
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.out.find("Minimum distance set to 5."), std::string::npos);
  EXPECT_TRUE(fileExists(dir.file("x-i-o-m.geojson")));
  EXPECT_TRUE(fileExists(dir.file("out.mp")));
}

TEST_F(ReportTest, FailedReportLeavesTheMapAlone) {
  writeFile(dir.file("out.mp"), "old\n");
  RunResult result = runTovlek(dir.path, {"-i", "map.mp", "-o", "out.mp", "--report", "/dev/full"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find("Error writing report file /dev/full!\n"), std::string::npos);
  EXPECT_EQ(result.err, "tovlek: /dev/full: No space left on device\n");
  EXPECT_EQ(readFile(dir.file("out.mp")), "old\n");

  result = runTovlek(dir.path, {"-i", "map.mp", "-o", "out.mp", "--report", "no-dir/r.geojson"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find("Error opening report file no-dir/r.geojson!\n"), std::string::npos);
  EXPECT_EQ(listDirectory(dir.path), (std::vector<std::string>{"map.mp", "out.mp"}));
}

// Labels are read in the map's code page. Without one, what is not
// well-formed UTF-8 is read as Latin-1; either way the report is valid JSON.
TEST_F(ReportTest, LabelsAreAlwaysValidJson) {
  const std::pair<std::string, std::string> cases[] = {
      {"Label=\xC3\xA9\xF5\xA4\xBA\xED\xA0\x80\xE0\x80\x80\"\x01\n",
       "\xC3\xA9\xC3\xB5\xC2\xA4\xC2\xBA\xC3\xAD\xC2\xA0\xC2\x80\xC3\xA0\xC2\x80\xC2\x80\\\"\\u000"
       "1"},
      {"[IMG ID]\nCodePage=1251\n[END-IMG ID]\nLabel=\xD3\xEB\xE8\xF6\xE0 \x98\n",
       "\xD0\xA3\xD0\xBB\xD0\xB8\xD1\x86\xD0\xB0 \xC2\x98"},  // 0x98 is no letter in 1251
      {"[IMG ID]\nCodePage=999\n[END-IMG ID]\nLabel=\xE9\n", "\xC3\xA9"},  // no such code page
  };
  for (const auto& [header, label] : cases) {
    const size_t split = header.find("Label=");
    writeFile(dir.file("map.mp"), header.substr(0, split) + "[POLYLINE]\nType=0x6\n" +
                                      header.substr(split) +
                                      "Data0=(0.00000,0.00000),(0.00100,0.00000)\n[END]\n"
                                      "[POLYLINE]\nType=0x6\nData0=(0.00100,0.00003),(0.00100,"
                                      "0.00100)\n[END]\n");
    ASSERT_EQ(runTovlek(dir.path, {"-i", "map.mp", "-o", "out.mp", "--report", "r.geojson"}).status,
              0);
    const std::string report = readFile(dir.file("r.geojson"));
    EXPECT_NE(report.find("\"second_label\":\"" + label + "\"}}"), std::string::npos) << report;
  }
}

// A report written over the input or the map would destroy it: refused
// before anything is opened, also through a link or another spelling.
TEST_F(ReportTest, ReportOverAMapIsRefused) {
  const std::string map = readFile(dir.file("map.mp"));
  RunResult result = runTovlek(dir.path, {"-i", "map.mp", "-o", "out.mp", "--report", "./map.mp"});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.out.find("Report file ./map.mp is the input or output map!\n"),
            std::string::npos);
  EXPECT_EQ(readFile(dir.file("map.mp")), map);

  const std::string sameByAnotherName =
      "../" + dir.path.substr(dir.path.rfind('/') + 1) + "/new.mp";
  result = runTovlek(dir.path, {"-i", "map.mp", "-o", "new.mp", "--report", sameByAnotherName});
  EXPECT_EQ(result.status, 2);
  ASSERT_EQ(symlink("out.mp", dir.file("link.geojson").c_str()), 0);
  writeFile(dir.file("out.mp"), "old\n");
  EXPECT_EQ(
      runTovlek(dir.path, {"-i", "map.mp", "-o", "out.mp", "--report", "link.geojson"}).status, 2);
  EXPECT_EQ(readFile(dir.file("out.mp")), "old\n");
  EXPECT_EQ(listDirectory(dir.path),
            (std::vector<std::string>{"link.geojson", "map.mp", "out.mp"}));
  // Devices may be shared.
  EXPECT_EQ(
      runTovlek(dir.path, {"-i", "map.mp", "-o", "/dev/null", "--report", "/dev/null"}).status, 0);
}

// --help is one line per option (a row of the command-line table checks
// its start); --version is the banner alone.
TEST_F(ReportTest, HelpAndVersion) {
  const std::string help = runTovlek(dir.path, {"--help"}).out;
  for (const char* option : {"-i ", "-o ", "-m ", "--close-gaps", "--keep-layout", "--report",
                             "--check", "--threads", "--quiet", "--help", "--version"})
    EXPECT_NE(help.find(option), std::string::npos) << option;
  const RunResult result = runTovlek(dir.path, {"--version"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 4);  // the banner alone
}

}  // namespace
}  // namespace tovlek::testkit
