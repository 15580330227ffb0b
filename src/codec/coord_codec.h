// Conversion between the coordinate text of a map and Coord values, in both
// directions: a pair, and every pair of a coordinate line read into a vector
// of Coords; pair texts and their exact decimal values. A position written
// by formatPair reads back as the same Coord.
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
// followed by a readable pair; with `opens`, also where each pair's '('
// stands in the line. Returns false when a pair was unreadable (the rest of
// the line was ignored), true when the line ran out of '('.
bool readCoordList(std::string_view line, std::vector<Coord>& coords,
                   std::vector<size_t>* opens = nullptr);

// The text of the pair read at text[open]: from its '(' to the end of its
// second number, and its ')' where one follows directly.
std::string_view pairText(std::string_view text, size_t open);

// Whether the pair read at text[open] is written exactly as appendPair
// writes the position it decodes to: "(46.00000,-6.00150)".
bool isPlainPair(std::string_view text, size_t open);

// Whether two pair texts (as pairText gives them) hold the same two numbers,
// compared as exact decimal values: "(53.99993,1.5)" and "( 53.999930,15e-1)"
// do, "(53.999928,1.5)" does not.
bool samePairValue(std::string_view a, std::string_view b);

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
