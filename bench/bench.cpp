// Benchmark: generated maps of several sizes through the three phases, each
// run in a child process so that its peak memory is its own. Prints one
// table; not part of the test suite.
//
//   bench WORKDIR PROFILE SIZE...
#include <sys/resource.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "driver/pipeline.h"
#include "store/road_store.h"

namespace {

using namespace tovlek;

enum class Sweep { kFast, kPlain };

struct Figures {
  double readSeconds = 0, joinSeconds = 0, writeSeconds = 0;
  int64_t roads = 0, vertices = 0;
  uint64_t outputHash = 0;
  long peakKilobytes = 0;
  bool ok = false;
};

uint64_t hashBytes(uint64_t hash, const char* data, size_t size) {
  for (size_t i = 0; i < size; ++i)
    hash = (hash ^ static_cast<unsigned char>(data[i])) * 1099511628211ull;
  return hash;
}

uint64_t hashFile(const std::string& path, uint64_t hash) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> block(1 << 20);
  while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0) {
    hash = hashBytes(hash, block.data(), static_cast<size_t>(in.gcount()));
  }
  return hash;
}

// The phases as the tool runs them, timed; runs in the child.
Figures runPhases(const std::string& mapPath, const std::string& outPath, Sweep sweep,
                  int32_t minDistance) {
  Figures figures;
  std::FILE* input = std::fopen(mapPath.c_str(), "r");
  std::FILE* output = std::fopen(outPath.c_str(), "w");
  char* consoleText = nullptr;
  size_t consoleSize = 0;
  std::FILE* console = open_memstream(&consoleText, &consoleSize);
  if (input == nullptr || output == nullptr || console == nullptr) return figures;

  driver::RunStreams streams;
  streams.input = input;
  streams.output = output;
  streams.console = console;
  streams.warnings = console;
  const driver::RunOutcome outcome =
      driver::runPhases({minDistance, sweep == Sweep::kPlain}, streams, [&](const store::Map& map) {
        for (size_t p = 0; p < store::roadCount(map); ++p)
          figures.vertices += store::roadAt(map, p).readVertexCount;
      });
  std::fclose(input);
  figures.ok = outcome.failure == driver::RunOutcome::Failure::kNone && std::fclose(output) == 0;
  figures.roads = outcome.roads;
  figures.readSeconds = outcome.readSeconds;
  figures.joinSeconds = outcome.joinSeconds;
  figures.writeSeconds = outcome.writeSeconds;
  std::fclose(console);
  figures.outputHash =
      hashFile(outPath, hashBytes(1469598103934665603ull, consoleText, consoleSize));
  std::free(consoleText);
  return figures;
}

// Runs the phases in a child process and collects its figures and peak memory.
Figures measure(const std::string& mapPath, const std::string& outPath, Sweep sweep,
                int32_t minDistance) {
  int channel[2];
  if (pipe(channel) != 0) return {};
  const pid_t child = fork();
  if (child == 0) {
    close(channel[0]);
    const Figures figures = runPhases(mapPath, outPath, sweep, minDistance);
    const ssize_t written = write(channel[1], &figures, sizeof figures);
    _exit(written == static_cast<ssize_t>(sizeof figures) ? 0 : 1);
  }
  close(channel[1]);
  Figures figures;
  const ssize_t got = read(channel[0], &figures, sizeof figures);
  close(channel[0]);
  int status = 0;
  struct rusage usage {};
  wait4(child, &status, 0, &usage);
  if (got != static_cast<ssize_t>(sizeof figures)) return {};
  figures.peakKilobytes = usage.ru_maxrss;
  return figures;
}

long fileSize(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  return in ? static_cast<long>(in.tellg()) : -1;
}

void printMachine() {
  struct utsname name {};
  uname(&name);
  std::string cpu = "unknown cpu";
  std::ifstream info("/proc/cpuinfo");
  for (std::string line; std::getline(info, line);) {
    if (line.rfind("model name", 0) == 0) {
      cpu = line.substr(line.find(':') + 2);
      break;
    }
  }
  std::printf("machine: %s, %u cores, %s %s\n", cpu.c_str(), std::thread::hardware_concurrency(),
              name.sysname, name.release);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: bench WORKDIR PROFILE SIZE...\n");
    return 2;
  }
  const std::string workdir = argv[1];
  const std::string profile = argv[2];
  printMachine();
  std::printf("%-7s %9s %10s %8s %7s %7s %7s %7s %9s %6s %9s %9s %9s\n", "profile", "roads",
              "vertices", "inputMB", "read", "join", "write", "total", "peakMB", "peak/in",
              "no-pairs", "plainJoin", "identical");
  for (int i = 3; i < argc; ++i) {
    const long roads = std::atol(argv[i]);
    const std::string map = workdir + "/" + profile + "-" + argv[i] + ".mp";
    if (fileSize(map) < 0) {
      const std::string command =
          std::string(TOVLEK_MAPGEN) + " 1 " + argv[i] + " " + profile + " > " + map;
      if (std::system(command.c_str()) != 0) return 1;
    }
    const double inputMegabytes = static_cast<double>(fileSize(map)) / 1e6;
    const Figures fast = measure(map, workdir + "/out-fast.mp", Sweep::kFast, 10);
    const Figures noPairs = measure(map, workdir + "/out-nopairs.mp", Sweep::kFast, INT32_MIN);
    std::string plainJoin = "-", identical = "-";
    if (roads <= 50000) {
      const Figures plain = measure(map, workdir + "/out-plain.mp", Sweep::kPlain, 10);
      char text[32];
      std::snprintf(text, sizeof text, "%.2f", plain.joinSeconds);
      plainJoin = text;
      identical = plain.ok && fast.ok && plain.outputHash == fast.outputHash ? "yes" : "NO";
    }
    const double total = fast.readSeconds + fast.joinSeconds + fast.writeSeconds;
    const double noPairsTotal = noPairs.readSeconds + noPairs.joinSeconds + noPairs.writeSeconds;
    const double peakMegabytes = static_cast<double>(fast.peakKilobytes) / 1024.0;
    std::printf("%-7s %9" PRId64 " %10" PRId64
                " %8.1f %7.2f %7.2f %7.2f %7.2f %9.1f %6.2f %9.2f %9s %9s\n",
                profile.c_str(), fast.roads, fast.vertices, inputMegabytes, fast.readSeconds,
                fast.joinSeconds, fast.writeSeconds, total, peakMegabytes,
                peakMegabytes * 1.048576 / inputMegabytes, noPairsTotal, plainJoin.c_str(),
                identical.c_str());
    std::fflush(stdout);
  }
  return 0;
}
