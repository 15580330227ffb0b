#include "reader/map_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "support/store_check.h"

namespace tovlek::reader {
namespace {

using namespace std::string_literals;

// Runs the reader over a whole text, as the read phase does.
struct ReadOutcome {
  int roads = 0;
  std::string output;    // what the read phase wrote
  std::string warnings;  // what it reported
};

class MapReaderTest : public ::testing::Test {
 protected:
  void SetUp() override { testkit::resetGlobals(10); }
  void TearDown() override { testkit::resetGlobals(10); }

  ReadOutcome readAll(const std::string& text) {
    std::FILE* input = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), input);
    std::rewind(input);
    char* outBuffer = nullptr;
    size_t outSize = 0;
    char* warnBuffer = nullptr;
    size_t warnSize = 0;
    std::FILE* output = open_memstream(&outBuffer, &outSize);
    std::FILE* warnings = open_memstream(&warnBuffer, &warnSize);

    MapInput in;
    in.file = input;
    in.warnings = warnings;
    writer::MapOutput out;
    out.file = output;
    ReadOutcome outcome;
    while (readNextRoad(in, out)) ++outcome.roads;
    EXPECT_FALSE(in.failed);
    writer::flushMapOutput(out);
    std::fclose(output);
    std::fclose(warnings);
    std::fclose(input);
    outcome.output.assign(outBuffer, outSize);
    outcome.warnings.assign(warnBuffer, warnSize);
    std::free(outBuffer);
    std::free(warnBuffer);
    lineEnd = out.lineEnd;
    EXPECT_EQ(testkit::checkStoreInvariants(), "");
    return outcome;
  }

  std::string_view lineEnd;
};

TEST_F(MapReaderTest, EmptyInputWritesNothing) {
  const ReadOutcome outcome = readAll("");
  EXPECT_EQ(outcome.roads, 0);
  EXPECT_EQ(outcome.output, "");
}

TEST_F(MapReaderTest, TextOutsideSectionsPassesThroughUnchanged) {
  const std::string text = "[IMG ID]\r\nName=x\n[END-IMG ID]\n\n; nul\0byte\nlast"s;
  const ReadOutcome outcome = readAll(text);
  EXPECT_EQ(outcome.roads, 0);
  EXPECT_EQ(outcome.output, text);
}

TEST_F(MapReaderTest, RoadsAreKeptNonRoadsWrittenInPlace) {
  const ReadOutcome outcome = readAll(
      "before\n"
      "[POLYLINE]\nType=0x4\nData0=(1.0,2.0)\n[END]\n"
      "between\n"
      "[Polyline] trailing text\nType=0x16\nData0=(1,2)\n[END]\n"
      "after\n");
  EXPECT_EQ(outcome.roads, 1);
  EXPECT_EQ(outcome.output,
            "before\nbetween\n[POLYLINE]\nType=0x16\nData0=(1.00000,2.00000)\n[END]\n\nafter\n");
  ASSERT_NE(store::RoadList, nullptr);
  EXPECT_EQ(store::RoadList->type, 4);
  EXPECT_EQ(testkit::positionsOf(*store::RoadList),
            (std::vector<std::pair<int, int>>{{100000, 200000}}));
}

TEST_F(MapReaderTest, WhichSectionsAreRoads) {
  const std::pair<const char*, bool> cases[] = {
      {"[POLYLINE]\nType=0x4\n[END]\n", false},     // no coordinates
      {"[POLYLINE]\nData0=(1,2)\n[END]\n", false},  // no type
      {"[RGN40]\nType=0x42\nOrigin0=(1,2)\n[END]\n", true},
      {"[rgn40]\nType=0x49\nData0=(1,2)\n[END]\n", true},
      {"[POLYLINE]\nType=0xd\nData0=(1,2)\n[END]\n", false},
      {"[POLYLINE]\nType=0x0\nData0=(1,2)\n[END]\n", true},
      {"[POLYLINE]\nType=0xc\nData0=(1,2)\n", true},  // ends with the input
      {"[POLYLINE]\nType=0x4\nData0=(x,2)\n[END]\n", false},
  };
  for (auto [text, isRoad] : cases) {
    testkit::resetGlobals(10);
    EXPECT_EQ(readAll(text).roads, isRoad ? 1 : 0) << text;
  }
}

