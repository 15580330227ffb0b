// The C library's sscanf as the oracle of the number scanners.
#pragma once

#include <string>

namespace tovlek::testkit {

// Scans `text` with scanDouble, scanHex, scanInteger and scanDecimal and
// with sscanf's "%lf", "%x", "%li" and "%d": what the first disagreement is
// (success, value or length read), or "" when they all agree.
std::string scanMismatch(const std::string& text);

}  // namespace tovlek::testkit
