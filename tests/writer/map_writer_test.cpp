// The writer on its own: the section layout, a road too long to be held
// whole, runs of roads formatted on helper threads, and a stream that fails.
#include "writer/map_writer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "support/store_check.h"

namespace tovlek::writer {
namespace {

// A stream into a string that fails once it holds `room` bytes.
struct Sink {
  std::string text;
  size_t room = SIZE_MAX;
};

ssize_t writeToSink(void* cookie, const char* data, size_t size) {
  Sink& sink = *static_cast<Sink*>(cookie);
  if (sink.text.size() + size > sink.room) {
    errno = ENOSPC;
    return -1;
  }
  sink.text.append(data, size);
  return static_cast<ssize_t>(size);
}

std::FILE* openSink(Sink& sink) {
  return fopencookie(&sink, "w", {nullptr, writeToSink, nullptr, nullptr});
}

// Writes every road of the map with `threads`; what the stream received.
std::string writtenWith(const store::Map& map, int threads, std::string_view lineEnd) {
  Sink sink;
  MapOutput out;
  out.file = openSink(sink);
  out.lineEnd = lineEnd;
  writeRoadList(out, map, threads);
  EXPECT_TRUE(flushMapOutput(out));
  std::fclose(out.file);
  return sink.text;
}

TEST(MapWriterTest, SectionLayout) {
  store::Map map;
  store::Road& road = testkit::addRoad(map, {{4600000, 600000}, {4600123, -5}});
  road.type = 0x16;
  road.subtype = 0x1a;
  store::endReading(map);
  EXPECT_EQ(writtenWith(map, 1, "\r\n"),
            "[POLYLINE]\r\nType=0x16\r\nSubtype=0x1A\r\n"
            "Data0=(46.00000,6.00000),(46.00123,-0.00005)\r\n[END]\r\n\r\n");
}

// A road of 300,000 vertices is handed to the stream while it is
// formatted; with helper threads, runs of short roads come between long
// ones in order. Every thread count writes the same bytes.
TEST(MapWriterTest, LongRoadsAndRunsOfRoads) {
  store::Map map;
  std::vector<std::pair<int, int>> longRoad;
  for (int i = 0; i < 300000; ++i) longRoad.push_back({i, i % 7});
  for (int r = 0; r < 3000; ++r) {
    testkit::addRoad(map, {{r, 0}, {r, 1}, {r + 1, 2}});
    if (r % 1000 == 0) testkit::addRoad(map, longRoad);
  }
  store::endReading(map);
  const std::string single = writtenWith(map, 1, "\n");
  EXPECT_GT(single.size(), size_t{300000} * 16);
  EXPECT_EQ(single.substr(0, 43), "[POLYLINE]\nType=0x6\nData0=(0.02999,0.00000)");
  for (const int threads : {2, 5}) EXPECT_TRUE(writtenWith(map, threads, "\n") == single);
}

// A stream that fails keeps the first reason and says so at the flush.
TEST(MapWriterTest, AFailedWriteIsKept) {
  Sink sink;
  sink.room = 100;
  MapOutput out;
  out.file = openSink(sink);
  writeText(out, std::string(5000, ';'));
  EXPECT_FALSE(flushMapOutput(out));
  EXPECT_EQ(out.error, ENOSPC);
  writeText(out, "more");
  EXPECT_FALSE(flushMapOutput(out));
  EXPECT_EQ(out.error, ENOSPC);
  std::fclose(out.file);
}

}  // namespace
}  // namespace tovlek::writer
