// The fast sweep against the plain one on many seeded random maps: output
// map, console lines, warnings and change report must be identical byte for
// byte, with one thread or several, and the store's invariants must hold
// after both.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "codec/coord_codec.h"
#include "support/pipeline.h"

namespace tovlek::junction {
namespace {

struct MapShape {
  int roads;
  int area;         // coordinates from 0 to area, in Coord units
  int maxVertices;  // per ordinary road
  int longRoads;    // roads of 60 to `longVertices` vertices across the area
  int longVertices;
};

std::string randomMap(std::mt19937& random, const MapShape& shape) {
  std::string text = "; random map\n";
  auto uniform = [&](int low, int high) {
    return low + static_cast<int>(random() % static_cast<unsigned>(high - low + 1));
  };
  // A sixth decimal that rounds away, as a map of more precision has it:
  // the texts at one position then differ in value.
  auto sixDecimals = [&](int value) {
    const int millionths = value * 10 + uniform(-4, 4);
    char number[32];
    std::snprintf(number, sizeof number, "%s%d.%06d", millionths < 0 ? "-" : "",
                  std::abs(millionths) / 1000000, std::abs(millionths) % 1000000);
    return std::string(number);
  };
  for (int r = 0; r < shape.roads; ++r) {
    const bool isLong = r < shape.longRoads;
    const int vertices = isLong ? uniform(60, shape.longVertices) : uniform(1, shape.maxVertices);
    const bool precise = r % 3 == 2;
    text += "[POLYLINE]\nType=0x6\nData0=";
    int x = uniform(0, shape.area), y = uniform(0, shape.area);
    const int step = isLong ? std::max(1, shape.area / 60) : std::max(1, shape.area / 8);
    for (int v = 0; v < vertices; ++v) {
      if (v > 0) text += ',';
      if (precise) {
        text.append("(").append(sixDecimals(x)).append(",").append(sixDecimals(y)).append(")");
      } else {
        text += codec::formatPair(x, y);
      }
      // Small steps with occasional repeats and collinear runs.
      switch (random() % 8) {
        case 0:
          break;  // the same position again
        case 1:
          x += step;
          break;  // axis-parallel
        case 2:
          y -= step;
          break;
        default:
          x += uniform(-step, step);
          y += uniform(-step, step);
      }
    }
    text += "\n[END]\n";
  }
  return text;
}

// The kept layout makes the same joins as the plain sweep's run: the same
// console and warnings, and the same roads when its map is read back (but
// for the repeats it leaves out). With no road pairs it is the input itself.
void expectTheSameJoinsKept(const std::string& map, const testkit::TextRun& plain,
                            const driver::Settings& settings) {
  const testkit::TextRun kept = testkit::runOnText(map, settings);
  ASSERT_EQ(kept.problems, "") << map;
  ASSERT_EQ(kept.console, plain.console) << map;
  ASSERT_EQ(kept.warnings, plain.warnings) << map;
  ASSERT_TRUE(testkit::roadsReadBack(kept.map) == plain.roads) << "kept layout differs for\n"
                                                               << map;
  // Vertices at one position in two roads were welded: they share the text.
  if (settings.MinDistance >= 0) {
    ASSERT_EQ(testkit::checkSharedTexts(kept.map), "") << map;
  }
  if (settings.MinDistance == INT32_MIN) {
    ASSERT_TRUE(kept.map == map) << "kept layout changed a map without road pairs";
  }
}

class SweepDifferentialTest : public ::testing::TestWithParam<int> {};

TEST_P(SweepDifferentialTest, FastSweepGivesThePlainResult) {
  const int minDistance = GetParam();
  std::mt19937 random(static_cast<unsigned>(77 + minDistance));
  const std::vector<MapShape> shapes = {
      {40, 300, 6, 0, 0},        // dense: everything meets everything
      {60, 3000, 10, 3, 300},    // sparse with long roads
      {30, 200, 4, 4, 200},      // long roads tangled in a small area
      {80, 100000, 12, 2, 400},  // far apart
  };
  // With a large distance every vertex welds to every other one, and rings
  // span the whole map: small maps keep that affordable.
  const std::vector<MapShape> smallShapes = {{15, 300, 5, 0, 0}, {12, 2000, 6, 1, 80}};
  const bool large = minDistance > 500 || minDistance < -500;
  for (int round = 0; round < 8; ++round) {
    for (const MapShape& shape : large ? smallShapes : shapes) {
      const std::string map = randomMap(random, shape);
      // Every other round closes gaps too, so that its invariants are checked;
      // half the fast runs read, find pairs and write on helper threads.
      const bool closeGaps = round % 2 == 1;
      const int threads = round % 4 < 2 ? 1 : 8;
      const testkit::TextRun plain = testkit::runOnText(map, {minDistance, true, closeGaps, 1});
      ASSERT_EQ(plain.problems, "") << map;
      // When closing gaps, later rounds are also made near the changes only;
      // every other fast run has no report, as most runs of the tool.
      for (const bool alwaysNearChanges : {false, closeGaps}) {
        driver::Settings settings{minDistance, false, closeGaps, threads};
        settings.alwaysNearChanges = alwaysNearChanges;
        const bool withReport = (round + int{alwaysNearChanges}) % 2 == 0;
        const testkit::TextRun fast = testkit::runOnText(map, settings, withReport);
        ASSERT_EQ(fast.problems, "") << map;
        ASSERT_EQ(testkit::checkPassThrough(map, fast), "") << map;
        ASSERT_EQ(fast.console, plain.console) << map;
        ASSERT_EQ(fast.warnings, plain.warnings) << map;
        if (withReport) {
          ASSERT_EQ(fast.report, plain.report) << map;
        }
        ASSERT_TRUE(fast.map == plain.map) << "maps differ for\n" << map;
      }
      expectTheSameJoinsKept(map, plain, {minDistance, false, closeGaps, threads, true});
    }
  }
}

// The store keeps vertices in chunks of 65,536: a far road of nearly that
// many puts the random roads' chains across the first chunk's end.
TEST(SweepDifferentialTest, ChainsAcrossTheStoresChunks) {
  std::string padding = "[POLYLINE]\nType=0x6\nData0=";
  for (int v = 0; v < 65533; ++v) {
    if (v > 0) padding += ',';
    padding += codec::formatPair(5000000 + v, 5000000);
  }
  padding += "\n[END]\n";
  std::mt19937 random(5);
  for (int round = 0; round < 4; ++round) {
    const std::string map = padding + randomMap(random, {40, 300, 6, 0, 0});
    const testkit::TextRun plain = testkit::runOnText(map, {10, true, false, 1});
    const testkit::TextRun fast = testkit::runOnText(map, {10, false, false, 1});
    ASSERT_EQ(fast.problems, "");
    ASSERT_TRUE(fast.map == plain.map) << "maps differ in round " << round;
  }
}

INSTANTIATE_TEST_SUITE_P(Distances, SweepDifferentialTest,
                         ::testing::Values(0, 1, 3, 10, 25, 1000, -1, -3, -10, 2000000000,
                                           -2147483647 - 1));

}  // namespace
}  // namespace tovlek::junction
