// Reading and writing on helper threads must not change a single byte: a map
// of several input pieces and many output runs, with everything a map holds
// besides roads, gives the same output, console, warnings and report with
// 1, 2 and 8 threads.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "codec/coord_codec.h"
#include "support/failing_allocations.h"
#include "support/pipeline.h"

namespace tovlek::driver {
namespace {

// Roads in a small area (so that many of them meet), with labels and
// routing-node lines, between comments, non-road sections, polygons,
// unreadable pairs and sections of the other spelling; CRLF line ends.
std::string mixedMap(std::mt19937& random, int items, int area = 200000) {
  std::string text = "; mixed map\r\n[IMG ID]\r\nCodePage=1252\r\nName=Threads\r\n[END-IMG ID]\r\n";
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  auto coordinates = [&](int vertices) {
    std::string line = "Data0=";
    int x = pick(area), y = pick(area);
    for (int v = 0; v < vertices; ++v) {
      if (v > 0) line += ',';
      line += codec::formatPair(x, y);
      x += pick(301) - 150;
      y += pick(301) - 150;
    }
    return line + "\r\n";
  };
  for (int i = 0; i < items; ++i) {
    switch (pick(10)) {
      case 0:
        text += "; comment " + std::to_string(i) + "\r\n\r\n";
        break;
      case 1:
        text += "[POLYGON]\r\nType=0x4e\r\n" + coordinates(4) + "[END]\r\n";
        break;
      case 2:
        text += "[POLYLINE]\r\nType=0x1c\r\n" + coordinates(3) + "[END]\r\n";
        break;
      case 3:
        // The pairs behind the unreadable one are lost, with a warning.
        text += "[RGN40]\r\nType=0x6\r\n" + coordinates(2) + "Data0=(bad),(0.00100,0.00100)\r\n" +
                "[END-RGN40]\r\n";
        break;
      default:
        text += "[POLYLINE]\r\nType=0x" + std::to_string(pick(8)) + "\r\nLabel=Street " +
                std::to_string(i) + "\r\n" + coordinates(1 + pick(12)) + "Nod1=0," +
                std::to_string(i) + ",0\r\n[END]\r\n\r\n";
    }
  }
  return text;
}

TEST(ThreadsTest, EveryThreadCountGivesTheSameRun) {
  std::mt19937 random(2026);
  const std::string map = mixedMap(random, 30000);
  // Several pieces of input and many runs of roads on the way out.
  ASSERT_GT(map.size(), size_t{3} << 20);
  Settings settings;
  settings.closeGaps = true;
  settings.threads = 1;
  const testkit::TextRun single = testkit::runOnText(map, settings);
  ASSERT_EQ(single.problems, "");
  ASSERT_EQ(testkit::checkPassThrough(map, single), "");
  ASSERT_NE(single.warnings, "");
  ASSERT_NE(single.report.find("\"weld\""), std::string::npos);
  // The run with 8 threads has no report: a join that tells no changes
  // makes the same map.
  for (const int threads : {2, 8}) {
    settings.threads = threads;
    const bool withReport = threads == 2;
    const testkit::TextRun run = testkit::runOnText(map, settings, withReport);
    EXPECT_EQ(run.console, single.console) << threads << " threads";
    EXPECT_EQ(run.warnings, single.warnings) << threads << " threads";
    if (withReport) {
      EXPECT_TRUE(run.report == single.report) << threads << " threads: reports differ";
    }
    EXPECT_TRUE(run.map == single.map) << threads << " threads: maps differ";
  }
}

// Memory that runs out anywhere, on the main thread or on a helper, in the
// middle of a run with a report in a code page on two threads: the run
// ends with std::bad_alloc (the tool's "Out of memory!"), nothing else.
TEST(ThreadsTest, MemoryRunningOutAnywhereEndsTheRunCleanly) {
  std::mt19937 random(28);
  const std::string map = mixedMap(random, 3000, 20000);
  Settings settings;
  settings.closeGaps = true;
  settings.threads = 2;
  const int64_t before = testkit::allocationsSoFar();
  const testkit::TextRun whole = testkit::runOnText(map, settings);
  const int64_t allocations = testkit::allocationsSoFar() - before;
  ASSERT_NE(whole.report.find("\"weld\""), std::string::npos);
  int failed = 0;
  constexpr int kPoints = 60;
  for (int point = 1; point <= kPoints; ++point) {
    testkit::failAllocation(allocations * point / (kPoints + 1));
    try {
      testkit::runOnText(map, settings);
    } catch (const std::bad_alloc&) {
      ++failed;
    }
    testkit::failAllocation(0);
  }
  EXPECT_GT(failed, kPoints / 2);
}

}  // namespace
}  // namespace tovlek::driver
