// The scanners must agree with the C library's own sscanf on every input:
// fixed tricky cases plus many generated strings over an alphabet that makes
// numbers, near-numbers and junk likely.
#include "codec/c_scan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <sstream>
#include <string>

#include "support/scan_oracle.h"

namespace tovlek::codec {
namespace {

// Separated by |.
const char* const kTrickyNumbers =
    "1E+5|1e+5|1.2.3|0x1P+3|1e|0x|.|-.|0x.p|infi|infx|INFINITY|nan(12)|"
    "+0x1.8|1e+-5|0xg|  -|1..2|0x1.2.3|| |-|+.5|5.|00012|0x1e|0x1e+2|1e5e|"
    "-0|\t\n 7|1e999|1e-999|2147.48299000000000001|37.123455|-0.00397|"
    "0xfffffffff|1,2|089|0x0x5|-0x|+0x10|0b1|1p3|9999999999999999999999|"
    "-9223372036854775808|9223372036854775808|-9223372036854775809|077|08";

TEST(CScanTest, TrickyInputsMatchTheCLibrary) {
  std::istringstream list(kTrickyNumbers);
  for (std::string text; std::getline(list, text, '|');) {
    EXPECT_EQ(testkit::scanMismatch(text), "");
  }
}

TEST(CScanTest, GeneratedInputsMatchTheCLibrary) {
  // ('/' and ':' are the neighbours of the digits.)
  const std::string alphabet = "0123456789.eEpPxX+-afinyt ,()\t/:";
  std::mt19937 random(20261206);
  for (int i = 0; i < 60000; ++i) {
    std::string text;
    const int length = static_cast<int>(random() % 12);
    for (int j = 0; j < length; ++j) text += alphabet[random() % alphabet.size()];
    ASSERT_EQ(testkit::scanMismatch(text), "");
  }
}

TEST(CScanTest, PlainDecimalsOfAnyLengthMatchTheCLibrary) {
  // Around the limits of the exact shortcut: 15 to 21 significant digits,
  // mantissas near 2^53, exponents near +-22, leading and trailing zeros.
  std::mt19937_64 random(11);
  // What follows, as in a coordinate line: digits are taken eight at a
  // time where eight characters remain (the byte 0xca overflows there).
  const char* const tails[] = {"",          ")",        ",45.123456)", " 12345678", "\xca,5678901",
                               ":12345678", "/12345678"};
  for (int i = 0; i < 40000; ++i) {
    std::string digits;
    const int count = 1 + static_cast<int>(random() % 21);
    for (int d = 0; d < count; ++d) digits += static_cast<char>('0' + random() % 10);
    if (random() % 4 == 0) digits = "9007199254740" + digits.substr(0, random() % 6);
    const size_t point = random() % (digits.size() + 1);
    std::ostringstream text;
    text << (random() % 2 ? "-" : "") << digits.substr(0, point) << '.' << digits.substr(point);
    if (random() % 3 == 0) text << 'e' << static_cast<int>(random() % 61) - 30;
    text << tails[random() % std::size(tails)];
    ASSERT_EQ(testkit::scanMismatch(text.str()), "");
  }
}

}  // namespace
}  // namespace tovlek::codec
