// How type and subtype values are read, through the tool's own run order
// with a distance that keeps every road apart: text in, the written section
// out. The text vectors cover the rest of the reader.
#include "reader/map_reader.h"

#include <gtest/gtest.h>

#include "support/pipeline.h"

namespace tovlek::reader {
namespace {

testkit::TextRun read(const std::string& text) {
  return testkit::runOnText(text, {INT32_MIN, false});
}

TEST(MapReaderTest, TypeAndSubtypeValues) {
  // The type and subtype lines that the section is written with.
  auto typeLines = [](const std::string& lines) {
    const std::string map = read("[POLYLINE]\n" + lines + "Data0=(1,2)\n[END]\n").map;
    const size_t begin = map.find("Type=");
    return map.substr(begin, map.find("Data0=") - begin);
  };
  const std::pair<const char*, const char*> cases[] = {
      {"Type=0x10f00\n", "Type=0x10F\nSubtype=0x0\n"},  // split once
      {"Type=0x6\nSubType=0x5\n", "Type=0x6\nSubtype=0x5\n"},
      {"Type=0x1\nTYPE=0x2\n", "Type=0x2\n"},   // the last one wins
      {"Type=0x6\nType=0x0x\n", "Type=0x0\n"},  // "0x" alone reads as 0
      {"Type=0x6\nType=0x\n", "Type=0x6\n"},    // nothing behind "0x"
      {"Type=0x6\nSubtype=\n", "Type=0x6\n"},
      {"RoadType=0x3 here\n", "Type=0x3\n"},  // anywhere in a line
      {"Type=0x10f00\nSubtype=0x1ff\n", "Type=0x10F\nSubtype=0x1FF\n"},
      // Decimal values, and blanks before either form.
      {"Type=4\n", "Type=0x4\n"},
      {"Type=\t12 ;roundabout\n", "Type=0xC\n"},
      {"Type=12;roundabout\n", "Type=0xC\n"},
      {"Type= 0x6\n", "Type=0x6\n"},
      {"Type=0x0x6\n", "Type=0x6\n"},
      {"Type=0x  6\r\n", "Type=0x6\n"},
      {"Type=1537\n", "Type=0x6\nSubtype=0x1\n"},  // 0x601, split like a hexadecimal value
      {"SubType=5\n", "Type=0xFFFFFFFF\nSubtype=0x5\n"},
      {"Type=022\n", "Type=0x16\n"},  // 22, not 2
      {"Type=100\n", "Type=0x64\n"},
      {"Type=6\nType=4x\n", "Type=0x6\n"},  // not a number: the type stays
      {"Type=6\nType=1f\n", "Type=0x6\n"},
  };
  for (const auto& [lines, written] : cases) EXPECT_EQ(typeLines(lines), written) << lines;
}

TEST(MapReaderTest, CoordinateLinesInAnyLetterCase) {
  auto writtenData = [](const std::string& line) {
    const std::string map = read("[POLYLINE]\nType=0x6\n" + line + "[END]\n").map;
    const size_t begin = map.find("Data0=");
    return begin == std::string::npos ? map : map.substr(begin, map.find('\n', begin) - begin);
  };
  const std::pair<const char*, const char*> cases[] = {
      {"DATA0=(4.6E1,6.0e0)\n", "Data0=(46.00000,6.00000)"},
      {"data0=(0X1P1,0x2)\n", "Data0=(2.00000,2.00000)"},
      {"ORIGIN0=(-1.5,2E-1)\n", "Data0=(-1.50000,0.20000)"},
      {"RoadData0=(1,2),(3,4)\n", "Data0=(1.00000,2.00000),(3.00000,4.00000)"},
  };
  for (const auto& [line, written] : cases) EXPECT_EQ(writtenData(line), written) << line;
}

}  // namespace
}  // namespace tovlek::reader
