#include "codec/coord_codec.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "codec/c_scan.h"

namespace tovlek::codec {

std::optional<Coord> decodeNumber(double number) {
  const double product = number * 1000000.0;
  // Also rejects inf and nan, which fail every comparison.
  if (!(std::fabs(product) < 4e18)) return std::nullopt;
  const int64_t millionths = static_cast<int64_t>(product);
  int64_t q = millionths / 10;
  const int64_t r = millionths - q * 10;
  if (r >= 5) ++q;
  if (r <= -5) --q;
  if (q > kMaxDecodedCoord || q < -kMaxDecodedCoord) return std::nullopt;
  return static_cast<Coord>(q);
}

std::optional<DecodedPair> decodePair(std::string_view text, size_t open) {
  const ScannedDouble first = scanDouble(text, open + 1);
  if (!first.ok || first.end >= text.size() || text[first.end] != ',') return std::nullopt;
  const ScannedDouble second = scanDouble(text, first.end + 1);
  if (!second.ok) return std::nullopt;
  const std::optional<Coord> x = decodeNumber(first.value);
  const std::optional<Coord> y = decodeNumber(second.value);
  if (!x || !y) return std::nullopt;
  return DecodedPair{*x, *y, second.end};
}

bool readCoordList(std::string_view line, std::vector<Coord>& coords, std::vector<size_t>* opens) {
  // The first character is never the start of a pair.
  size_t open = line.find('(', 1);
  while (open != std::string_view::npos) {
    const std::optional<DecodedPair> pair = decodePair(line, open);
    if (!pair) return false;
    coords.push_back(pair->x);
    coords.push_back(pair->y);
    if (opens != nullptr) opens->push_back(open);
    // No '(' lies within the numbers, so the search goes on from their end;
    // the usual "),(" needs none.
    const size_t end = pair->end;
    const bool usual =
        line.size() - end >= 3 && line[end] == ')' && line[end + 1] == ',' && line[end + 2] == '(';
    open = usual ? end + 2 : line.find('(', end);
  }
  return true;
}

std::string_view pairText(std::string_view text, size_t open) {
  const std::optional<DecodedPair> pair = decodePair(text, open);
  if (!pair) return {};
  const size_t end = pair->end < text.size() && text[pair->end] == ')' ? pair->end + 1 : pair->end;
  return text.substr(open, end - open);
}

namespace {

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// A number at text[at] as appendCoordText writes one: a '-' for a value
// below zero, the whole part without leading zeros, a '.' and five digits.
// Returns where it ends, or 0 when it is written otherwise.
size_t plainNumberEnd(std::string_view text, size_t at) {
  const size_t begin = at;
  if (at < text.size() && text[at] == '-') ++at;
  const size_t whole = at;
  while (at < text.size() && isDigit(text[at])) ++at;
  if (at == whole || (text[whole] == '0' && at - whole > 1)) return 0;
  if (at + 6 > text.size() || text[at] != '.') return 0;
  for (size_t k = 1; k <= 5; ++k) {
    if (!isDigit(text[at + k])) return 0;
  }
  // "-0.00000" is no value below zero.
  if (text[begin] == '-' && text.substr(whole, 7) == "0.00000") return 0;
  return at + 6;
}

}  // namespace

bool isPlainPair(std::string_view text, size_t open) {
  const size_t comma = plainNumberEnd(text, open + 1);
  if (comma == 0 || comma >= text.size() || text[comma] != ',') return false;
  const size_t close = plainNumberEnd(text, comma + 1);
  return close != 0 && close < text.size() && text[close] == ')';
}

namespace {

// A number as sign, significant digits and the power of ten of the last
// one: "-053.99930" is (true, "5399993", -5). Zero has no digits and no sign.
struct Decimal {
  bool negative = false;
  std::string digits;
  int64_t exponent = 0;
  bool operator==(const Decimal&) const = default;
};

// The decimal value of a number as scanDouble reads it at text[pos], or
// nothing for what is no plain decimal (hexadecimal, inf, nan).
std::optional<Decimal> decimalAt(std::string_view text, size_t pos) {
  const ScannedDouble scanned = scanDouble(text, pos);
  if (!scanned.ok) return std::nullopt;
  std::string_view number = text.substr(pos, scanned.end - pos);
  while (!number.empty() && isCSpace(number.front())) number.remove_prefix(1);
  Decimal decimal;
  if (!number.empty() && (number.front() == '-' || number.front() == '+')) {
    decimal.negative = number.front() == '-';
    number.remove_prefix(1);
  }
  int64_t fractionDigits = 0;
  bool inFraction = false;
  size_t at = 0;
  for (; at < number.size(); ++at) {
    const char c = number[at];
    if (c == '.') {
      inFraction = true;
    } else if (isDigit(c)) {
      if (!(decimal.digits.empty() && c == '0')) decimal.digits += c;
      if (inFraction) ++fractionDigits;
    } else {
      break;
    }
  }
  if (at < number.size()) {
    if (number[at] != 'e' && number[at] != 'E') return std::nullopt;  // 0x..., inf, nan
    const ScannedInteger power = scanDecimal(number, at + 1);
    // An exponent without digits is consumed and means nothing.
    if (power.ok) decimal.exponent = power.value;
  }
  decimal.exponent -= fractionDigits;
  while (!decimal.digits.empty() && decimal.digits.back() == '0') {
    decimal.digits.pop_back();
    ++decimal.exponent;
  }
  if (decimal.digits.empty()) decimal = Decimal{};
  return decimal;
}

// The two numbers of a pair text as decimals.
std::optional<std::pair<Decimal, Decimal>> pairDecimals(std::string_view pair) {
  const ScannedDouble first = scanDouble(pair, 1);
  if (!first.ok || first.end >= pair.size() || pair[first.end] != ',') return std::nullopt;
  std::optional<Decimal> x = decimalAt(pair, 1);
  std::optional<Decimal> y = decimalAt(pair, first.end + 1);
  if (!x || !y) return std::nullopt;
  return std::pair{std::move(*x), std::move(*y)};
}

}  // namespace

bool samePairValue(std::string_view a, std::string_view b) {
  if (a == b) return true;
  const auto decimalsA = pairDecimals(a), decimalsB = pairDecimals(b);
  if (decimalsA && decimalsB) return *decimalsA == *decimalsB;
  // A number written otherwise (hexadecimal) is compared as the double it is.
  const ScannedDouble ax = scanDouble(a, 1), bx = scanDouble(b, 1);
  if (!ax.ok || !bx.ok) return false;
  const ScannedDouble ay = scanDouble(a, ax.end + 1), by = scanDouble(b, bx.end + 1);
  return ay.ok && by.ok && ax.value == bx.value && ay.value == by.value;
}

namespace {

// "00" to "99": two digits per division, for the writer's hot loop.
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

[[gnu::always_inline]] inline char* putTwoDigits(char* p, uint32_t twoDigits) {
  p -= 2;
  p[0] = kDigitPairs[2 * twoDigits];
  p[1] = kDigitPairs[2 * twoDigits + 1];
  return p;
}

// Writes the text of a Coord so that it ends just before `end`; returns
// where it begins. At most 13 characters ("-21474.83648").
[[gnu::always_inline]] inline char* putCoordText(char* end, Coord value) {
  // The magnitude of the most negative Coord has no int32, but a uint32.
  const uint32_t magnitude =
      value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  uint32_t fraction = magnitude % 100000;
  char* p = putTwoDigits(end, fraction % 100);
  fraction /= 100;
  p = putTwoDigits(p, fraction % 100);
  *--p = static_cast<char>('0' + fraction / 100);
  *--p = '.';
  uint32_t whole = magnitude / 100000;  // at most 21474
  while (whole >= 100) {
    p = putTwoDigits(p, whole % 100);
    whole /= 100;
  }
  if (whole >= 10) {
    p = putTwoDigits(p, whole);
  } else {
    *--p = static_cast<char>('0' + whole);
  }
  if (value < 0) *--p = '-';
  return p;
}

}  // namespace

void appendCoordText(std::string& out, Coord value) {
  char text[16];
  const char* begin = putCoordText(text + sizeof text, value);
  out.append(begin, static_cast<size_t>(text + sizeof text - begin));
}

char* putPair(char* at, Coord x, Coord y) {
  // Built back to front so that it ends at the middle of a scratch buffer,
  // then moved with one copy of fixed length: no call per pair.
  char text[2 * kPairRoom];
  char* const end = text + kPairRoom;
  char* p = end;
  *--p = ')';
  p = putCoordText(p, y);
  *--p = ',';
  p = putCoordText(p, x);
  *--p = '(';
  std::memcpy(at, p, kPairRoom);
  return at + (end - p);
}

void appendPair(std::string& out, Coord x, Coord y) {
  char text[kPairRoom];
  out.append(text, static_cast<size_t>(putPair(text, x, y) - text));
}

std::string formatPair(Coord x, Coord y) {
  std::string text;
  appendPair(text, x, y);
  return text;
}

}  // namespace tovlek::codec
