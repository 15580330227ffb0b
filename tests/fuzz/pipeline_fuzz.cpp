// Fuzz target for the whole run on in-memory text. The first byte picks the
// distance (low four bits), whether gaps are closed (the next bit), whether
// the fast run uses helper threads (the bit after), whether a run in the
// kept layout is checked too (the next) and whether the fast join's later
// rounds look only near changes (the last); the rest is the map. Beyond crashes
// and sanitizer reports it checks that both sweeps agree byte for byte, that
// every ring is closed with its members at one position, that every line
// outside polyline sections comes out unchanged and in order, that every
// road found is written, that the change report is well-formed UTF-8 (as
// JSON must be; the C library's converter is the judge), and that the kept
// layout, run without a report, makes the same joins (its map read back
// gives the same roads but for repeats it leaves out, and with no road pairs
// it is the input).
#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/pipeline.h"

namespace {

const int32_t kDistances[16] = {0,  1,   2,    3,  5,  10,  11,        20,
                                50, 100, 1000, -1, -3, -10, INT32_MIN, INT32_MAX};

void fail(const char* what) {
  std::fprintf(stderr, "pipeline fuzz: %s\n", what);
  std::abort();
}

bool isUtf8(std::string text) {
  static iconv_t converter = iconv_open("UTF-32LE", "UTF-8");
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  char* in = text.data();
  size_t inLeft = text.size();
  char buffer[4096];
  while (inLeft > 0) {
    char* out = buffer;
    size_t outLeft = sizeof buffer;
    if (iconv(converter, &in, &inLeft, &out, &outLeft) == static_cast<size_t>(-1) && errno != E2BIG)
      return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int32_t minDistance = kDistances[data[0] % 16];
  const bool closeGaps = (data[0] & 16) != 0;
  const int threads = (data[0] & 32) != 0 ? 3 : 1;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  using namespace tovlek::testkit;
  tovlek::driver::Settings fastSettings{minDistance, false, closeGaps, threads};
  fastSettings.alwaysNearChanges = (data[0] & 128) != 0;
  const TextRun fast = runOnText(text, fastSettings);
  if (!fast.problems.empty()) fail(fast.problems.c_str());
  const std::string passThrough = checkPassThrough(text, fast);
  if (!passThrough.empty()) fail(passThrough.c_str());
  if (!isUtf8(fast.report)) fail("the report is not UTF-8");
  const TextRun plain = runOnText(text, {minDistance, true, closeGaps, 1});
  if (fast.map != plain.map) fail("the sweeps wrote different maps");
  if (fast.console != plain.console || fast.warnings != plain.warnings ||
      fast.report != plain.report)
    fail("the sweeps printed differently");
  if ((data[0] & 64) == 0) return 0;
  // Without a report: the join tells no changes, as in most runs.
  const TextRun kept = runOnText(text, {minDistance, false, closeGaps, threads, true}, false);
  if (!kept.problems.empty()) fail(kept.problems.c_str());
  if (kept.console != plain.console || kept.warnings != plain.warnings)
    fail("the kept layout printed differently");
  if (roadsReadBack(kept.map) != plain.roads) fail("the kept layout made other joins");
  if (minDistance == INT32_MIN && kept.map != text) fail("the kept layout changed a map it kept");
  if (minDistance >= 0 && !checkSharedTexts(kept.map).empty())
    fail("the kept layout wrote one shared position with two texts");
  return 0;
}
