// Fuzz target for the coordinate codec and the number scanners: every pair
// that decodes is written and read back to the same Coord, and the scanners
// agree with the C library's own sscanf on the input's first 64 bytes.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "codec/c_scan.h"
#include "codec/coord_codec.h"
#include "support/scan_oracle.h"

namespace {

void fail(const char* what, const std::string& text) {
  std::fprintf(stderr, "codec fuzz: %s for [%s]\n", what, text.c_str());
  std::abort();
}

void checkRoundTrips(const std::string& text) {
  using namespace tovlek::codec;
  for (size_t open = text.find('('); open != std::string::npos; open = text.find('(', open + 1)) {
    const auto pair = decodePair(text, open);
    if (!pair) continue;
    const std::string written = formatPair(pair->x, pair->y);
    const auto again = decodePair(written, 0);
    if (!again || again->x != pair->x || again->y != pair->y)
      fail("round trip changed a pair", written);
  }
}

void checkScanners(const std::string& text) {
  const std::string prefix = text.substr(0, std::min<size_t>(64, std::strlen(text.c_str())));
  const std::string mismatch = tovlek::testkit::scanMismatch(prefix);
  if (!mismatch.empty()) fail(mismatch.c_str(), prefix);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  checkRoundTrips(text);
  checkScanners(text);
  return 0;
}
