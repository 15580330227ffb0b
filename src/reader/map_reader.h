// One pass over the input map text. Lines outside polyline sections are
// handed on unchanged and in place; each polyline section becomes a Road,
// which is kept on the RoadList when it is a road and otherwise handed on
// (to be written in place) and dropped. The input is cut into pieces at
// section boundaries; their sections are parsed on helper threads where
// there are any, and everything is handed on in the order of the input.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/road_store.h"

namespace tovlek::reader {

// The input map: a C stream read in large blocks and split into whole lines
// of any length (a line ends behind its line feed; the last may lack one).
struct MapInput {
  std::FILE* file = nullptr;
  bool failed = false;     // a read error other than end of input occurred
  int error = 0;           // the system's error number of that read error
  int64_t lineNumber = 0;  // lines read so far
  // The line end of the first line ("\r\n" or "\n"), for the lines that the
  // writer makes itself; set once the first line is read.
  std::string_view lineEnd = "\n";
  int32_t codePage = 0;  // CodePage= of the header section; 0 while none was read
  bool inHeaderSection = false;
  bool sawSection = false;  // a section's header or end line was read

  std::vector<char> block;
  size_t blockBegin = 0;
  size_t blockEnd = 0;
  bool endOfFile = false;
  std::string carried;  // a line that spans blocks
};

// Where the reader hands what it does not keep.
struct ReadSink {
  virtual ~ReadSink() = default;
  // Lines outside every polyline section, exactly as read.
  virtual void passThrough(std::string_view lines) = 0;
  // A polyline section that is not a road, complete; dropped after the call.
  virtual void nonRoadSection(const store::Road& road) = 0;
  // A coordinate line whose decoding stopped at a pair it could not read.
  virtual void unreadablePair(int64_t lineNumber) = 0;
};

struct ReaderState;  // the pieces in work (see map_reader.cpp)

// Reads a map from `in` with `threads` threads in all (1: the caller's alone).
struct MapReader {
  MapReader(MapInput& input, int threads);
  ~MapReader();
  MapInput& in;
  std::unique_ptr<ReaderState> state;
};

// Reads on until one road is complete and puts it at the head of the
// RoadList (true), or until the input ends (false). Passed-through lines and
// non-road sections go to the sink on the way.
bool readNextRoad(MapReader& reader, store::Map& map, ReadSink& sink);

}  // namespace tovlek::reader
