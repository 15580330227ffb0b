#include "support/scan_oracle.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <type_traits>

#include "codec/c_scan.h"

namespace tovlek::testkit {
namespace {

// One conversion's disagreement, or "".
template <typename Value, typename Scanned>
std::string compare(const char* conversion, int assigned, Value expected, int consumed,
                    const Scanned& got) {
  const std::string what = std::string(conversion) + ": ";
  if (got.ok != (assigned == 1)) return what + (got.ok ? "scanned, sscanf did not" : "not scanned");
  if (!got.ok) return "";
  if constexpr (requires { got.end; }) {
    if (got.end != static_cast<size_t>(consumed)) return what + "length differs";
  }
  if constexpr (std::is_floating_point_v<Value>) {
    if (std::isnan(expected) && std::isnan(got.value)) return "";
    if (std::memcmp(&got.value, &expected, sizeof expected) != 0) return what + "value differs";
  } else if (static_cast<Value>(got.value) != expected) {
    return what + "value differs";
  }
  return "";
}

}  // namespace

std::string scanMismatch(const std::string& text) {
  const char* c = text.c_str();
  double real = 0;
  unsigned hex = 0;
  long integer = 0;
  int decimal = 0, consumed = -1, assigned = 0;
  // (Each sscanf runs before its results are read.)
  assigned = std::sscanf(c, "%lf%n", &real, &consumed);
  std::string mismatch = compare("%lf", assigned, real, consumed, codec::scanDouble(text, 0));
  if (mismatch.empty()) {
    assigned = std::sscanf(c, "%x", &hex);
    mismatch = compare("%x", assigned, hex, 0, codec::scanHex(text, 0));
  }
  if (mismatch.empty()) {
    consumed = -1;
    assigned = std::sscanf(c, "%li%n", &integer, &consumed);
    mismatch = compare("%li", assigned, integer, consumed, codec::scanInteger(text, 0));
  }
  if (mismatch.empty()) {
    consumed = -1;
    assigned = std::sscanf(c, "%d%n", &decimal, &consumed);
    mismatch = compare("%d", assigned, decimal, consumed, codec::scanDecimal(text, 0));
  }
  return mismatch.empty() ? "" : mismatch + " for [" + text + "]";
}

}  // namespace tovlek::testkit
