// What the lines of a map's text hold, recognised as the reader recognises
// them: by substring, with ASCII capitals taken as small letters. The reader
// parses sections with these; the writer of the kept layout finds a road's
// coordinate and end lines again with the same rules.
#pragma once

#include <string>
#include <string_view>

namespace tovlek::codec {

// An ASCII capital made small; every other byte (and EOF) unchanged.
constexpr int asciiLower(int c) {
  return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
}
inline char asciiLower(char c) {
  return static_cast<char>(asciiLower(static_cast<int>(c)));
}

// The search copy of a line: ASCII capitals made small, every other byte
// unchanged.
void makeSearchCopy(std::string_view line, std::string& search);

// Whether the line holds `marker` (a '[' and small letters) anywhere.
bool holdsMarker(std::string_view line, std::string_view marker);

// What a line of a polyline section's body holds.
enum class SectionLine { kSubtype, kType, kCoordinates, kOther };

// The key of a body line. `search` is scratch; it holds the line's search
// copy afterwards unless the line is a coordinate line.
SectionLine keyOfSectionLine(std::string_view line, std::string& search);

}  // namespace tovlek::codec
