// The command line, the console lines, the exit status and the output file,
// on the built binary.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "support/run_binary.h"

namespace tovlek::testkit {
namespace {

const std::string kMap =
    "; a small map\n"
    "[POLYLINE]\nType=0x6\nData0=(0.00000,0.00000),(0.00100,0.00000)\n[END]\n"
    "[POLYLINE]\nType=0x2\nData0=(0.00050,-0.00050),(0.00050,0.00050)\n[END]\n";

// The map above, joined: the roads crossed at (0.0005, 0), and both got a
// shared vertex there.
const std::string kJoined =
    "; a small map\n"
    "[POLYLINE]\nType=0x2\nData0=(0.00050,-0.00050),(0.00050,0.00000),(0.00050,0.00050)\n"
    "[END]\n\n"
    "[POLYLINE]\nType=0x6\nData0=(0.00000,0.00000),(0.00050,0.00000),(0.00100,0.00000)\n"
    "[END]\n\n";

const std::string kSummary =
    "Summary: welds 1, road ends moved 0, vertices inserted 2, roads changed 2, gaps closed 0, "
    "open ends 4, rounds 1\n";

// The banner (its free lines differ by build) as "B|".
std::string withBannerMarked(std::string text) {
  const size_t begin = text.find("Tovlek - Vorneskap 0.1\r\n");
  const size_t end = text.find("\r\n\n", begin);
  if (begin != std::string::npos && end != std::string::npos)
    text.replace(begin, end + 3 - begin, "B|");
  return text;
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override { writeFile(dir.file("map.mp"), kMap); }
  RunResult run(const std::vector<std::string>& arguments, const std::string& prefix = "") {
    return runTovlek(dir.path, arguments, prefix);
  }
  ScratchDir dir;
};

// Options by substring, in any order, the last one winning; an argument
// that no option uses is a usage error; standard input and output by "-"
// or by name, keeping the map apart from the console lines.
TEST_F(CliTest, CommandLines) {
  writeFile(dir.file("empty.mp"), "");
  writeFile(dir.file("noise.bin"), std::string("\x7f\x45\x4c\x46\x02\x01\x01\0\0\0", 10) +
                                       std::string(2000, '\xe1') + "]\n[");
  const std::string parsed = "B|Parsing map.mp...\r\nFound 2 roads, 0 million pairs.\r\n";
  const std::string joinedLines = parsed + "Minimum distance set to 10.\r\n\nWriting ";
  const std::string gpx = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx ";
  const std::string kml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<kml xmlns=\"http://www.opengis.net/kml/2.2\">";
  const std::string geojson = "{\"type\":\"FeatureCollection\"";
  const struct {
    const char* arguments;  // as typed in a shell
    const char* redirect;   // of the run's standard input or output, if any
    int status;
    std::string out;  // its start, banner marked; empty: nothing at all
    std::string err;  // all of it, banner marked
    std::vector<std::pair<std::string, std::string>> written;  // files and their start
  } cases[] = {
      // clang-format off
      {"", "", 2, "B|Input file is not set!\r\n", "", {}},
      {"-o out.mp", "", 2, "B|Input file is not set!\r\n", "", {}},
      {"-i nothing-here.mp", "", 2, "B|Output file is not set!\r\n", "", {}},
      {"-m 2147483648 -o b.mp", "", 2, "B|Invalid minimum distance 2147483648!\r\n", "", {}},
      {"-o b.mp x-i map.mp -m 0x14", "", 0,
       parsed + "Minimum distance set to 20.\r\n\nWriting b.mp...\r\nDone!\r\n", "", {{"b.mp", kJoined}}},
      {"-m 010 -i map.mp -o b.mp", "", 0, parsed + "Minimum distance set to 8.", "", {{"b.mp", kJoined}}},
      {"-m -2147483648 -i nothing.mp -i map.mp -o b.mp", "", 0,
       parsed + "Minimum distance set to -2147483648.", "", {{"b.mp", "; a small map\n"}}},
      // The value of -m is also taken as -i, as the scan does.
      {"-m 5 -m -i map.mp -o b.mp", "", 0, parsed + "Minimum distance set to 5.",
       "Warning: -m value '-i' is not a number; distance stays 5\n", {{"b.mp", kJoined}}},
      // Mistyped options, a value given with '=', and what stands after
      // the first unknown argument: usage errors, nothing run.
      {"--close-gap -i map.mp -o b.mp", "", 2, "B|", "Unknown argument '--close-gap' (see --help)\n", {}},
      {"-i map.mp -o b.mp --report=r.geojson --Report x", "", 2, "B|",
       "Unknown argument '--report=r.geojson' (see --help)\n", {}},
      {"-i map.mp -o b.mp -m=25", "", 2, "B|", "Missing value after '-m=25' (see --help)\n", {}},
      {"-i map.mp -o", "", 2, "B|", "Missing value after '-o' (see --help)\n", {}},
      {"-i map.mp -o b.mp --threads", "", 2, "B|", "Missing value after '--threads' (see --help)\n", {}},
      // A thread count is a whole number from 1 to 256, and -i in its value is no -i.
      {"--threads -i4 -i map.mp -o b.mp", "", 2,
       "B|Invalid thread count -i4! Give a number from 1 to 256.\r\n", "", {}},
      {"-h", "", 0, "B|Usage: tovlek -i INPUT -o OUTPUT", "", {}},
      {"-q -i map.mp -o b.mp", "", 0, "", "", {{"b.mp", kJoined}}},
      {"-i missing.mp --quiet -o b.mp", "", 1, "",
       "Error opening input file missing.mp!\ntovlek: missing.mp: No such file or directory\n", {}},
      // Standard input and output; the console lines go to standard error
      // whenever the map or the report goes to standard output.
      {"-i - -o b.mp", "< map.mp", 0, "B|Parsing -...\r\nFound 2 roads", "", {{"b.mp", kJoined}}},
      {"-i map.mp -o -", "", 0, kJoined, joinedLines + "-...\r\nDone!\r\n", {}},
      {"-i map.mp -o /dev/stdout --threads 3", "| cat >piped.mp", 0, "",
       joinedLines + "/dev/stdout...\r\nDone!\r\n", {{"piped.mp", kJoined}}},
      {"-i map.mp -o b.mp --report -", "", 0, geojson,
       joinedLines + "b.mp...\r\n" + kSummary + "Done!\r\n", {{"b.mp", kJoined}}},
      {"-i map.mp -o - --report -", "", 2, "", "B|Report file - is the input or output map!\n", {}},
      // No road in an empty map is no surprise; in a file that holds no
      // section at all, it is worth a word.
      {"-i empty.mp -o b.mp", "", 0, "B|Parsing empty.mp...\r\nFound 0 roads", "", {{"b.mp", ""}}},
      {"-i noise.bin -o b.mp", "", 0, "B|Parsing noise.bin...\r\nFound 0 roads",
       "Warning: no roads found in noise.bin\n", {{"b.mp", "\x7f\x45\x4c\x46"}}},
      // The report's format by its name; a name without an ending, or a
      // device, is GeoJSON; an ending no format has is a usage error.
      {"-i map.mp -o b.mp --report r.GPX", "", 0, parsed, kSummary, {{"b.mp", kJoined}, {"r.GPX", gpx}}},
      {"-i map.mp -o b.mp --report r.kml", "", 0, parsed, kSummary, {{"b.mp", kJoined}, {"r.kml", kml}}},
      {"-i map.mp -o b.mp --report r.htm", "", 0, parsed, kSummary,
       {{"b.mp", kJoined}, {"r.htm", "<!DOCTYPE html>"}}},
      {"-i map.mp -o b.mp --report r.json", "", 0, parsed, kSummary,
       {{"b.mp", kJoined}, {"r.json", geojson}}},
      {"-i map.mp -o b.mp --report changes", "", 0, parsed, kSummary,
       {{"b.mp", kJoined}, {"changes", geojson}}},
      {"-i map.mp -o b.mp --report /dev/null", "", 0, parsed, kSummary, {{"b.mp", kJoined}}},
      {"-i map.mp -o b.mp --report r.kmz", "", 2, "B|",
       "Report file r.kmz: give it a name ending in .gpx, .kml, .html, .htm, .geojson or .json "
       "(see --help)\n", {}},
      // clang-format on
  };
  const std::vector<std::string> before = listDirectory(dir.path);
  for (const auto& c : cases) {
    const std::string name = c.arguments;
    const RunResult result = runShell(
        dir.path, "{ \"" TOVLEK_BINARY "\" " + name + "; echo $? >.status; } " + c.redirect);
    EXPECT_EQ(readFile(dir.file(".status")), std::to_string(c.status) + "\n") << name;
    unlink(dir.file(".status").c_str());
    const std::string out = withBannerMarked(result.out);
    if (c.out.empty()) {
      EXPECT_EQ(out, "") << name;
    }
    EXPECT_EQ(out.substr(0, c.out.size()), c.out) << name;
    EXPECT_EQ(withBannerMarked(result.err), c.err) << name;
    std::vector<std::string> files = before;
    for (const auto& [file, start] : c.written) {
      EXPECT_EQ(readFile(dir.file(file)).substr(0, start.size()), start) << name << file;
      files.push_back(file);
    }
    std::sort(files.begin(), files.end());
    EXPECT_EQ(listDirectory(dir.path), files) << name;
    for (const auto& written : c.written) unlink(dir.file(written.first).c_str());
  }
}

// A failed run prints its error line and the system's reason, ends with 1
// and leaves every file as it was.
TEST_F(CliTest, FileErrors) {
  mkdir(dir.file("folder").c_str(), 0755);
  std::string big = kMap;
  for (int i = 0; i < 20000; ++i) big += "; line of a large map, long enough to pass the limit\n";
  writeFile(dir.file("big.mp"), big);
  writeFile(dir.file("out.mp"), "old content\n");
  const struct {
    std::vector<std::string> arguments;
    std::string prefix;
    std::string errorLine, reason;
  } cases[] = {
      // clang-format off
      {{"-i", "missing.mp", "-o", "out.mp"}, "", "Error opening input file missing.mp!\n",
       "tovlek: missing.mp: No such file or directory\n"},
      {{"-i", "folder", "-o", "out.mp"}, "", "Error opening input file folder!\n",
       "tovlek: folder: Is a directory\n"},
      // Opens, but every read fails.
      {{"-i", "/proc/self/mem", "-o", "out.mp"}, "", "Error reading input file /proc/self/mem!\n",
       "tovlek: /proc/self/mem: Input/output error\n"},
      {{"-i", "map.mp", "-o", "no-dir/out.mp"}, "", "Error opening output file no-dir/out.mp!\n",
       "tovlek: no-dir/out.mp: No such file or directory\n"},
      {{"-i", "map.mp", "-o", "folder"}, "", "Error opening output file folder!\n",
       "tovlek: folder: Is a directory\n"},
      {{"-i", "map.mp", "-o", "/dev/full"}, "", "Error writing output file /dev/full!\n",
       "tovlek: /dev/full: No space left on device\n"},
      // A file-size limit hit mid-write.
      {{"-i", "big.mp", "-o", "out.mp"}, "ulimit -f 64", "Error writing output file out.mp!\n",
       "tovlek: out.mp: File too large\n"},
      // clang-format on
  };
  for (const auto& c : cases) {
    const RunResult result = run(c.arguments, c.prefix);
    EXPECT_EQ(result.status, 1) << c.errorLine;
    EXPECT_NE(result.out.find(c.errorLine), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find("Done!"), std::string::npos) << c.errorLine;
    EXPECT_EQ(result.err, c.reason);
  }
  EXPECT_EQ(readFile(dir.file("out.mp")), "old content\n");
  EXPECT_EQ(listDirectory(dir.path),
            (std::vector<std::string>{"big.mp", "folder", "map.mp", "out.mp"}));
}

// The output replaces the file named, in place if it is the input, through
// a symbolic link, keeping permission bits; a device is written directly.
TEST_F(CliTest, OutputReplacesTheFileNamed) {
  EXPECT_EQ(run({"-i", "map.mp", "-o", "map.mp"}).status, 0);
  EXPECT_NE(readFile(dir.file("map.mp")).find("(0.00050,0.00000)"), std::string::npos);
  EXPECT_EQ(listDirectory(dir.path), (std::vector<std::string>{"map.mp"}));

  mkdir(dir.file("real").c_str(), 0755);
  writeFile(dir.file("real/target.mp"), "old\n");
  chmod(dir.file("real/target.mp").c_str(), 0640);
  ASSERT_EQ(symlink("real/target.mp", dir.file("link.mp").c_str()), 0);
  EXPECT_EQ(run({"-i", "map.mp", "-o", "link.mp"}).status, 0);
  struct stat info;
  ASSERT_EQ(lstat(dir.file("link.mp").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_NE(readFile(dir.file("real/target.mp")).find("[POLYLINE]"), std::string::npos);
  ASSERT_EQ(stat(dir.file("real/target.mp").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);

  EXPECT_EQ(run({"-i", "map.mp", "-o", "new.mp"}, "umask 027").status, 0);
  ASSERT_EQ(stat(dir.file("new.mp").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);

  EXPECT_NE(run({"-i", "map.mp", "-o", "/dev/null"}).out.find("Done!\r\n"), std::string::npos);
}

// --check writes no map: its status says whether the join would change
// one (3) or not (0), and the summary how.
TEST_F(CliTest, CheckTellsWhetherAMapIsJoined) {
  ASSERT_EQ(run({"-i", "map.mp", "-o", "joined.mp"}).status, 0);
  const struct {
    std::vector<std::string> arguments;
    int status;
    std::string err;  // its start
  } cases[] = {
      // clang-format off
      {{"--check", "-i", "map.mp"}, 3, "Summary: welds 1, road ends moved 0, vertices inserted 2, "
                                       "roads changed 2, gaps closed 0, open ends 4, rounds 1\n"},
      {{"--check", "-i", "joined.mp", "--close-gaps"}, 0,
       "Summary: welds 1, road ends moved 0, vertices inserted 0, roads changed 0"},
      {{"-i", "map.mp", "--check", "--report", "r.geojson"}, 3, "Summary: welds 1"},
      {{"--check", "-i", "map.mp", "-o", "out.mp"}, 2, ""},
      {{"--check", "-i", "missing.mp"}, 1, "tovlek: missing.mp: No such file or directory\n"},
      // clang-format on
  };
  for (const auto& c : cases) {
    const RunResult result = run(c.arguments);
    const std::string name = testing::PrintToString(c.arguments);
    EXPECT_EQ(result.status, c.status) << name;
    EXPECT_EQ(result.err.substr(0, c.err.size()), c.err) << name;
    EXPECT_EQ(result.out.find("Writing"), std::string::npos) << name;
  }
  EXPECT_EQ(listDirectory(dir.path),
            (std::vector<std::string>{"joined.mp", "map.mp", "r.geojson"}));
}

// An install into a staging folder puts the tool and its manual page where
// a packager expects them; the page passes mandoc's checks.
TEST_F(CliTest, InstallsTheToolAndItsManualPage) {
  const RunResult install =
      runShell(dir.path, "DESTDIR=\"$PWD/stage\" cmake --install \"" TOVLEK_BUILD_DIR
                         "\" --prefix /opt/t >/dev/null && stage/opt/t/bin/tovlek --version && "
                         "cmp stage/opt/t/share/man/man1/tovlek.1 \"" TOVLEK_MANUAL "\"");
  EXPECT_EQ(install.status, 0) << install.err;
  EXPECT_EQ(install.out.rfind("Tovlek - Vorneskap 0.1\r\n", 0), 0u) << install.out;
  if (std::system("command -v mandoc >/dev/null") != 0) GTEST_SKIP() << "mandoc is not installed";
  const RunResult lint = runShell(dir.path, "mandoc -Tlint -Wwarning \"" TOVLEK_MANUAL "\"");
  EXPECT_EQ(lint.status, 0) << lint.out << lint.err;
}

TEST_F(CliTest, PairEstimateAndProgressLine) {
  writeFile(dir.file("one.mp"), "[POLYLINE]\nType=0x1\nData0=(1,2)\n[END]\n");
  EXPECT_NE(run({"-i", "one.mp", "-o", "out.mp"}).out.find("Found 1 roads, 0 million pairs.\r\n"),
            std::string::npos);

  std::string map;
  for (int i = 0; i < 5000; ++i) {
    char line[96];
    std::snprintf(line, sizeof line, "[POLYLINE]\nType=0x1\nData0=(%d.%03d,0.0)\n[END]\n", i / 1000,
                  i % 1000);
    map += line;
  }
  writeFile(dir.file("many.mp"), map);
  const RunResult result = run({"-i", "many.mp", "-o", "out.mp"});
  EXPECT_NE(result.out.find("Found 5000 roads, 12 million pairs.\r\n"), std::string::npos);
  EXPECT_NE(result.out.find("\r\nDone 10 million road pairs, 0 splitted\r\nWriting out.mp"),
            std::string::npos);
  EXPECT_EQ(result.out.find("Done 20"), std::string::npos);
}

}  // namespace
}  // namespace tovlek::testkit
