// Number scanning with exactly the results of the C library's formatted
// input conversions "%lf", "%x" and "%i" as applied to a string (glibc rules,
// C locale): the same characters are consumed, the same values result, and
// the same inputs fail. Unlike sscanf, these work on a string_view (a NUL byte
// is an ordinary character that no number contains) and cost time in
// proportion to the characters consumed, not to the length of the text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tovlek::codec {

struct ScannedDouble {
  bool ok;       // false where the conversion fails (nothing assigned)
  double value;  // valid when ok
  size_t end;    // index behind the consumed characters, when ok
};

struct ScannedInteger {
  bool ok;
  int64_t value;  // the C library's `long` result (saturated on overflow)
  size_t end;
};

// "%lf" at text[pos]: leading white space, sign, decimal or hexadecimal
// digits with point and exponent (an incomplete exponent is consumed), "inf",
// "infinity", "nan".
ScannedDouble scanDouble(std::string_view text, size_t pos);

// "%x" at text[pos]; the result is what an `unsigned int` receives, taken as
// a signed 32-bit value.
struct ScannedHex {
  bool ok;
  int32_t value;
};
ScannedHex scanHex(std::string_view text, size_t pos);

// "%i" at text[pos] with the `long` value before it is narrowed to `int`.
ScannedInteger scanInteger(std::string_view text, size_t pos);

// "%d" at text[pos]: decimal digits only (a leading 0 is just a digit); the
// value is what an `int` receives, and `end` lies behind the digits.
ScannedInteger scanDecimal(std::string_view text, size_t pos);

// White space as the C locale's isspace sees it.
inline bool isCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace tovlek::codec
