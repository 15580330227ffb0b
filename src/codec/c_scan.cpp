#include "codec/c_scan.h"

#include <bit>
#include <cstdlib>
#include <cstring>
#include <string>

#include "codec/section_lines.h"

namespace tovlek::codec {
namespace {

constexpr int kEnd = -1;

// A cursor over the text that reads like a C input stream: past the end it
// yields kEnd, as a stream yields EOF.
struct Cursor {
  std::string_view text;
  size_t pos;

  int peek() const { return pos < text.size() ? static_cast<unsigned char>(text[pos]) : kEnd; }
  void skipSpace() {
    while (pos < text.size() && isCSpace(text[pos])) ++pos;
  }
};

bool isDigit(int c) {
  return c >= '0' && c <= '9';
}
bool isHexDigit(int c) {
  return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Consumes the letters of `word` (lower case) in any letter case; true when
// all of them were there.
bool consumeWord(Cursor& in, std::string_view word) {
  for (char expected : word) {
    if (asciiLower(in.peek()) != expected) return false;
    ++in.pos;
  }
  return true;
}

// Collects the characters that the C library's floating-point conversion
// takes into its buffer. Returns false where the conversion fails before the
// buffer is converted.
bool collectFloat(Cursor& in, size_t& start) {
  in.skipSpace();
  start = in.pos;
  if (in.peek() == kEnd) return false;
  bool gotSign = false;
  if (in.peek() == '-' || in.peek() == '+') {
    gotSign = true;
    ++in.pos;
    if (in.peek() == kEnd) return false;
  }
  if (asciiLower(in.peek()) == 'n') return consumeWord(in, "nan");
  if (asciiLower(in.peek()) == 'i') {
    if (!consumeWord(in, "inf")) return false;
    if (asciiLower(in.peek()) == 'i') return consumeWord(in, "inity");
    return true;
  }

  bool hex = false, gotDigit = false, gotDot = false, gotE = false;
  int expChar = 'e';
  if (in.peek() == '0') {
    ++in.pos;
    if (asciiLower(in.peek()) == 'x') {
      ++in.pos;
      hex = true;
      expChar = 'p';
    } else {
      gotDigit = true;
    }
  }
  for (int c = in.peek(); c != kEnd; c = in.peek()) {
    const int previous =
        in.pos > start ? asciiLower(static_cast<unsigned char>(in.text[in.pos - 1])) : 0;
    if (isDigit(c) || (!gotE && hex && isHexDigit(c))) {
      gotDigit = true;
    } else if (gotE && previous == expChar && (c == '-' || c == '+')) {
      // sign of the exponent
    } else if (gotDigit && !gotE && asciiLower(c) == expChar) {
      gotE = gotDot = true;
    } else if (!gotDot && c == '.') {
      gotDot = true;
    } else {
      break;
    }
    ++in.pos;
  }
  const size_t length = in.pos - start;
  const size_t signLength = gotSign ? 1 : 0;
  return length != signLength && !(hex && length == 2 + signLength);
}

struct CollectedInteger {
  bool ok;
  bool negative;
  bool overflow;  // magnitude beyond 64 bits
  uint64_t magnitude;
  size_t end;
};

// Collects an integer as the C library's integer conversions do, with the
// base given (0 chooses by prefix), and accumulates its magnitude.
CollectedInteger collectInteger(std::string_view text, size_t pos, int base) {
  Cursor in{text, pos};
  in.skipSpace();
  CollectedInteger result{false, false, false, 0, 0};
  if (in.peek() == kEnd) return result;
  size_t taken = 0;  // characters that enter the conversion buffer
  bool gotSign = false;
  if (in.peek() == '-' || in.peek() == '+') {
    result.negative = in.peek() == '-';
    gotSign = true;
    ++in.pos;
    ++taken;
  }
  if (in.peek() == '0') {
    ++in.pos;
    ++taken;
    if (asciiLower(in.peek()) == 'x') {
      if (base == 0) base = 16;
      if (base == 16) ++in.pos;  // the 'x' is skipped, not collected
    } else if (base == 0) {
      base = 8;
    }
  }
  if (base == 0) base = 10;
  for (int c = in.peek(); c != kEnd; c = in.peek()) {
    int digit;
    if (isDigit(c)) {
      digit = c - '0';
    } else if (base == 16 && isHexDigit(c)) {
      digit = asciiLower(c) - 'a' + 10;
    } else {
      break;
    }
    if (digit >= base) break;
    const uint64_t limit =
        (UINT64_MAX - static_cast<uint64_t>(digit)) / static_cast<uint64_t>(base);
    if (result.magnitude > limit) {
      result.overflow = true;
    } else {
      result.magnitude =
          result.magnitude * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    }
    ++in.pos;
    ++taken;
  }
  result.ok = taken > (gotSign ? 1 : 0);
  result.end = in.pos;
  return result;
}

// Powers of ten that are exact doubles.
constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                              1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The C library's value of a collected token (what scanPlainDecimal does
// not take: exponents, hexadecimal, inf, nan, long numbers).
double convertDouble(std::string_view token, bool& consumedAny) {
  char small[64];
  std::string large;
  const char* begin;
  if (token.size() < sizeof small) {
    token.copy(small, token.size());
    small[token.size()] = '\0';
    begin = small;
  } else {
    large.assign(token);
    begin = large.c_str();
  }
  char* stop = nullptr;
  const double value = std::strtod(begin, &stop);
  consumedAny = stop != begin;
  return value;
}

// The decimal digits that begin p[0 .. 8): how many, and their value, found
// eight characters at a time (on a little-endian machine).
struct DigitRun {
  int count;
  uint64_t value;
};

DigitRun leadingDigits(const char* p) {
  uint64_t chunk;
  std::memcpy(&chunk, p, sizeof chunk);
  // A digit becomes 0..9 and the byte stays below 16 after adding 6; any
  // other byte does not. A byte that overflows only carries into bytes after
  // it, which are past the first non-digit and not looked at.
  const uint64_t x = chunk ^ 0x3030303030303030u;
  const uint64_t nonDigits = ((x + 0x0606060606060606u) | x) & 0xF0F0F0F0F0F0F0F0u;
  const int count = nonDigits == 0 ? 8 : std::countr_zero(nonDigits) / 8;
  if (count == 0) return {0, 0};
  // The digits moved to the top, leading zeros below; then pairs, fours and
  // eights of digits are combined.
  uint64_t v = x << (8 * (8 - count));
  v = (v * 10 + (v >> 8)) & 0x00FF00FF00FF00FFu;
  v = (v * 100 + (v >> 16)) & 0x0000FFFF0000FFFFu;
  v = (v * 10000 + (v >> 32)) & 0xFFFFFFFFu;
  return {count, v};
}

constexpr uint64_t kIntegerPowers[] = {1,      10,      100,      1000,     10000,
                                       100000, 1000000, 10000000, 100000000};

// Appends the decimal digits at p to `mantissa` (which wraps beyond 19
// digits; the caller rejects those) and returns where they end.
const char* takeDigits(const char* p, const char* end, uint64_t& mantissa) {
  if constexpr (std::endian::native == std::endian::little) {
    while (end - p >= 8) {
      const DigitRun run = leadingDigits(p);
      mantissa = mantissa * kIntegerPowers[run.count] + run.value;
      p += run.count;
      if (run.count < 8) return p;
    }
  }
  for (; p < end && isDigit(*p); ++p) mantissa = mantissa * 10 + static_cast<uint64_t>(*p - '0');
  return p;
}

// The common number of a map in one pass: a sign, then at most 19 decimal
// digits with at most one point among them, then a character that cannot
// continue a number (no exponent). The digits and the power of ten are both
// exact doubles, so one division rounds exactly once and gives the correctly
// rounded value, as the C library does. False for anything else, which the
// general path takes, with the same results.
bool scanPlainDecimal(std::string_view text, size_t pos, ScannedDouble& scanned) {
  const char* p = text.data() + pos;
  const char* const end = text.data() + text.size();
  bool negative = false;
  if (p < end && (*p == '-' || *p == '+')) negative = *p++ == '-';
  // "0x" begins a hexadecimal number.
  if (end - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) return false;
  uint64_t mantissa = 0;
  const char* const first = p;
  // The whole part is short: its digits one by one.
  for (; p < end && isDigit(*p); ++p) mantissa = mantissa * 10 + static_cast<uint64_t>(*p - '0');
  ptrdiff_t digits = p - first, decimals = 0;
  if (p < end && *p == '.') {
    const char* const point = ++p;
    p = takeDigits(p, end, mantissa);
    decimals = p - point;
    digits += decimals;
  }
  // Checked after the loops: 19 digits never overflow 64 bits.
  if (digits == 0 || digits > 19 || decimals > 22) return false;
  if (p < end && (*p == 'e' || *p == 'E')) return false;
  if (mantissa > (uint64_t{1} << 53)) return false;
  const double value = static_cast<double>(mantissa) / kPowers[decimals];
  scanned = {true, negative ? -value : value, static_cast<size_t>(p - text.data())};
  return true;
}

}  // namespace

ScannedDouble scanDouble(std::string_view text, size_t pos) {
  ScannedDouble plain;
  if (scanPlainDecimal(text, pos, plain)) return plain;
  Cursor in{text, pos};
  size_t start = pos;
  if (!collectFloat(in, start)) return {false, 0.0, 0};
  bool consumedAny = false;
  const double value = convertDouble(text.substr(start, in.pos - start), consumedAny);
  if (!consumedAny) return {false, 0.0, 0};
  return {true, value, in.pos};
}

ScannedHex scanHex(std::string_view text, size_t pos) {
  const CollectedInteger n = collectInteger(text, pos, 16);
  if (!n.ok) return {false, 0};
  // The unsigned long result of the conversion: saturated on overflow,
  // negated (modulo 2^64) after a minus sign; an unsigned int keeps its low
  // 32 bits.
  uint64_t value = n.overflow ? UINT64_MAX : n.magnitude;
  if (n.negative && !n.overflow) value = 0 - value;
  return {true, static_cast<int32_t>(static_cast<uint32_t>(value))};
}

namespace {

// The C library's `long` result of a signed conversion: saturated on overflow.
ScannedInteger toLong(const CollectedInteger& n) {
  if (!n.ok) return {false, 0, 0};
  int64_t value;
  if (n.negative) {
    const uint64_t limit = uint64_t{1} << 63;
    value = n.overflow || n.magnitude >= limit ? INT64_MIN : -static_cast<int64_t>(n.magnitude);
  } else {
    value = n.overflow || n.magnitude > INT64_MAX ? INT64_MAX : static_cast<int64_t>(n.magnitude);
  }
  return {true, value, n.end};
}

}  // namespace

ScannedInteger scanInteger(std::string_view text, size_t pos) {
  return toLong(collectInteger(text, pos, 0));
}

ScannedInteger scanDecimal(std::string_view text, size_t pos) {
  ScannedInteger n = toLong(collectInteger(text, pos, 10));
  // The `long` is stored into an `int`: its low 32 bits.
  n.value = static_cast<int32_t>(n.value);
  return n;
}

}  // namespace tovlek::codec
