#include "writer/map_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/store_check.h"

namespace tovlek::writer {
namespace {

class MapWriterTest : public ::testing::Test {
 protected:
  void SetUp() override { testkit::resetGlobals(10); }
  void TearDown() override { testkit::resetGlobals(10); }

  // Runs `write` on a MapOutput over memory and returns what it wrote.
  template <typename Write>
  std::string capture(Write write, std::string_view lineEnd = "\n") {
    char* buffer = nullptr;
    size_t size = 0;
    std::FILE* file = open_memstream(&buffer, &size);
    MapOutput out;
    out.file = file;
    out.lineEnd = lineEnd;
    write(out);
    EXPECT_TRUE(flushMapOutput(out));
    std::fclose(file);
    std::string text(buffer, size);
    std::free(buffer);
    return text;
  }
};

TEST_F(MapWriterTest, SectionLayout) {
  store::Road* road = testkit::makeRoad({{5234567, 1234500}, {5234600, 1234700}}, 6);
  store::prependExtraLine(road, "P\n");
  store::prependExtraLine(road, "Q\n");
  EXPECT_EQ(capture([&](MapOutput& out) { writePolylineSection(out, *road); }),
            "[POLYLINE]\nType=0x6\nData0=(52.34567,12.34500),(52.34600,12.34700)\nQ\nP\n[END]\n\n");
  store::releaseRoad(road);
}

TEST_F(MapWriterTest, TypeAndSubtypeLines) {
  store::Road* road = store::createRoad();
  EXPECT_EQ(capture([&](MapOutput& out) { writePolylineSection(out, *road); }),
            "[POLYLINE]\nType=0xFFFFFFFF\nData0=\n[END]\n\n");
  road->type = 12;
  road->subtype = 0;
  store::prependExtraLine(road, "no line end");
  EXPECT_EQ(capture([&](MapOutput& out) { writePolylineSection(out, *road); }),
            "[POLYLINE]\nType=0xC\nSubtype=0x0\nData0=\nno line end[END]\n\n");
  road->type = 0x42;
  road->subtype = -7;
  store::appendVertex(road, store::createVertex(-5, 0));
  EXPECT_EQ(capture([&](MapOutput& out) { writePolylineSection(out, *road); }, "\r\n"),
            "[POLYLINE]\r\nType=0x42\r\nData0=(-0.00005,0.00000)\r\nno line end[END]\r\n\r\n");
  store::releaseRoad(road);
}

TEST_F(MapWriterTest, RoadListIsWrittenHeadFirst) {
  for (int i = 1; i <= 3; ++i) store::pushRoad(testkit::makeRoad({{i, i}}, i));
  EXPECT_EQ(capture([](MapOutput& out) { writeRoadList(out); }),
            "[POLYLINE]\nType=0x3\nData0=(0.00003,0.00003)\n[END]\n\n"
            "[POLYLINE]\nType=0x2\nData0=(0.00002,0.00002)\n[END]\n\n"
            "[POLYLINE]\nType=0x1\nData0=(0.00001,0.00001)\n[END]\n\n");
}

TEST_F(MapWriterTest, LargeOutputArrivesWhole) {
  std::string expected;
  std::string big(5 << 20, 'z');
  EXPECT_EQ(capture([&](MapOutput& out) {
              writeText(out, "a");
              writeText(out, big);
              writeText(out, "b");
            }),
            "a" + big + "b");
}

TEST_F(MapWriterTest, WriteErrorsAreKept) {
  std::FILE* full = std::fopen("/dev/full", "w");
  if (full == nullptr) GTEST_SKIP() << "no /dev/full";
  MapOutput out;
  out.file = full;
  writeText(out, "x");
  EXPECT_FALSE(flushMapOutput(out));
  EXPECT_TRUE(out.failed);
  std::fclose(full);
}

}  // namespace
}  // namespace tovlek::writer
