// Text of the change report (internal to the report): road labels as UTF-8,
// strings as JSON and XML want them, and distances.
#pragma once

#include <iconv.h>

#include <string>
#include <string_view>

#include "store/road_store.h"

namespace tovlek::report {

// The text of the road's first Label= line, line end dropped; empty if none.
std::string_view labelOf(const store::Road& road);

// A label as UTF-8: decoded from the map's code page where there is a
// decoder ((iconv_t)-1 for none), else kept where it is well-formed UTF-8;
// every other byte is taken as Latin-1.
std::string labelAsUtf8(std::string_view label, iconv_t decoder);

// A JSON string of UTF-8 text; with `forScript`, '<' is escaped too, so that
// the string may stand inside an HTML script element.
void appendJsonString(std::string& out, std::string_view utf8, bool forScript = false);

// `value` with `decimals` digits after the point, exactly as printf's "%.*f"
// writes it, without its cost.
void appendFixed(std::string& out, double value, int decimals);

// UTF-8 text as XML character data: markup characters escaped, and the
// control characters that XML 1.0 does not allow replaced by '?'.
void appendXmlText(std::string& out, std::string_view utf8);

}  // namespace tovlek::report
