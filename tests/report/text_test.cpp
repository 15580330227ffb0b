// Report text: distances against the C library's printf, on seeded random
// values and on values that lie exactly halfway between two results; labels
// decoded from code pages; XML character data.
#include "report/text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

namespace tovlek::report {
namespace {

TEST(ReportTextTest, DistancesAreWrittenAsPrintfWritesThem) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> fraction(0.0, 1.0);
  for (int i = 0; i < 30000; ++i) {
    double value;
    switch (i % 3) {
      case 0:  // anywhere from a thousandth of a unit to a continent
        value = std::pow(10.0, -3 + 10 * fraction(random));
        break;
      case 1:  // exact binary fractions, often halfway at the last decimal
        value = static_cast<double>(random() % 100000) / static_cast<double>(1 << (random() % 12));
        break;
      default:  // as the report makes them: coordinate units over 100,000
        value = std::sqrt(static_cast<double>(random() % 10000000000)) / 100000.0;
    }
    for (int decimals : {1, 2, 6}) {
      char expected[400];
      std::snprintf(expected, sizeof expected, "%.*f", decimals, value);
      std::string written;
      appendFixed(written, value, decimals);
      ASSERT_EQ(written, expected) << value << " with " << decimals << " decimals";
    }
  }
}

TEST(ReportTextTest, LabelsAreDecodedWhole) {
  const struct {
    int32_t codePage;
    std::string label, utf8;
  } cases[] = {
      // The decoder holds back a letter that might take an accent: the
      // last one of a label must come out too.
      {1258, "Pho Hoa", "Pho Hoa"},
      {1258, "Ho\xCC", "H\xC3\xB2"},  // o and a combining grave accent, composed
      {1255, "\xF9\xEC\xE5\xED", "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D"},
      {1251, "\xD3\xEB\xE8\xF6\xE0 \x98", "\xD0\xA3\xD0\xBB\xD0\xB8\xD1\x86\xD0\xB0 \xC2\x98"},
      // A byte the code page leaves undefined is Latin-1, after what was held back.
      {1258, "a\x81", "a\xC2\x81"},
      {0, "\xC3\xA9\xE9", "\xC3\xA9\xC3\xA9"},
      {65001, "\xC3\xA9", "\xC3\xA9"},
  };
  for (const auto& c : cases) {
    LabelDecoder decoder(c.codePage);
    EXPECT_EQ(decoder.toUtf8(c.label), c.utf8) << c.codePage << ": " << c.label;
    EXPECT_EQ(decoder.toUtf8(c.label), c.utf8) << "used again";
  }
}

TEST(ReportTextTest, XmlTextHoldsOnlyXmlCharacters) {
  const std::pair<std::string, std::string> cases[] = {
      {"A&B <C> \"D\"", "A&amp;B &lt;C&gt; &quot;D&quot;"},
      {"tab\tline\n\x01\x1F", "tab\tline\n??"},
      {"\xEF\xBF\xBE \xEF\xBF\xBF \xEF\xBF\xBD \xEF\xBF", "? ? \xEF\xBF\xBD \xEF\xBF"},
  };
  for (const auto& [utf8, xml] : cases) {
    std::string out;
    appendXmlText(out, utf8);
    EXPECT_EQ(out, xml);
  }
}

}  // namespace
}  // namespace tovlek::report
