// Hostile input and failing machines, end to end on the binary: no crash, no
// hang, memory in proportion to the input, outputs as the rules say, and a
// failed or interrupted run leaves the old output as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/run_binary.h"

namespace tovlek::testkit {
namespace {

const std::string kSmallMap =
    "[POLYLINE]\nType=0x6\nData0=(0.00000,0.00000),(0.00100,0.00000)\n[END]\n"
    "[POLYLINE]\nType=0x2\nData0=(0.00050,-0.00050),(0.00050,0.00050)\n[END]\n";

#ifdef TOVLEK_SANITIZED
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

class HostileTest : public ::testing::Test {
 protected:
  // Runs on map.mp with at most `megabytes` of address space (no limit for
  // a sanitized binary, whose shadow memory no limit would allow).
  RunResult runOn(const std::string& map, int megabytes = 1024) {
    writeFile(dir.file("map.mp"), map);
    return runTovlek(dir.path, {"-i", "map.mp", "-o", "out.mp"},
                     kSanitized ? "" : "ulimit -v " + std::to_string(megabytes * 1024));
  }
  std::string output() { return readFile(dir.file("out.mp")); }
  ScratchDir dir;
};

TEST_F(HostileTest, HugeLinesAreReadWholeInBoundedMemory) {
  // One line of 100 MB, outside any section.
  const std::string line = "; " + std::string(100 << 20, 'x') + "\n";
  EXPECT_EQ(runOn(line, 1200).status, 0);
  EXPECT_TRUE(output() == line);

  // A coordinate line of 1,000,000 pairs.
  std::string data = "[POLYLINE]\nType=0x6\nData0=";
  for (int i = 0; i < 1000000; ++i) {
    if (i > 0) data += ',';
    data += "(0." + std::to_string(10000 + i % 50000) + ",1.00000)";
  }
  data += "\n[END]\n";
  const RunResult result = runOn(data, 1200);
  EXPECT_EQ(result.status, 0);
  const std::string out = output();
  EXPECT_EQ(std::count(out.begin(), out.end(), '('), 1000000);
}

TEST_F(HostileTest, SectionsWithoutEndMarkers) {
  std::string map;
  for (int i = 0; i < 1000000; ++i) map += "[POLYLINE]\n";
  EXPECT_EQ(runOn(map, 1200).status, 0);
  // The first header opens a section that takes every other line.
  const std::string out = output();
  EXPECT_EQ(out.substr(0, 38), "[POLYLINE]\nType=0xFFFFFFFF\nData0=\n[POL");
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1000000 + 4);
}

TEST_F(HostileTest, MemoryExhaustedLeavesTheOutputAlone) {
  if (kSanitized) GTEST_SKIP() << "a sanitized binary cannot run under a memory limit";
  std::string map;
  for (int i = 0; i < 300000; ++i)
    map += "[POLYLINE]\nType=0x6\nData0=(0.1,0.1),(0.2,0.2)\n[END]\n";
  writeFile(dir.file("out.mp"), "old\n");
  const RunResult result = runOn(map, 40);
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find("Out of memory!\n"), std::string::npos);
  EXPECT_EQ(output(), "old\n");
  EXPECT_EQ(listDirectory(dir.path), (std::vector<std::string>{"map.mp", "out.mp"}));
}

// Starts the tool on a FIFO that never ends, stops it with the signal once it
// is reading (its temporary files, one per output, are there), and reports
// the exit status.
int interruptWhileReading(const ScratchDir& dir, const char* signalName,
                          const std::string& extraArguments = "", int outputs = 1) {
  writeFile(dir.file("out.mp"), "old\n");
  const std::string script = "mkfifo in.fifo && { " + std::string(TOVLEK_BINARY) +
                             " -i in.fifo -o out.mp " + extraArguments +
                             " >/dev/null 2>&1 & pid=$!; exec 3>in.fifo; "
                             "printf '; start\\n[POLYLINE]\\nType=0x6\\n' >&3; "
                             "until [ $(ls -a | grep -c tovlek-) -ge " +
                             std::to_string(outputs) + " ]; do sleep 0.01; done; kill -" +
                             signalName +
                             " $pid; wait $pid; echo $? > status; exec 3>&-; rm in.fifo; }";
  runShell(dir.path, script);
  return std::stoi(readFile(dir.file("status")));
}

