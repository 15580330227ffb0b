// Golden end-to-end runs: every map in data/vectors with its arguments,
// compared byte for byte with the expected output file, console, warnings
// and exit status. Arguments name ../map.mp and out.mp, run from run/.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "support/run_binary.h"

namespace tovlek::testkit {
namespace {

std::vector<std::string> vectorNames() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(TOVLEK_TEST_DATA "/vectors")) {
    if (entry.path().extension() == ".args") names.push_back(entry.path().stem().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string dropLines2And3(const std::string& text) {
  std::istringstream in(text);
  std::string line, kept;
  for (int number = 1; std::getline(in, line); ++number) {
    if (number != 2 && number != 3) kept += line + "\n";
  }
  return kept;
}

class GoldenTest : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenTest, MatchesExpectedRun) {
  const std::string base = std::string(TOVLEK_TEST_DATA "/vectors/") + GetParam();
  ScratchDir dir;
  std::filesystem::create_directory(dir.file("run"));
  std::filesystem::copy_file(base + ".mp", dir.file("map.mp"));
  std::istringstream argumentText(readFile(base + ".args"));
  std::vector<std::string> arguments;
  for (std::string word; argumentText >> word;) arguments.push_back(word);

  const RunResult result = runTovlek(dir.file("run"), arguments);
  EXPECT_EQ(std::to_string(result.status) + "\n", readFile(base + ".status"));
  EXPECT_EQ(dropLines2And3(result.out), dropLines2And3(readFile(base + ".stdout")));
  EXPECT_EQ(result.err, readFile(base + ".stderr"));
  EXPECT_TRUE(readFile(dir.file("run/out.mp")) == readFile(base + ".expected.mp"))
      << "output map differs";
}

INSTANTIATE_TEST_SUITE_P(Vectors, GoldenTest, ::testing::ValuesIn(vectorNames()),
                         [](const auto& vector) {
                           std::string name = vector.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
}  // namespace tovlek::testkit
