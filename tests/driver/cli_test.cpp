// The command line, the console lines, the exit status and the output file,
// on the built binary.
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

// Standard output without the banner.
std::string afterBanner(const std::string& out) {
  const size_t end = out.find("\r\n\n");
  return end == std::string::npos ? out : out.substr(end + 3);
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override { writeFile(dir.file("map.mp"), kMap); }
  RunResult run(const std::vector<std::string>& arguments, const std::string& prefix = "") {
    return runTovlek(dir.path, arguments, prefix);
  }
  ScratchDir dir;
};

TEST_F(CliTest, SuccessfulRunPrintsEveryPhase) {
  const RunResult result = run({"-i", "map.mp", "-o", "out.mp"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out.substr(0, 24), "Tovlek - Vorneskap 0.1\r\n");
  EXPECT_EQ(afterBanner(result.out),
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

// Options by substring, in any order, the last one winning; what no option
// used is named on standard error.
TEST_F(CliTest, CommandLines) {
  const struct {
    std::vector<std::string> arguments;
    int status;
    std::string out;  // the start of standard output after the banner
    std::string err;
  } cases[] = {
      {{}, 2, "Input file is not set!\r\n", ""},
      {{"-o", "out.mp"}, 2, "Input file is not set!\r\n", ""},
      {{"-i", "nothing-here.mp"}, 2, "Output file is not set!\r\n", ""},
      {{"-i", "map.mp", "-o"},
       2,
       "Output file is not set!\r\n",
       "Warning: argument '-o' ignored\n"},
      {{"-m", "2147483648", "-o", "b.mp"}, 2, "Invalid minimum distance 2147483648!\r\n", ""},
      {{"-o", "b.mp", "x-i", "map.mp", "-m", "0x14"}, 0, "Parsing map.mp...\r\nFound 2 roads", ""},
      {{"-m", "010", "-i", "map.mp", "-o", "b.mp"}, 0, "", ""},
      {{"-m", "-2147483648", "-i", "nothing.mp", "-i", "map.mp", "-o", "b.mp"}, 0, "", ""},
      {{"foo", "-i", "map.mp", "--Report", "x", "-o", "b.mp"},
       0,
       "",
       "Warning: argument 'foo' ignored\nWarning: argument '--Report' ignored\n"
       "Warning: argument 'x' ignored\n"},
      {{"-m", "5", "-m", "abc", "-i", "map.mp", "-o", "b.mp", "-m"},
       0,
       "",
       "Warning: -m value 'abc' is not a number; distance stays 5\n"
       "Warning: argument '-m' ignored\n"},
      // The value of -m is also taken as -i, as it always was.
      {{"-m", "-i", "map.mp", "-o", "b.mp"},
       0,
       "",
       "Warning: -m value '-i' is not a number; distance stays 10\n"},
      // A thread count is a whole number from 1 to 256, and -i in its value is no -i.
      {{"--threads", "-i4", "-i", "map.mp", "-o", "b.mp"},
       2,
       "Invalid thread count -i4! Give a number from 1 to 256.\r\n",
       ""},
      {{"-i", "map.mp", "-o", "b.mp", "--threads", "257"},
       2,
       "Invalid thread count 257! Give a number from 1 to 256.\r\n",
       ""},
      {{"--threads", "3", "-i", "map.mp", "-o", "b.mp", "--threads"},
       0,
       "",
       "Warning: argument '--threads' ignored\n"},
  };
  const int32_t distances[] = {0, 0, 0, 0, 0, 20, 8, -2147483648, 10, 5, 10, 0, 0, 10};
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    const RunResult result = run(c.arguments);
    const std::string name = testing::PrintToString(c.arguments);
    EXPECT_EQ(result.status, c.status) << name;
    EXPECT_EQ(afterBanner(result.out).substr(0, c.out.size()), c.out) << name;
    EXPECT_EQ(result.err, c.err) << name;
    if (c.status == 0) {
      EXPECT_NE(result.out.find("Minimum distance set to " + std::to_string(distances[i]) + "."),
                std::string::npos)
          << name;
    }
  }
  EXPECT_FALSE(fileExists(dir.file("out.mp")));
}

// A failed run prints its error line and the system's reason, ends with 1
// and leaves every file as it was.
TEST_F(CliTest, FileErrors) {
  mkdir(dir.file("folder").c_str(), 0755);
  std::string big;
  for (int i = 0; i < 20000; ++i) big += "; line of a large map, long enough to pass the limit\n";
  writeFile(dir.file("big.mp"), big);
  writeFile(dir.file("out.mp"), "old content\n");
  const struct {
    std::vector<std::string> arguments;
    std::string prefix;
    std::string errorLine, reason;
  } cases[] = {
      {{"-i", "missing.mp", "-o", "out.mp"},
       "",
       "Error opening input file missing.mp!\n",
       "tovlek: missing.mp: No such file or directory\n"},
      {{"-i", "folder", "-o", "out.mp"},
       "",
       "Error opening input file folder!\n",
       "tovlek: folder: Is a directory\n"},
      // Opens, but every read fails.
      {{"-i", "/proc/self/mem", "-o", "out.mp"},
       "",
       "Error reading input file /proc/self/mem!\n",
       "tovlek: /proc/self/mem: Input/output error\n"},
      {{"-i", "map.mp", "-o", "no-dir/out.mp"},
       "",
       "Error opening output file no-dir/out.mp!\n",
       "tovlek: no-dir/out.mp: No such file or directory\n"},
      {{"-i", "map.mp", "-o", "folder"},
       "",
       "Error opening output file folder!\n",
       "tovlek: folder: Is a directory\n"},
      {{"-i", "map.mp", "-o", "/dev/full"},
       "",
       "Error writing output file /dev/full!\n",
       "tovlek: /dev/full: No space left on device\n"},
      // A file-size limit hit mid-write.
      {{"-i", "big.mp", "-o", "out.mp"},
       "ulimit -f 64",
       "Error writing output file out.mp!\n",
       "tovlek: out.mp: File too large\n"},
  };
  for (const auto& c : cases) {
    const RunResult result = run(c.arguments, c.prefix);
    EXPECT_EQ(result.status, 1) << c.errorLine;
    EXPECT_NE(result.out.find(c.errorLine), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find("Done!"), std::string::npos) << c.errorLine;
    EXPECT_EQ(result.err, c.reason);
  }
  EXPECT_EQ(readFile(dir.file("out.mp")), "old content\n");
  EXPECT_EQ(listDirectory(dir.path),
            (std::vector<std::string>{"big.mp", "folder", "map.mp", "out.mp"}));
}

// The output replaces the file named, in place if it is the input, through
// a symbolic link, keeping permission bits; a device is written directly.
TEST_F(CliTest, OutputReplacesTheFileNamed) {
  EXPECT_EQ(run({"-i", "map.mp", "-o", "map.mp"}).status, 0);
  EXPECT_NE(readFile(dir.file("map.mp")).find("(0.00050,0.00000)"), std::string::npos);
  EXPECT_EQ(listDirectory(dir.path), (std::vector<std::string>{"map.mp"}));

  mkdir(dir.file("real").c_str(), 0755);
  writeFile(dir.file("real/target.mp"), "old\n");
  chmod(dir.file("real/target.mp").c_str(), 0640);
  ASSERT_EQ(symlink("real/target.mp", dir.file("link.mp").c_str()), 0);
  EXPECT_EQ(run({"-i", "map.mp", "-o", "link.mp"}).status, 0);
  struct stat info;
  ASSERT_EQ(lstat(dir.file("link.mp").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_NE(readFile(dir.file("real/target.mp")).find("[POLYLINE]"), std::string::npos);
  ASSERT_EQ(stat(dir.file("real/target.mp").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);

  EXPECT_EQ(run({"-i", "map.mp", "-o", "new.mp"}, "umask 027").status, 0);
  ASSERT_EQ(stat(dir.file("new.mp").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);

  EXPECT_NE(run({"-i", "map.mp", "-o", "/dev/null"}).out.find("Done!\r\n"), std::string::npos);
}

// --check writes no map: its status says whether the join would change
// one (3) or not (0), and the summary how.
TEST_F(CliTest, CheckTellsWhetherAMapIsJoined) {
  ASSERT_EQ(run({"-i", "map.mp", "-o", "joined.mp"}).status, 0);
  const struct {
    std::vector<std::string> arguments;
    int status;
    std::string err;  // its start
  } cases[] = {
      {{"--check", "-i", "map.mp"},
       3,
       "Summary: welds 1, road ends moved 0, vertices inserted 2, "
       "roads changed 2, gaps closed 0, open ends 4, rounds 1\n"},
      {{"--check", "-i", "joined.mp", "--close-gaps"},
       0,
       "Summary: welds 1, road ends moved 0, "
       "vertices inserted 0, roads changed 0"},
      {{"-i", "map.mp", "--check", "--report", "r.geojson"}, 3, "Summary: welds 1"},
      {{"--check", "-i", "map.mp", "-o", "out.mp"}, 2, ""},
      {{"--check", "-i", "missing.mp"}, 1, "tovlek: missing.mp: No such file or directory\n"},
  };
  for (const auto& c : cases) {
    const RunResult result = run(c.arguments);
    const std::string name = testing::PrintToString(c.arguments);
    EXPECT_EQ(result.status, c.status) << name;
    EXPECT_EQ(result.err.substr(0, c.err.size()), c.err) << name;
    EXPECT_EQ(result.out.find("Writing"), std::string::npos) << name;
  }
  EXPECT_EQ(listDirectory(dir.path),
            (std::vector<std::string>{"joined.mp", "map.mp", "r.geojson"}));
}

TEST_F(CliTest, PairEstimateAndProgressLine) {
  writeFile(dir.file("one.mp"), "[POLYLINE]\nType=0x1\nData0=(1,2)\n[END]\n");
  EXPECT_NE(run({"-i", "one.mp", "-o", "out.mp"}).out.find("Found 1 roads, 0 million pairs.\r\n"),
            std::string::npos);

  std::string map;
  for (int i = 0; i < 5000; ++i) {
    char line[96];
    std::snprintf(line, sizeof line, "[POLYLINE]\nType=0x1\nData0=(%d.%03d,0.0)\n[END]\n", i / 1000,
                  i % 1000);
    map += line;
  }
  writeFile(dir.file("many.mp"), map);
  const RunResult result = run({"-i", "many.mp", "-o", "out.mp"});
  EXPECT_NE(result.out.find("Found 5000 roads, 12 million pairs.\r\n"), std::string::npos);
  EXPECT_NE(result.out.find("\r\nDone 10 million road pairs, 0 splitted\r\nWriting out.mp"),
            std::string::npos);
  EXPECT_EQ(result.out.find("Done 20"), std::string::npos);
}

}  // namespace
}  // namespace tovlek::testkit
