// The command line, the console lines and the exit status, on the built
// binary.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/run_binary.h"

namespace tovlek::testkit {
namespace {

const std::string kMap =
    "; a small map\n"
    "[POLYLINE]\nType=0x6\nData0=(0.00000,0.00000),(0.00100,0.00000)\n[END]\n"
    "[POLYLINE]\nType=0x2\nData0=(0.00050,-0.00050),(0.00050,0.00050)\n[END]\n";

// Standard output without the two free banner lines.
std::string withoutFreeBannerLines(const std::string& out) {
  const size_t first = out.find('\n');
  const size_t third = out.find('\n', out.find('\n', first + 1) + 1);
  if (first == std::string::npos || third == std::string::npos) return out;
  return out.substr(0, first + 1) + out.substr(third + 1);
}

const std::string kBanner = "Tovlek - Vorneskap 0.1\r\n\n";

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override { writeFile(dir.file("map.mp"), kMap); }
  RunResult run(const std::vector<std::string>& arguments, const std::string& prefix = "") {
    return runTovlek(dir.path, arguments, prefix);
  }
  ScratchDir dir;
};

TEST_F(CliTest, MissingOptions) {
  RunResult result = run({});
  EXPECT_EQ(withoutFreeBannerLines(result.out), kBanner + "Input file is not set!\r\n");
  EXPECT_EQ(result.status, 2);

  result = run({"-o", "out.mp"});
  EXPECT_EQ(withoutFreeBannerLines(result.out), kBanner + "Input file is not set!\r\n");
  EXPECT_FALSE(fileExists(dir.file("out.mp")));

  result = run({"-i", "nothing-here.mp"});
  EXPECT_EQ(withoutFreeBannerLines(result.out), kBanner + "Output file is not set!\r\n");
  EXPECT_EQ(result.status, 2);

  result = run({"-i", "map.mp", "-o"});  // an option without its value counts as not given
  EXPECT_EQ(withoutFreeBannerLines(result.out), kBanner + "Output file is not set!\r\n");
  EXPECT_EQ(result.status, 2);
}

TEST_F(CliTest, SuccessfulRunPrintsEveryPhase) {
  const RunResult result = run({"-i", "map.mp", "-o", "out.mp"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(withoutFreeBannerLines(result.out),
            kBanner +
                "Parsing map.mp...\r\nFound 2 roads, 0 million pairs.\r\n"
                "Minimum distance set to 10.\r\n\nWriting out.mp...\r\nDone!\r\n");
  EXPECT_EQ(result.err, "");
  // The roads crossed at (0.0005, 0): both got a shared vertex there.
  EXPECT_EQ(readFile(dir.file("out.mp")),
            "; a small map\n"
            "[POLYLINE]\nType=0x2\nData0=(0.00050,-0.00050),(0.00050,0.00000),(0.00050,0.00050)\n"
            "[END]\n\n"
            "[POLYLINE]\nType=0x6\nData0=(0.00000,0.00000),(0.00050,0.00000),(0.00100,0.00000)\n"
            "[END]\n\n");
}

TEST_F(CliTest, DistanceOption) {
  auto distanceLine = [this](const std::vector<std::string>& arguments) {
    const RunResult result = run(arguments);
    const size_t at = result.out.find("Minimum distance set to ");
    return at == std::string::npos ? result.out
                                   : result.out.substr(at, result.out.find('\r', at) - at);
  };
  EXPECT_EQ(distanceLine({"-m", "abc", "-i", "map.mp", "-o", "b.mp"}),
            "Minimum distance set to 10.");
  EXPECT_EQ(distanceLine({"-m", "0x14", "-i", "map.mp", "-o", "b.mp"}),
            "Minimum distance set to 20.");
  EXPECT_EQ(distanceLine({"-m", "010", "-i", "map.mp", "-o", "b.mp"}),
            "Minimum distance set to 8.");
  EXPECT_EQ(distanceLine({"-m", "-i", "map.mp", "-o", "b.mp"}), "Minimum distance set to 10.");
  EXPECT_EQ(distanceLine({"-m", "-2147483648", "-i", "map.mp", "-o", "b.mp"}),
            "Minimum distance set to -2147483648.");

  const RunResult invalid = run({"-m", "2147483648", "-o", "b.mp"});
  EXPECT_EQ(withoutFreeBannerLines(invalid.out),
            kBanner + "Invalid minimum distance 2147483648!\r\n");
  EXPECT_EQ(invalid.status, 2);
}

TEST_F(CliTest, OptionsInAnyOrderAndTheLastOneWins) {
  writeFile(dir.file("other.mp"), "; other\n");
  const RunResult one = run({"-m", "5", "-i", "map.mp", "-o", "b.mp"});
  const std::string first = readFile(dir.file("b.mp"));
  const RunResult two = run({"-o", "b.mp", "-i", "map.mp", "-m", "5"});
  EXPECT_EQ(one.out, two.out);
  EXPECT_EQ(readFile(dir.file("b.mp")), first);

  const RunResult last = run({"-i", "map.mp", "-i", "other.mp", "-o", "c.mp"});
  EXPECT_EQ(last.status, 0);
  EXPECT_EQ(readFile(dir.file("c.mp")), "; other\n");
}

TEST_F(CliTest, InputThatCannotBeRead) {
  RunResult result = run({"-i", "missing.mp", "-o", "out.mp"});
  EXPECT_EQ(withoutFreeBannerLines(result.out), kBanner + "Error opening input file missing.mp!\n");
  EXPECT_EQ(result.err, "tovlek: missing.mp: No such file or directory\n");
  EXPECT_EQ(result.status, 1);
  EXPECT_FALSE(fileExists(dir.file("out.mp")));

  mkdir(dir.file("folder").c_str(), 0755);
  result = run({"-i", "folder", "-o", "out.mp"});
  EXPECT_EQ(withoutFreeBannerLines(result.out), kBanner + "Error opening input file folder!\n");
  EXPECT_EQ(result.err, "tovlek: folder: Is a directory\n");
  EXPECT_EQ(result.status, 1);
  EXPECT_FALSE(fileExists(dir.file("out.mp")));

  // Opens, but every read fails.
  result = run({"-i", "/proc/self/mem", "-o", "out.mp"});
  EXPECT_NE(result.out.find("Error reading input file /proc/self/mem!\n"), std::string::npos);
  EXPECT_EQ(result.err, "tovlek: /proc/self/mem: Input/output error\n");
  EXPECT_EQ(result.status, 1);
  EXPECT_FALSE(fileExists(dir.file("out.mp")));
}

// Arguments that no option used, and -m values that are not numbers, are
// named on standard error; the run itself goes on as before.
TEST_F(CliTest, IgnoredArgumentsAreNamed) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"-i", "map.mp", "-o", "b.mp"}, ""},
      {{"foo", "-i", "map.mp", "--Report", "x", "-o", "b.mp"},
       "Warning: argument 'foo' ignored\nWarning: argument '--Report' ignored\n"
       "Warning: argument 'x' ignored\n"},
      {{"-m", "abc", "-i", "map.mp", "-o", "b.mp"},
       "Warning: -m value 'abc' is not a number; distance stays 10\n"},
      {{"-m", "5", "-m", "x", "-i", "map.mp", "-o", "b.mp", "-m"},
       "Warning: -m value 'x' is not a number; distance stays 5\n"
       "Warning: argument '-m' ignored\n"},
      // The value of -m is also taken as -i, as it always was.
      {{"-m", "-i", "map.mp", "-o", "b.mp"},
       "Warning: -m value '-i' is not a number; distance stays 10\n"},
  };
  for (const auto& [arguments, warnings] : cases) {
    const RunResult result = run(arguments);
    EXPECT_EQ(result.err, warnings);
    EXPECT_EQ(result.status, 0);
  }
}