TEST_F(HostileTest, InterruptionRemovesTheTemporaryFile) {
  EXPECT_EQ(interruptWhileReading(dir, "TERM"), 143);
  EXPECT_EQ(output(), "old\n");
  EXPECT_EQ(listDirectory(dir.path), (std::vector<std::string>{"out.mp", "status"}));
  EXPECT_EQ(interruptWhileReading(dir, "INT"), 130);
  EXPECT_EQ(output(), "old\n");
  EXPECT_EQ(listDirectory(dir.path), (std::vector<std::string>{"out.mp", "status"}));
  // With a report too, both temporary files go.
  EXPECT_EQ(interruptWhileReading(dir, "TERM", "--report r.geojson", 2), 143);
  EXPECT_EQ(listDirectory(dir.path), (std::vector<std::string>{"out.mp", "status"}));
}

// The map into pipes: /dev/stdout when it is one, and a FIFO whose reader
// goes away early, which is a write error like any other.
TEST_F(HostileTest, PipesAndReadersThatGoAway) {
  writeFile(dir.file("map.mp"), kSmallMap);
  const std::string tool = TOVLEK_BINARY;
  RunResult result = runShell(
      dir.path,
      "{ " + tool + " -i map.mp -o /dev/stdout --threads 3; echo $? >status; } | cat >piped");
  EXPECT_EQ(readFile(dir.file("status")), "0\n");
  EXPECT_NE(readFile(dir.file("piped")).find("[POLYLINE]\nType=0x6\n"), std::string::npos);

  std::string big;
  for (int i = 0; i < 100000; ++i) big += "; a comment line of a map long enough to fill a pipe\n";
  writeFile(dir.file("map.mp"), big + kSmallMap);
  result = runShell(dir.path, "mkfifo out.fifo && { head -c 1 out.fifo >/dev/null & } && " + tool +
                                  " -i map.mp -o out.fifo --report r.geojson; echo $? >status; "
                                  "wait; rm out.fifo");
  EXPECT_EQ(readFile(dir.file("status")), "1\n");
  EXPECT_NE(result.out.find("Error writing output file out.fifo!\n"), std::string::npos);
  EXPECT_EQ(result.err, "tovlek: out.fifo: Broken pipe\n");
  EXPECT_EQ(listDirectory(dir.path), (std::vector<std::string>{"map.mp", "piped", "status"}));
}

TEST_F(HostileTest, PermissionsStopOnlyOthersThanRoot) {
  if (geteuid() == 0) GTEST_SKIP() << "root is not stopped by permission bits";
  writeFile(dir.file("map.mp"), kSmallMap);
  chmod(dir.file("map.mp").c_str(), 0);
  RunResult result = runTovlek(dir.path, {"-i", "map.mp", "-o", "out.mp"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find("Error opening input file map.mp!\n"), std::string::npos);
  chmod(dir.file("map.mp").c_str(), 0644);
  mkdir(dir.file("locked").c_str(), 0555);
  result = runTovlek(dir.path, {"-i", "map.mp", "-o", "locked/out.mp"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find("Error opening output file locked/out.mp!\n"), std::string::npos);
  EXPECT_EQ(listDirectory(dir.file("locked")), std::vector<std::string>{});

  // A read-only output is refused, not replaced behind its back.
  writeFile(dir.file("readonly.mp"), "old\n");
  chmod(dir.file("readonly.mp").c_str(), 0444);
  result = runTovlek(dir.path, {"-i", "map.mp", "-o", "readonly.mp"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find("Error opening output file readonly.mp!\n"), std::string::npos);
  EXPECT_EQ(readFile(dir.file("readonly.mp")), "old\n");
}

}  // namespace
}  // namespace tovlek::testkit
