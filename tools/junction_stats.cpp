// Developer's look at what the join phase did to a map: welds, moved ends,
// inserted vertices. Runs the same phases as the tool, writes nothing.
//   junction_stats MAP [MIN_DISTANCE]
#include <cstdio>
#include <cstdlib>

#include "junction/junction.h"
#include "reader/map_reader.h"
#include "store/road_store.h"
#include "writer/map_writer.h"

int main(int argc, char** argv) {
  using namespace tovlek;
  if (argc < 2) {
    std::fprintf(stderr, "usage: junction_stats MAP [MIN_DISTANCE]\n");
    return 2;
  }
  if (argc > 2) store::MinDistance = std::atoi(argv[2]);
  std::FILE* input = std::fopen(argv[1], "r");
  std::FILE* sink = std::fopen("/dev/null", "w");
  if (input == nullptr || sink == nullptr) {
    std::fprintf(stderr, "cannot open %s\n", argv[1]);
    return 1;
  }
  reader::MapInput in;
  in.file = input;
  in.warnings = sink;
  writer::MapOutput out;
  out.file = sink;
  int32_t roads = 0;
  while (reader::readNextRoad(in, out)) ++roads;
  junction::sweepRoadPairs(roads, {sink, stderr, nullptr});
  const junction::JunctionStats& stats = junction::Stats;
  std::printf("roads %d, welds %lld, moved ends %lld, new vertices %lld, placements %d\n", roads,
              static_cast<long long>(stats.welds), static_cast<long long>(stats.movedEnds),
              static_cast<long long>(stats.newVertices), junction::SplitCount);
  store::releaseRoadList();
  std::fclose(input);
  std::fclose(sink);
  return 0;
}
