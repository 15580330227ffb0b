#include "reader/coord_codec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/store_check.h"

namespace tovlek::reader {
namespace {

std::optional<Coord> decodeText(const std::string& number) {
  const std::string line = "(" + number + ",0)";
  const auto pair = decodePair(line, 0);
  if (!pair) return std::nullopt;
  return pair->x;
}

TEST(CoordCodecTest, DecodingRoundsOnTheSixthDecimal) {
  const std::pair<const char*, Coord> table[] = {
      {"12.5", 1250000},       {"37.123455", 3712346},    {"-37.123455", -3712346},
      {"37.1234549", 3712345}, {"0.000015", 2},           {"-0.000015", -2},
      {"0.00397", 397},        {"-0.00397", -397},        {"1.5e1", 1500000},
      {"-0.0000001", 0},       {"2147.48365", 214748365}, {"-2147.483654", -214748365},
  };
  for (auto [text, expected] : table) {
    EXPECT_EQ(decodeText(text), std::optional<Coord>(expected)) << text;
  }
}

TEST(CoordCodecTest, NumbersOutsideTheRangeFailTheirPair) {
  for (const char* text :
       {"2147.483655", "-2147.483655", "1e300", "inf", "-inf", "nan", "9999999999999", "1e19"}) {
    EXPECT_EQ(decodeText(text), std::nullopt) << text;
  }
  EXPECT_EQ(decodeNumber(std::numeric_limits<double>::quiet_NaN()), std::nullopt);
}

TEST(CoordCodecTest, FormatWritesFiveDecimalsWithSign) {
  EXPECT_EQ(formatPair(3712345, -12200000), "(37.12345,-122.00000)");
  EXPECT_EQ(formatPair(5, -5), "(0.00005,-0.00005)");
  EXPECT_EQ(formatPair(0, -3712345), "(0.00000,-37.12345)");
  EXPECT_EQ(formatPair(INT32_MIN, INT32_MAX), "(-21474.83648,21474.83647)");
}

TEST(CoordCodecTest, WrittenPositionsReadBackTheSame) {
  auto roundTrip = [](Coord value) {
    const std::string text = formatPair(value, -value);
    const auto pair = decodePair(text, 0);
    ASSERT_TRUE(pair.has_value()) << text;
    EXPECT_EQ(pair->x, value) << text;
    EXPECT_EQ(pair->y, -value) << text;
  };
  for (Coord value = -kMaxDecodedCoord; value <= kMaxDecodedCoord - 4001; value += 4001) {
    roundTrip(value);
    if (::testing::Test::HasFailure()) return;
  }
  for (Coord edge = 0; edge < 100000; ++edge) {
    roundTrip(edge);
    roundTrip(kMaxDecodedCoord - edge);
    if (::testing::Test::HasFailure()) return;
  }
}

TEST(CoordCodecTest, PairPattern) {
  EXPECT_TRUE(decodePair("( 1.5, 2)", 0).has_value());
  EXPECT_FALSE(decodePair("(1.5 ,2)", 0).has_value());  // blank before the comma
  EXPECT_TRUE(decodePair("(1.5,2", 0).has_value());     // no closing parenthesis needed
  EXPECT_FALSE(decodePair("(1.5,", 0).has_value());
  EXPECT_FALSE(decodePair("(1.5", 0).has_value());
  EXPECT_TRUE(decodePair("(1e,2)", 0).has_value());  // an incomplete exponent is taken
}

class CoordListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testkit::resetGlobals(10);
    road = store::createRoad();
  }
  void TearDown() override { store::releaseRoad(road); }
  store::Road* road = nullptr;
};

TEST_F(CoordListTest, ReadsEveryPairInOrder) {
  EXPECT_TRUE(readCoordList("data0=(1.5,2.25),(3,4)\n", road));
  EXPECT_EQ(testkit::positionsOf(*road),
            (std::vector<std::pair<int, int>>{{150000, 225000}, {300000, 400000}}));
}

TEST_F(CoordListTest, StopsAtTheFirstUnreadablePair) {
  EXPECT_FALSE(readCoordList("data0=(1.5,2.25),(3 ,4),(5,6)\n", road));
  EXPECT_EQ(testkit::positionsOf(*road).size(), 1u);
  EXPECT_FALSE(readCoordList("data0=(abc,4),(5,6)\n", road));
  EXPECT_EQ(testkit::positionsOf(*road).size(), 1u);
}

TEST_F(CoordListTest, LineEdges) {
  EXPECT_TRUE(readCoordList("data0=(1,2", road));  // last pair unclosed
  EXPECT_EQ(road->readVertexCount, 1);
  EXPECT_TRUE(readCoordList("data0=\n", road));  // no pair at all
  EXPECT_EQ(road->readVertexCount, 1);
  EXPECT_TRUE(readCoordList("(5,6)", road));  // the first character never opens a pair
  EXPECT_EQ(road->readVertexCount, 1);
  EXPECT_TRUE(readCoordList("data0=(1,2)) junk (3,4)", road));  // text between pairs is skipped
  EXPECT_EQ(road->readVertexCount, 3);
}

TEST_F(CoordListTest, BoxGrowsWithEveryPair) {
  readCoordList("data0=(0.01,0.02)", road);
  EXPECT_EQ(road->minX, 995);
  EXPECT_EQ(road->maxX, 1005);
  EXPECT_EQ(road->minY, 1995);
  EXPECT_EQ(road->maxY, 2005);
}

}  // namespace
}  // namespace tovlek::reader
