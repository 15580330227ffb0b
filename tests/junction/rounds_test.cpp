// Closing gaps repeats the join until it settles: a map that one round left
// needs no further change, by the tool's own measure.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "support/pipeline.h"

namespace tovlek::junction {
namespace {

// A generated street network of `roads` roads.
std::string generatedMap(int roads) {
  const std::string command = std::string(TOVLEK_MAPGEN) + " 1 " + std::to_string(roads) + " city";
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::string text;
  char block[1 << 16];
  for (size_t got; (got = std::fread(block, 1, sizeof block, pipe.get())) > 0;)
    text.append(block, got);
  return text;
}

TEST(RoundsTest, ARunOnItsOwnOutputChangesNothing) {
  const std::string map = generatedMap(1000);
  ASSERT_GT(map.size(), 100000u);
  for (const bool keepLayout : {false, true}) {
    driver::Settings settings;
    settings.closeGaps = true;
    settings.keepLayout = keepLayout;
    const testkit::TextRun first = testkit::runOnText(map, settings);
    // The second round still moved something, the third nothing.
    EXPECT_EQ(first.outcome.counts.rounds, 3);
    EXPECT_GT(first.outcome.changedRoads, 900);
    const testkit::TextRun second = testkit::runOnText(first.map, settings);
    EXPECT_EQ(second.outcome.changedRoads, 0) << "kept layout " << keepLayout;
    EXPECT_EQ(second.outcome.counts.rounds, 1);
    if (keepLayout) {
      EXPECT_TRUE(second.map == first.map) << "the second kept map differs";
    }
  }
  // Without closing gaps the join stays one pass, and a second one still
  // finds something: the reason for the rounds.
  const testkit::TextRun once = testkit::runOnText(map, {});
  EXPECT_EQ(once.outcome.counts.rounds, 1);
  EXPECT_GT(testkit::runOnText(once.map, {}).outcome.changedRoads, 0);
}

}  // namespace
}  // namespace tovlek::junction
