// Conversion between the coordinate text of a map and Coord values, in both
// directions, and the building of a road's vertex chain from a coordinate
// line. A position written by formatPair reads back as the same Coord.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/road_store.h"

namespace tovlek::codec {

using store::Coord;

// The largest magnitude a decoded Coord may have; anything beyond it (and
// inf or nan) makes its pair unreadable.
inline constexpr Coord kMaxDecodedCoord = 214748365;

// Decodes one number already read as a double: five decimals, rounded half
// away from zero on the sixth decimal, later decimals ignored.
std::optional<Coord> decodeNumber(double number);

struct DecodedPair {
  Coord x;
  Coord y;
  size_t end;  // just past the second number
};

// Reads "(%lf,%lf" at text[open], where a '(' stands: white space is allowed
// before either number but not before the comma; the closing parenthesis is
// not required. Empty when either number is missing or out of range.
std::optional<DecodedPair> decodePair(std::string_view text, size_t open);

// Appends x and y of every pair of the line (its search copy) to `coords`,
// searching for '(' from the line's second character on, until a '(' is not
// followed by a readable pair. Returns false when a pair was unreadable (the
// rest of the line was ignored), true when the line ran out of '('.
bool readCoordList(std::string_view line, std::vector<Coord>& coords);

// Appends one Coord as [-]integer.five-digits.
void appendCoordText(std::string& out, Coord value);

// Appends "(X,Y)" for the position, each number as [-]integer.five-digits.
void appendPair(std::string& out, Coord x, Coord y);
std::string formatPair(Coord x, Coord y);

// The same text written at `at`; returns its end. It may write anything up
// to at + kPairRoom, which is more than the longest pair takes (27 bytes).
inline constexpr size_t kPairRoom = 32;
char* putPair(char* at, Coord x, Coord y);

}  // namespace tovlek::codec
