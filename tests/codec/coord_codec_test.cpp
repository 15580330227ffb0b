#include "codec/coord_codec.h"

#include <gtest/gtest.h>

#include <climits>

namespace tovlek::codec {
namespace {

std::optional<Coord> decodeText(const std::string& number) {
  const std::string line = "(" + number + ",0)";
  const auto pair = decodePair(line, 0);
  if (!pair) return std::nullopt;
  return pair->x;
}

// Five decimals, rounded half away from zero on the sixth; numbers whose
// Coord would lie beyond the range decoding yields fail their pair. (The
// codec fuzzer checks that written positions read back the same.)
TEST(CoordCodecTest, DecodingRoundsOnTheSixthDecimal) {
  const std::pair<const char*, std::optional<Coord>> table[] = {
      {"12.5", 1250000},
      {"37.123455", 3712346},
      {"-37.123455", -3712346},
      {"37.1234549", 3712345},
      {"0.000015", 2},
      {"-0.000015", -2},
      {"0.00397", 397},
      {"-0.00397", -397},
      {"1.5e1", 1500000},
      {"-0.0000001", 0},
      {"2147.48365", 214748365},
      {"-2147.483654", -214748365},
      {"2147.483655", {}},
      {"-2147.483655", {}},
      {"1e300", {}},
      {"inf", {}},
      {"nan", {}},
      {"1e19", {}},
  };
  for (auto [text, expected] : table) EXPECT_EQ(decodeText(text), expected) << text;
}

TEST(CoordCodecTest, WritingGivesFiveDecimals) {
  const std::pair<Coord, const char*> table[] = {
      {0, "0.00000"},
      {-1, "-0.00001"},
      {99999, "0.99999"},
      {100000, "1.00000"},
      {-100010, "-1.00010"},
      {123456789, "1234.56789"},
      {1000000000, "10000.00000"},
      {INT32_MAX, "21474.83647"},
      {INT32_MIN, "-21474.83648"},
  };
  for (auto [value, expected] : table) {
    std::string text;
    appendCoordText(text, value);
    EXPECT_EQ(text, expected) << value;
  }
  EXPECT_EQ(formatPair(-4500000, 12345), "(-45.00000,0.12345)");
  EXPECT_EQ(formatPair(INT32_MIN, INT32_MIN), "(-21474.83648,-21474.83648)");  // the longest
}

}  // namespace
}  // namespace tovlek::codec
