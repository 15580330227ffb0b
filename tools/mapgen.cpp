// Deterministic map generator for benchmarks and scale tests.
//
//   mapgen SEED ROADS PROFILE > map.mp       PROFILE: city, grid or cluster
//
// city: a region of jittered street grids with labels, streets that share,
//   nearly share or miss their junctions, unnoded crossings, near-miss ends,
//   near-coincident ends, a few long highways of thousands of vertices that
//   cross most of the map, rivers and railways (non-road polylines), POIs,
//   polygons and comments.
// grid: a uniform grid of straight streets of nine vertices, for scaling.
// cluster: near-identical roads of ten vertices, each vertex within 8.5
//   units of the same vertex of every other road: every road welds to every
//   other one, and the rings hold one vertex of each road.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// splitmix64: the same sequence on every platform.
struct Random {
  uint64_t state;
  uint64_t next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int64_t range(int64_t low, int64_t high) {  // inclusive
    return low + static_cast<int64_t>(next() % static_cast<uint64_t>(high - low + 1));
  }
  bool chance(int percent) { return range(1, 100) <= percent; }
};

// Map origin: latitude 46.0, longitude 6.0, in units of 0.00001 degree.
constexpr int64_t kLat0 = 4600000;
constexpr int64_t kLon0 = 600000;
constexpr int64_t kSpacing = 150;  // between parallel streets

struct Writer {
  std::string buffer;
  void flush() {
    std::fwrite(buffer.data(), 1, buffer.size(), stdout);
    buffer.clear();
  }
  void text(std::string_view s) {
    buffer.append(s);
    if (buffer.size() > (1 << 20)) flush();
  }
  void coord(int64_t v) {
    char digits[32];
    std::snprintf(digits, sizeof digits, "%s%lld.%05lld", v < 0 ? "-" : "",
                  static_cast<long long>(std::llabs(v) / 100000),
                  static_cast<long long>(std::llabs(v) % 100000));
    buffer += digits;
  }
  void pair(int64_t lat, int64_t lon, bool first) {
    if (!first) buffer += ',';
    buffer += '(';
    coord(kLat0 + lat);
    buffer += ',';
    coord(kLon0 + lon);
    buffer += ')';
  }
};

const char* const kNames[] = {"Elm",   "Oak",    "Birch", "Linden", "Mill",  "Church", "Station",
                              "Brook", "Market", "Hill",  "Castle", "Rowan", "Garden", "Meadow"};
const char* const kKinds[] = {"St", "Rd", "Lane", "Way", "Ave"};

void openRoad(Writer& out, Random& random, int type, uint64_t number) {
  out.text("[POLYLINE]\nType=0x");
  char hex[16];
  std::snprintf(hex, sizeof hex, "%x", type);
  out.text(hex);
  out.text("\n");
  if (random.chance(85)) {
    char label[64];
    std::snprintf(label, sizeof label, "Label=%s %s %llu\n", kNames[random.range(0, 13)],
                  kKinds[random.range(0, 4)], static_cast<unsigned long long>(number % 997));
    out.text(label);
  }
  out.text("Data0=");
}

void closeSection(Writer& out) {
  out.text("\n[END]\n\n");
}

// A street along one grid line: `along` runs over `cells` cells from `start`,
// `across` is the line's position. Vertices at most crossings (shared or
// nearly shared with the crossing street), some shape points, and ends that
// meet, nearly meet, stop short of or overshoot the next street.
void cityStreet(Writer& out, Random& random, bool horizontal, int64_t line, int64_t start,
                int cells, uint64_t number) {
  openRoad(out, random, static_cast<int>(random.chance(70) ? 6 : random.range(3, 5)), number);
  const int64_t across = line * kSpacing + (random.chance(20) ? random.range(-3, 3) : 0);
  bool first = true;
  auto vertex = [&](int64_t alongPos, int64_t acrossPos) {
    if (horizontal) {
      out.pair(acrossPos, alongPos, first);
    } else {
      out.pair(alongPos, acrossPos, first);
    }
    first = false;
  };
  for (int cell = 0; cell <= cells; ++cell) {
    int64_t at = (start + cell) * kSpacing;
    const bool end = cell == 0 || cell == cells;
    if (end) {
      const int kind = static_cast<int>(random.range(1, 100));
      if (kind <= 70) {
        // meets the crossing street exactly
      } else if (kind <= 85) {
        at += random.range(-8, 8);  // nearly meets: a weld or a near miss
      } else if (kind <= 95) {
        at += (cell == 0 ? 1 : -1) * random.range(9, 14);  // stops just short
      } else {
        at += (cell == 0 ? -1 : 1) * random.range(5, 30);  // overshoots: a crossing
      }
      vertex(at, across);
      continue;
    }
    const int kind = static_cast<int>(random.range(1, 100));
    if (kind <= 75) {
      vertex(at, across);  // noded crossing
    } else if (kind <= 88) {
      vertex(at + random.range(-6, 6), across + random.range(-2, 2));  // nearly noded
    }                                                                  // else: an unnoded crossing
    if (random.chance(35)) vertex(at + kSpacing / 2, across + random.range(-4, 4));  // shape point
  }
  closeSection(out);
}

