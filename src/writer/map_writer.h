// Writes roads as polyline sections in the normalised layout, and any other
// text as given, to one buffered output stream.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "store/road_store.h"

namespace tovlek::writer {

// The output map: a C stream behind a large staging buffer. Nothing reaches
// the stream before flushMapOutput or a full buffer; write errors are kept
// in `failed` rather than reported at once.
struct MapOutput {
  std::FILE* file = nullptr;
  // Line end of the lines the writer itself produces ("\n" or "\r\n").
  std::string_view lineEnd = "\n";
  std::string pending;
  bool failed = false;
  int error = 0;                // the system's error number of the first failed write
  int64_t sectionsWritten = 0;  // polyline sections written so far
  uint64_t bytesFlushed = 0;    // bytes handed to the stream so far
};

// Bytes written so far, staged ones included.
inline uint64_t bytesWritten(const MapOutput& out) {
  return out.bytesFlushed + out.pending.size();
}

// Appends bytes to the output exactly as given.
void writeText(MapOutput& out, std::string_view text);

// Hands everything staged to the stream and flushes it. Returns false when
// any write so far has failed.
bool flushMapOutput(MapOutput& out);

// One polyline section: header, type, subtype (when not negative), one
// coordinate line with every vertex, the extra lines newest first, end line
// and an empty line. Where the join inserted vertices into the road, the
// vertex index of its routing-node and house-number lines is rewritten to
// name the same vertex as before.
void writePolylineSection(MapOutput& out, const store::Map& map, const store::Road& road);

// The map as read, with only what the join changed rewritten: every line
// outside road sections and every section that is not a road exactly as
// read, every road section in its place, and a road whose written text
// would differ from what was read (a vertex moved, inserted or left out, or
// its text taken from another vertex at its position) with only its
// coordinate line and its index lines rewritten. Needs the map's input text
// and sources. With `out` null it only counts the roads whose text changed.
// Runs of roads are formatted on `threads` helpers.
struct KeptLayout {
  int64_t changedRoads = 0;
  bool readFailed = false;  // the input could not be read again
  int error = 0;            // the system's error number of that failure
};
KeptLayout writeKeptLayout(MapOutput* out, const store::Map& map, int threads = 1);

// Every road of the RoadList, head first. With more than one thread, runs
// of roads are formatted on `threads` helper threads and written in order.
void writeRoadList(MapOutput& out, const store::Map& map, int threads = 1);

}  // namespace tovlek::writer
