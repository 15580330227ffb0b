// Text of the change report (internal to the report): road labels as UTF-8,
// strings as JSON and XML want them, and distances.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "store/road_store.h"

namespace tovlek::report {

// The text of the road's first Label= line, line end dropped; empty if none.
std::string_view labelOf(const store::Road& road);

// Turns labels into UTF-8: decoded from the map's code page where the
// system knows it, else kept where they are well-formed UTF-8; every other
// byte is taken as Latin-1. One thread at a time (a decoder has state).
class LabelDecoder {
 public:
  // 0, 65001 (UTF-8) or a code page the system does not know: no decoding.
  explicit LabelDecoder(int32_t codePage);

  std::string toUtf8(std::string_view label);

 private:
  platform::CodePageDecoder decoder_;  // knows no code page without one
};

// A JSON string of UTF-8 text; with `forScript`, '<' is escaped too, so that
// the string may stand inside an HTML script element.
void appendJsonString(std::string& out, std::string_view utf8, bool forScript = false);

// `value` with `decimals` digits after the point, exactly as printf's "%.*f"
// writes it, without its cost.
void appendFixed(std::string& out, double value, int decimals);

// UTF-8 text as XML character data: markup characters escaped, and what
// XML 1.0 does not allow as a character (control characters, U+FFFE and
// U+FFFF) replaced by '?'.
void appendXmlText(std::string& out, std::string_view utf8);

}  // namespace tovlek::report
