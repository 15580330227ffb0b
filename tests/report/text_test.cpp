// Report distances against the C library's printf, on seeded random values
// and on values that lie exactly halfway between two results.
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

}  // namespace
}  // namespace tovlek::report