TEST_F(CliTest, OutputThatCannotBeCreated) {
  RunResult result = run({"-i", "map.mp", "-o", "no-such-dir/out.mp"});
  EXPECT_EQ(withoutFreeBannerLines(result.out),
            kBanner + "Error opening output file no-such-dir/out.mp!\n");
  EXPECT_EQ(result.err, "tovlek: no-such-dir/out.mp: No such file or directory\n");
  EXPECT_EQ(result.status, 1);

  mkdir(dir.file("folder").c_str(), 0755);
  result = run({"-i", "map.mp", "-o", "folder"});
  EXPECT_EQ(withoutFreeBannerLines(result.out), kBanner + "Error opening output file folder!\n");
  EXPECT_EQ(result.status, 1);
}

TEST_F(CliTest, WriteErrorsLeaveTheOutputAsItWas) {
  RunResult result = run({"-i", "map.mp", "-o", "/dev/full"});
  EXPECT_NE(result.out.find("Error writing output file /dev/full!\n"), std::string::npos);
  EXPECT_EQ(result.err, "tovlek: /dev/full: No space left on device\n");
  EXPECT_EQ(result.out.find("Done!"), std::string::npos);
  EXPECT_EQ(result.status, 1);

  // A file-size limit hit mid-write: the old output stays, no temporary file.
  std::string big;
  for (int i = 0; i < 20000; ++i) big += "; line of a large map, long enough to pass the limit\n";
  writeFile(dir.file("big.mp"), big);
  writeFile(dir.file("out.mp"), "old content\n");
  result = run({"-i", "big.mp", "-o", "out.mp"}, "ulimit -f 64");
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find("Error writing output file out.mp!\n"), std::string::npos);
  EXPECT_EQ(result.err, "tovlek: out.mp: File too large\n");
  EXPECT_EQ(readFile(dir.file("out.mp")), "old content\n");
  EXPECT_EQ(listDirectory(dir.path), (std::vector<std::string>{"big.mp", "map.mp", "out.mp"}));
}

