// Counts what a router sees as broken in a map, for measuring what a join
// left (not used by the tool):
// - loose ends: road ends that lie within DISTANCE of another road but share
//   no position with any of its vertices;
// - folded roads: roads that come back to a position they left (two
//   vertices at one position, other than neighbours);
// - unnoded crossings: segments of two roads that cross inside both without
//   a shared vertex.
//
//   map_check MAP [DISTANCE [list]]   DISTANCE in Coord units, default 10 (0.0001);
//                                     "list" prints each loose end
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>
#include <vector>

#include "driver/pipeline.h"
#include "store/road_store.h"

namespace {

using tovlek::store::Coord;

struct Point {
  Coord x, y;
};

uint64_t key(Point p) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(p.x)) << 32) | static_cast<uint32_t>(p.y);
}

// The sign of the turn a -> b -> c.
int turn(Point a, Point b, Point c) {
  const int64_t cross =
      (int64_t{b.x} - a.x) * (int64_t{c.y} - a.y) - (int64_t{b.y} - a.y) * (int64_t{c.x} - a.x);
  return (cross > 0) - (cross < 0);
}

// Whether segments ab and cd cross at a point inside both.
bool crossInside(Point a, Point b, Point c, Point d) {
  return turn(a, b, c) * turn(a, b, d) < 0 && turn(c, d, a) * turn(c, d, b) < 0;
}

double segmentDistance(Point e, Point a, Point b) {
  const double dx = b.x - a.x, dy = b.y - a.y, length2 = dx * dx + dy * dy;
  double t = length2 == 0 ? 0 : ((e.x - a.x) * dx + (e.y - a.y) * dy) / length2;
  t = std::fmax(0, std::fmin(1, t));
  return std::hypot(e.x - a.x - t * dx, e.y - a.y - t * dy);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: map_check MAP [DISTANCE [list]]\n");
    return 2;
  }
  const double distance = argc > 2 ? std::atof(argv[2]) : 10.0;
  std::vector<std::vector<Point>> roads;
  tovlek::driver::RunStreams streams;
  streams.input = std::fopen(argv[1], "r");
  streams.output = std::fopen("/dev/null", "w");
  streams.console = streams.output;
  if (streams.input == nullptr || streams.output == nullptr) return 1;
  tovlek::driver::runPhases({INT32_MIN, false}, streams, [&](const tovlek::store::Map& map) {
    for (size_t p = 0; p < tovlek::store::roadCount(map); ++p) {
      roads.emplace_back();
      tovlek::store::forEachVertex(map, tovlek::store::roadAt(map, p),
                                   [&](const tovlek::store::Vertex& v) {
                                     roads.back().push_back({v.x, v.y});
                                   });
    }
  });
  // Roads by the positions of their vertices, and segments by grid cell.
  std::unordered_multimap<uint64_t, size_t> atPosition;
  const double cell = std::fmax(4 * distance, 64);
  auto cellOf = [&](double x, double y) {
    return key(
        {static_cast<Coord>(std::floor(x / cell)), static_cast<Coord>(std::floor(y / cell))});
  };
  std::unordered_multimap<uint64_t, std::pair<size_t, size_t>> segments;
  for (size_t r = 0; r < roads.size(); ++r) {
    for (size_t i = 0; i < roads[r].size(); ++i) {
      atPosition.emplace(key(roads[r][i]), r);
      const Point a = roads[r][i], b = roads[r][i + 1 < roads[r].size() ? i + 1 : i];
      for (double x = std::floor((std::fmin(a.x, b.x) - distance) / cell) * cell;
           x <= std::fmax(a.x, b.x) + distance; x += cell) {
        for (double y = std::floor((std::fmin(a.y, b.y) - distance) / cell) * cell;
             y <= std::fmax(a.y, b.y) + distance; y += cell) {
          segments.emplace(cellOf(x, y), std::make_pair(r, i));
        }
      }
    }
  }
  long ends = 0, loose = 0;
  for (size_t r = 0; r < roads.size(); ++r) {
    for (const Point e : {roads[r].front(), roads[r].back()}) {
      ++ends;
      bool touches = false, near = false;
      double nearest = HUGE_VAL;
      auto [first, last] = atPosition.equal_range(key(e));
      for (auto it = first; it != last; ++it) touches |= it->second != r;
      if (touches) continue;
      auto [from, to] = segments.equal_range(cellOf(e.x, e.y));
      for (auto it = from; it != to; ++it) {
        const auto [s, i] = it->second;
        if (s == r) continue;
        const Point a = roads[s][i], b = roads[s][i + 1 < roads[s].size() ? i + 1 : i];
        nearest = std::fmin(nearest, segmentDistance(e, a, b));
        near = nearest <= distance;
      }
      loose += near;
      if (near && argc > 3) std::printf("(%d,%d) %.2f\n", e.x, e.y, nearest);
    }
  }
  long folded = 0;
  for (const auto& road : roads) {
    std::unordered_map<uint64_t, size_t> seen;
    bool fold = false;
    for (size_t i = 0; i < road.size() && !fold; ++i) {
      const auto [at, fresh] = seen.emplace(key(road[i]), i);
      fold = !fresh && at->second + 1 != i;
      at->second = i;
    }
    folded += fold;
  }
  long unnoded = 0;
  for (size_t r = 0; r < roads.size(); ++r) {
    for (size_t i = 0; i + 1 < roads[r].size(); ++i) {
      const Point a = roads[r][i], b = roads[r][i + 1];
      std::unordered_map<uint64_t, bool> counted;
      for (double x = std::floor(std::fmin(a.x, b.x) / cell) * cell; x <= std::fmax(a.x, b.x);
           x += cell) {
        for (double y = std::floor(std::fmin(a.y, b.y) / cell) * cell; y <= std::fmax(a.y, b.y);
             y += cell) {
          auto [from, to] = segments.equal_range(cellOf(x, y));
          for (auto it = from; it != to; ++it) {
            const auto [s, j] = it->second;
            if (s <= r || j + 1 >= roads[s].size()) continue;
            if (crossInside(a, b, roads[s][j], roads[s][j + 1]) &&
                counted.emplace((uint64_t{s} << 32) | j, true).second)
              ++unnoded;
          }
        }
      }
    }
  }
  std::printf(
      "roads %zu, ends %ld, loose ends within %g of another road: %ld, folded roads %ld, "
      "unnoded crossings %ld\n",
      roads.size(), ends, distance, loose, folded, unnoded);
  return 0;
}
