// The map and its report are put in place as a pair: both new, or both as
// they were, with no temporary file left.
#include "driver/output_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/run_binary.h"

namespace tovlek::driver {
namespace {

using testkit::listDirectory;
using testkit::readFile;
using testkit::writeFile;

TEST(OutputFileTest, MapAndReportArePutInPlaceAsAPair) {
  const struct {
    bool oldReport;           // a report file stands there before the run
    bool mapFails;            // the map cannot replace its target
    std::string map, report;  // afterwards ("-": no file)
  } cases[] = {
      {true, false, "new map", "new report"},
      {false, false, "new map", "new report"},
      {true, true, "-", "old report"},
      {false, true, "-", "-"},
  };
  for (const auto& c : cases) {
    testkit::ScratchDir dir;
    writeFile(dir.file("out.mp"), "old map");
    if (c.oldReport) writeFile(dir.file("r.geojson"), "old report");
    OutputFile map, report;
    ASSERT_TRUE(openOutputFile(map, dir.file("out.mp")));
    ASSERT_TRUE(openOutputFile(report, dir.file("r.geojson")));
    std::fputs("new map", map.file);
    std::fputs("new report", report.file);
    if (c.mapFails) {
      // A folder that is not empty cannot be replaced by a file.
      std::filesystem::remove(dir.file("out.mp"));
      std::filesystem::create_directories(dir.file("out.mp/inside"));
    }
    const OutputFile* failed = commitOutputFiles(&map, &report);
    EXPECT_EQ(failed, c.mapFails ? &map : nullptr);
    if (c.mapFails) {
      EXPECT_NE(map.error, 0);
    }
    const std::string mapText = c.mapFails ? "-" : readFile(dir.file("out.mp"));
    const std::string reportText =
        testkit::fileExists(dir.file("r.geojson")) ? readFile(dir.file("r.geojson")) : "-";
    EXPECT_EQ(mapText, c.map);
    EXPECT_EQ(reportText, c.report);
    std::vector<std::string> left = {"out.mp"};
    if (c.report != "-") left.push_back("r.geojson");
    EXPECT_EQ(listDirectory(dir.path), left) << "temporary files left";
  }
}

}  // namespace
}  // namespace tovlek::driver