TEST_F(CliTest, InPlaceRunReplacesTheMap) {
  const RunResult result = run({"-i", "map.mp", "-o", "map.mp"});
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(readFile(dir.file("map.mp")).find("(0.00050,0.00000)"), std::string::npos);
  EXPECT_EQ(listDirectory(dir.path), (std::vector<std::string>{"map.mp"}));
}

TEST_F(CliTest, SymbolicLinkIsWrittenThrough) {
  mkdir(dir.file("real").c_str(), 0755);
  writeFile(dir.file("real/target.mp"), "old\n");
  ASSERT_EQ(symlink("real/target.mp", dir.file("link.mp").c_str()), 0);
  EXPECT_EQ(run({"-i", "map.mp", "-o", "link.mp"}).status, 0);
  struct stat info;
  ASSERT_EQ(lstat(dir.file("link.mp").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_NE(readFile(dir.file("real/target.mp")).find("Type=0x6"), std::string::npos);
}

TEST_F(CliTest, PermissionsAreKeptOrDefault) {
  writeFile(dir.file("out.mp"), "old\n");
  chmod(dir.file("out.mp").c_str(), 0640);
  EXPECT_EQ(run({"-i", "map.mp", "-o", "out.mp"}).status, 0);
  struct stat info;
  ASSERT_EQ(stat(dir.file("out.mp").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);

  EXPECT_EQ(run({"-i", "map.mp", "-o", "new.mp"}, "umask 027").status, 0);
  ASSERT_EQ(stat(dir.file("new.mp").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(CliTest, DeviceOutputIsWrittenDirectly) {
  const RunResult result = run({"-i", "map.mp", "-o", "/dev/null"});
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.out.find("Done!\r\n"), std::string::npos);
}

TEST_F(CliTest, ProgressLineForManyRoads) {
  std::string map;
  for (int i = 0; i < 5000; ++i) {
    char line[96];
    std::snprintf(line, sizeof line, "[POLYLINE]\nType=0x1\nData0=(%d.%03d,0.0)\n[END]\n", i / 1000,
                  i % 1000);
    map += line;
  }
  writeFile(dir.file("many.mp"), map);
  const RunResult result = run({"-i", "many.mp", "-o", "out.mp"});
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.out.find("Found 5000 roads, 12 million pairs.\r\n"), std::string::npos);
  EXPECT_NE(result.out.find("\r\nDone 10 million road pairs, 0 splitted\r\nWriting out.mp"),
            std::string::npos);
  EXPECT_EQ(result.out.find("Done 20"), std::string::npos);
}

TEST_F(CliTest, EstimateForOneRoadIsNotNegative) {
  writeFile(dir.file("one.mp"), "[POLYLINE]\nType=0x1\nData0=(1,2)\n[END]\n");
  const RunResult result = run({"-i", "one.mp", "-o", "out.mp"});
  EXPECT_NE(result.out.find("Found 1 roads, 0 million pairs.\r\n"), std::string::npos);
}

}  // namespace
}  // namespace tovlek::testkit
