// One pass over the input map text. Lines outside polyline sections go to the
// output unchanged and in place; each polyline section becomes a Road, which
// is kept on the RoadList when it is a road and otherwise written in place in
// the normalised layout and released.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "store/road_store.h"
#include "writer/map_writer.h"

namespace tovlek::reader {

// The input map: a C stream read in large blocks and split into whole lines
// of any length (a line ends behind its line feed; the last may lack one).
struct MapInput {
  std::FILE* file = nullptr;
  std::FILE* warnings = stderr;  // where unreadable coordinate lines are reported
  bool failed = false;           // a read error other than end of input occurred
  int error = 0;                 // the system's error number of that read error
  int64_t lineNumber = 0;        // lines read so far
  int32_t codePage = 0;          // CodePage= of the header section; 0 while none was read
  bool inHeaderSection = false;

  std::vector<char> block;
  size_t blockBegin = 0;
  size_t blockEnd = 0;
  bool endOfFile = false;
  std::string carried;  // a line that spans blocks
  std::string search;   // search copy of the current line
};

// Reads the next line into `line` (valid until the next call). False at the
// end of input or on a read error (then `failed` is set).
bool readLine(MapInput& in, std::string_view& line);

// True for a polyline type that makes a road: 0 to 12, 0x42 and 0x49.
bool isRoadType(int32_t type);

// Reads on until one road is complete and puts it at the head of the
// RoadList (true), or until the input ends (false). Passed-through lines and
// non-road sections are written to `out` on the way. The writer's line end
// follows the input's first line.
bool readNextRoad(MapInput& in, writer::MapOutput& out);

}  // namespace tovlek::reader