TEST_F(MapReaderTest, TypeAndSubtypeKeys) {
  auto typeOf = [this](const std::string& lines) {
    testkit::resetGlobals(10);
    readAll("[POLYLINE]\n" + lines + "Data0=(1,2)\n[END]\n");
    if (store::RoadList != nullptr) {
      return std::make_pair(store::RoadList->type, store::RoadList->subtype);
    }
    return std::make_pair(-100, -100);
  };
  const std::pair<const char*, std::pair<int, int>> cases[] = {
      {"Type=0x10f00\n", {-100, -100}},  // type 0x10f: no road
      {"Type=0x605\n", {6, 5}},
      {"Type=0x6\nSubType=0x5\n", {6, 5}},
      {"Type=0x1\nTYPE=0x2\n", {2, -1}},   // the last one wins
      {"Type=0x6\nType=0x0x\n", {0, -1}},  // "0x" alone reads as 0
      {"Type=0x6\nType=0x\n", {6, -1}},    // nothing behind "0x"
      {"Type=0x6\nSubtype=\n", {6, -1}},
      {"Type=0x6\nRoadType=0x3 here\n", {3, -1}},  // anywhere in a line
      // Decimal values, and blanks before either form.
      {"Type=4\n", {4, -1}},
      {"Type=\t12 ;roundabout\n", {12, -1}},
      {"Type= 0x6\n", {6, -1}},
      {"Type=0x0x6\n", {6, -1}},
      {"Type=0x  6\r\n", {6, -1}},
      {"Type=1537\n", {6, 1}},  // 0x601, split like a hexadecimal value
      {"Type=6\nSubType=5\n", {6, 5}},
      {"Type=022\n", {-100, -100}},  // 0x16, not 2
      {"Type=100\n", {-100, -100}},
      {"Type=6\nType=4x\n", {6, -1}},  // not a number: the type stays
      {"Type=6\nType=1f\n", {6, -1}},
      {"Type=6\nType=x4\n", {6, -1}},
  };
  for (const auto& [lines, expected] : cases) EXPECT_EQ(typeOf(lines), expected) << lines;
}

TEST_F(MapReaderTest, SplitRuleRunsOnceOnTheTypeOnly) {
  const ReadOutcome outcome = readAll("[POLYLINE]\nType=0x10f00\nSubtype=0x1ff\n[END]\n");
  EXPECT_EQ(outcome.output, "[POLYLINE]\nType=0x10F\nSubtype=0x1FF\nData0=\n[END]\n\n");
}

TEST_F(MapReaderTest, EndMarkerAnywhereClosesTheSection) {
  const ReadOutcome outcome = readAll("[POLYLINE]\nLabel=[End of road]\nType=0x16\n[END]\ntail\n");
  // The label closed the section; the type line and [END] are ordinary lines.
  EXPECT_EQ(outcome.output,
            "[POLYLINE]\nType=0xFFFFFFFF\nData0=\n[END]\n\nType=0x16\n[END]\ntail\n");
}

TEST_F(MapReaderTest, ExtraLinesComeOutReversed) {
  const ReadOutcome outcome = readAll("[POLYLINE]\nLabel=A\n\nData1=(1,2)\nType=0x20\n[END]\n");
  EXPECT_EQ(outcome.output, "[POLYLINE]\nType=0x20\nData0=\nData1=(1,2)\n\nLabel=A\n[END]\n\n");
}

TEST_F(MapReaderTest, LongLinesAreReadWhole) {
  std::string data = "Data0=";
  for (int i = 0; i < 200000; ++i) data += "(1.00001,2.00002),";
  data += "(3,4)\n";
  const std::string label = "Label=" + std::string(3 << 20, 'x') + "\n";
  const ReadOutcome outcome = readAll("[POLYLINE]\nType=0x6\n" + data + label + "[END]\n");
  ASSERT_EQ(outcome.roads, 1);
  EXPECT_EQ(store::RoadList->readVertexCount, 200001);
  ASSERT_NE(store::RoadList->extraLines, nullptr);
  EXPECT_EQ(store::RoadList->extraLines->length, label.size());
  EXPECT_EQ(outcome.warnings, "");
}

TEST_F(MapReaderTest, UnreadablePairsAreReportedWithTheirLine) {
  const ReadOutcome outcome =
      readAll("x\n[POLYLINE]\nType=0x6\nData0=(1,2),(3 ,4)\nData0=(5,6)\nData0=(nan,1)\n[END]\n");
  EXPECT_EQ(outcome.warnings,
            "Warning: line 4: unreadable coordinate pair, rest of line ignored\n"
            "Warning: line 6: unreadable coordinate pair, rest of line ignored\n");
  EXPECT_EQ(store::RoadList->readVertexCount, 2);
}

TEST_F(MapReaderTest, WriterLineEndFollowsTheFirstLine) {
  readAll("; windows\r\n[POLYLINE]\n[END]\n");
  EXPECT_EQ(lineEnd, "\r\n");
  readAll("; unix\n[POLYLINE]\r\n[END]\r\n");
  EXPECT_EQ(lineEnd, "\n");
  const ReadOutcome outcome = readAll("[POLYLINE]\r\nType=0x20\r\nLabel=x\r\n[END]\r\n");
  EXPECT_EQ(outcome.output, "[POLYLINE]\r\nType=0x20\r\nData0=\r\nLabel=x\r\n[END]\r\n\r\n");
}

TEST_F(MapReaderTest, NulBytesAreOrdinaryBytes) {
  const std::string label = "Label=a\0b\n"s;
  const ReadOutcome outcome = readAll("[POLYLINE]\nType=0x20\n" + label + "[END]\n");
  EXPECT_EQ(outcome.output, "[POLYLINE]\nType=0x20\nData0=\n" + label + "[END]\n\n");
}

}  // namespace
}  // namespace tovlek::reader
