// Golden end-to-end runs: every map in data/vectors with its arguments,
// compared byte for byte with the expected output file, console, warnings
// and exit status. Arguments name ../map.mp and out.mp, run from run/.
// With TOVLEK_UPDATE_GOLDEN=1 the expected files are rewritten instead, so
// that an intended change shows as a diff to review.
#include <gtest/gtest.h>

#include <cstdlib>
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

// Banner lines 2 and 3 are free text; the expected files hold "ref" there.
std::string withFreeLinesAsRef(const std::string& text) {
  std::istringstream in(text);
  std::string line, kept;
  for (int number = 1; std::getline(in, line); ++number) {
    kept += (number == 2 || number == 3 ? "ref\r" : line) + (in.eof() ? "" : "\n");
  }
  return kept;
}

bool updating() {
  const char* update = std::getenv("TOVLEK_UPDATE_GOLDEN");
  return update != nullptr && std::string(update) == "1";
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
  const std::string status = std::to_string(result.status) + "\n";
  const std::string map = readFile(dir.file("run/out.mp"));
  if (updating()) {
    writeFile(base + ".status", status);
    writeFile(base + ".stdout", withFreeLinesAsRef(result.out));
    writeFile(base + ".stderr", result.err);
    writeFile(base + ".expected.mp", map);
    return;
  }
  EXPECT_EQ(status, readFile(base + ".status"));
  EXPECT_EQ(withFreeLinesAsRef(result.out), withFreeLinesAsRef(readFile(base + ".stdout")));
  EXPECT_EQ(result.err, readFile(base + ".stderr"));
  EXPECT_TRUE(map == readFile(base + ".expected.mp")) << "output map differs";
}

INSTANTIATE_TEST_SUITE_P(Vectors, GoldenTest, ::testing::ValuesIn(vectorNames()),
                         [](const auto& vector) {
                           std::string name = vector.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
}  // namespace tovlek::testkit