// A long road meandering across the whole region, vertices every ~100 units.
void highway(Writer& out, Random& random, int64_t size, bool horizontal, uint64_t number) {
  openRoad(out, random, random.chance(50) ? 1 : 2, number);
  int64_t across = random.range(size / 10, size - size / 10);
  bool first = true;
  for (int64_t along = -kSpacing; along <= size + kSpacing; along += random.range(60, 140)) {
    across += random.range(-12, 12);
    if (horizontal) {
      out.pair(across, along, first);
    } else {
      out.pair(along, across, first);
    }
    first = false;
  }
  closeSection(out);
}

void nonRoad(Writer& out, Random& random, int64_t size) {
  const int kind = static_cast<int>(random.range(1, 4));
  const int64_t lat = random.range(0, size), lon = random.range(0, size);
  if (kind == 1) {
    out.text("[POI]\nType=0x2f04\nLabel=Stop\nData0=");
    out.pair(lat, lon, true);
    closeSection(out);
  } else if (kind == 2) {
    out.text("[POLYGON]\nType=0x17\nLabel=Park\nData0=");
    out.pair(lat, lon, true);
    out.pair(lat + 80, lon, false);
    out.pair(lat + 80, lon + 90, false);
    out.pair(lat, lon + 90, false);
    closeSection(out);
  } else if (kind == 3) {
    out.text("[POLYLINE]\nType=0x1f\nLabel=Brook\nData0=");
    for (int i = 0; i < 12; ++i) out.pair(lat + i * 40, lon + random.range(-30, 30), i == 0);
    closeSection(out);
  } else {
    out.text("; surveyed again, see the notes\n");
  }
}

void header(Writer& out, const char* name) {
  out.text("; generated map\n[IMG ID]\nID=77001\nName=");
  out.text(name);
  out.text("\nCodePage=1252\nLevels=2\nLevel0=24\nLevel1=20\n[END-IMG ID]\n\n");
}

void city(Writer& out, Random& random, uint64_t roads) {
  header(out, "Generated region");
  const uint64_t highways = roads < 1000 ? 1 : 2 + roads / 100000;
  const uint64_t streets = roads - highways;
  // Streets of ~8 cells on both axes: lines^2 * 2 / 8 streets in all.
  const int64_t lines = static_cast<int64_t>(std::sqrt(static_cast<double>(streets) * 4.0)) + 2;
  const int64_t size = lines * kSpacing;
  uint64_t written = 0, highwaysWritten = 0;
  for (int64_t line = 0; line < lines && written < streets; ++line) {
    for (int axis = 0; axis < 2 && written < streets; ++axis) {
      for (int64_t start = 0; start + 2 <= lines && written < streets;) {
        const int cells = static_cast<int>(std::min<int64_t>(random.range(5, 11), lines - start));
        cityStreet(out, random, axis == 0, line, start, cells, written);
        ++written;
        start += cells;
        if (random.chance(3)) nonRoad(out, random, size);
      }
    }
    // Highways are spread through the file, so they stand all over the list.
    if (highwaysWritten < highways && line % (lines / static_cast<int64_t>(highways) + 1) == 0) {
      highway(out, random, size, highwaysWritten % 2 == 0, highwaysWritten);
      ++highwaysWritten;
    }
  }
  while (highwaysWritten < highways) highway(out, random, size, highwaysWritten++ % 2 == 0, 1);
  // Whatever the grid had no room for: short streets anywhere.
  while (written < streets) {
    cityStreet(out, random, random.chance(50), random.range(0, lines), random.range(0, lines - 2),
               2, written);
    ++written;
  }
}

void grid(Writer& out, Random& random, uint64_t roads) {
  header(out, "Generated grid");
  const int64_t perLine = 8;  // cells per street
  const int64_t lines =
      static_cast<int64_t>(std::sqrt(static_cast<double>(roads) * perLine / 2.0)) + 1;
  uint64_t written = 0;
  for (int64_t line = 0; written < roads; ++line) {
    for (int axis = 0; axis < 2 && written < roads; ++axis) {
      for (int64_t start = 0; start + perLine <= lines && written < roads; start += perLine) {
        openRoad(out, random, 6, written);
        for (int64_t cell = 0; cell <= perLine; ++cell) {
          const int64_t along = (start + cell) * kSpacing, across = (line % lines) * kSpacing;
          if (axis == 0) {
            out.pair(across + random.range(-2, 2), along, cell == 0);
          } else {
            out.pair(along, across + random.range(-2, 2), cell == 0);
          }
        }
        closeSection(out);
        ++written;
      }
    }
  }
}

void cluster(Writer& out, Random& random, uint64_t roads) {
  header(out, "Generated cluster");
  for (uint64_t r = 0; r < roads; ++r) {
    openRoad(out, random, 6, r);
    for (int v = 0; v < 10; ++v)
      out.pair(v * 100 + random.range(-3, 3), random.range(-3, 3), v == 0);
    closeSection(out);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: mapgen SEED ROADS city|grid|cluster > map.mp\n");
    return 2;
  }
  Random random{std::strtoull(argv[1], nullptr, 10)};
  const uint64_t roads = std::strtoull(argv[2], nullptr, 10);
  const std::string_view profile = argv[3];
  Writer out;
  if (profile == "city") {
    city(out, random, roads);
  } else if (profile == "grid") {
    grid(out, random, roads);
  } else if (profile == "cluster") {
    cluster(out, random, roads);
  } else {
    std::fprintf(stderr, "unknown profile %s\n", argv[3]);
    return 2;
  }
  out.flush();
  return std::fflush(stdout) == 0 ? 0 : 1;
}
