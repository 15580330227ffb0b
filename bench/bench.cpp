// Benchmark: generated maps of several sizes through the three phases, each
// run in a child process so that its peak memory is its own. Prints one
// table; not part of the test suite.
//
//   bench [--threads N] [--report] [--keep-layout] [--close-gaps] WORKDIR PROFILE SIZE...
//
// Threads default to the machine's count, as in the tool. With --report,
// every map is also run with a GeoJSON change report, and the table gives
// that run's time over the plain run's; with --keep-layout, also in the
// kept layout, with its time over the plain run's, its phases and its peak
// memory over the input's size; with --close-gaps, also closing gaps (in
// rounds), with its time and peak memory over the plain run's.
#include <sys/resource.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

struct BenchRun {
  Sweep sweep = Sweep::kFast;
  int32_t minDistance = 10;
  int threads = 1;
  bool report = false;
  bool keepLayout = false;
  bool closeGaps = false;
};

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

// The console is hashed as it is written, not kept: at a million roads its
// progress lines would add megabytes to the child's peak that the tool, which
// prints them, does not have.
ssize_t hashConsole(void* cookie, const char* data, size_t size) {
  uint64_t& hash = *static_cast<uint64_t*>(cookie);
  hash = hashBytes(hash, data, size);
  return static_cast<ssize_t>(size);
}

// The phases as the tool runs them, timed; runs in the child.
Figures runPhases(const std::string& mapPath, const std::string& outPath, const BenchRun& run) {
  Figures figures;
  std::FILE* input = std::fopen(mapPath.c_str(), "r");
  std::FILE* output = std::fopen(outPath.c_str(), "w");
  std::FILE* report = run.report ? std::fopen((outPath + ".geojson").c_str(), "w") : nullptr;
  uint64_t consoleHash = 1469598103934665603ull;
  std::FILE* console = fopencookie(&consoleHash, "w", {nullptr, hashConsole, nullptr, nullptr});
  if (input == nullptr || output == nullptr || console == nullptr) return figures;
  if (run.report && report == nullptr) return figures;

  driver::RunStreams streams;
  streams.input = input;
  streams.output = output;
  streams.console = console;
  streams.warnings = console;
  streams.report = report;
  driver::Settings settings;
  settings.MinDistance = run.minDistance;
  settings.plainSweep = run.sweep == Sweep::kPlain;
  settings.threads = run.threads;
  settings.keepLayout = run.keepLayout;
  settings.closeGaps = run.closeGaps;
  const driver::RunOutcome outcome =
      driver::runPhases(settings, streams, [&](const store::Map& map) {
        for (size_t p = 0; p < store::roadCount(map); ++p)
          figures.vertices += store::roadAt(map, p).readVertexCount;
      });
  std::fclose(input);
  if (report != nullptr) std::fclose(report);
  figures.ok = outcome.failure == driver::RunOutcome::Failure::kNone && std::fclose(output) == 0;
  figures.roads = outcome.roads;
  figures.readSeconds = outcome.readSeconds;
  figures.joinSeconds = outcome.joinSeconds;
  figures.writeSeconds = outcome.writeSeconds;
  std::fclose(console);
  figures.outputHash = hashFile(outPath, consoleHash);
  return figures;
}

// Runs the phases in a child process and collects its figures and peak memory.
Figures measure(const std::string& mapPath, const std::string& outPath, const BenchRun& run) {
  int channel[2];
  if (pipe(channel) != 0) return {};
  const pid_t child = fork();
  if (child == 0) {
    close(channel[0]);
    const Figures figures = runPhases(mapPath, outPath, run);
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

double totalSeconds(const Figures& figures) {
  return figures.readSeconds + figures.joinSeconds + figures.writeSeconds;
}

std::string formatted(const char* format, double value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

int main(int argc, char** argv) {
  int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  bool withReport = false, withKeptLayout = false, withClosedGaps = false;
  int first = 1;
  for (; first < argc && argv[first][0] == '-'; ++first) {
    const std::string option = argv[first];
    if (option == "--threads" && first + 1 < argc) {
      threads = std::max(1, std::atoi(argv[++first]));
    } else if (option == "--report") {
      withReport = true;
    } else if (option == "--keep-layout") {
      withKeptLayout = true;
    } else if (option == "--close-gaps") {
      withClosedGaps = true;
    } else {
      break;
    }
  }
  if (argc - first < 3) {
    std::fprintf(stderr,
                 "usage: bench [--threads N] [--report] [--keep-layout] [--close-gaps] WORKDIR "
                 "PROFILE SIZE...\n");
    return 2;
  }
  const std::string workdir = argv[first];
  const std::string profile = argv[first + 1];
  printMachine();
  std::printf("threads: %d (1-thread: the same run with one thread)\n", threads);
  std::printf("%-7s %8s %9s %7s %6s %6s %6s %6s %7s %7s %8s %7s %8s %7s %9s %9s\n", "profile",
              "roads", "vertices", "inputMB", "read", "join", "write", "total", "peakMB", "peak/in",
              "no-pairs", "full/np", "1-thread", "report", "plainJoin", "identical");
  for (int i = first + 2; i < argc; ++i) {
    const long roads = std::atol(argv[i]);
    const std::string map = workdir + "/" + profile + "-" + argv[i] + ".mp";
    if (fileSize(map) < 0) {
      const std::string command =
          std::string(TOVLEK_MAPGEN) + " 1 " + argv[i] + " " + profile + " > " + map;
      // A failed generation leaves the redirected file behind, empty or cut
      // short; removed, so that the next run does not measure it as a map.
      if (std::system(command.c_str()) != 0) {
        std::remove(map.c_str());
        return 1;
      }
    }
    const double inputMegabytes = static_cast<double>(fileSize(map)) / 1e6;
    const Figures fast = measure(map, workdir + "/out-fast.mp", {Sweep::kFast, 10, threads});
    const Figures noPairs =
        measure(map, workdir + "/out-nopairs.mp", {Sweep::kFast, INT32_MIN, threads});
    const Figures single = measure(map, workdir + "/out-single.mp", {Sweep::kFast, 10, 1});
    bool identical = fast.ok && single.ok && single.outputHash == fast.outputHash;
    std::string plainJoin = "-", reportRatio = "-";
    if (roads <= 50000) {
      const Figures plain = measure(map, workdir + "/out-plain.mp", {Sweep::kPlain, 10, 1});
      plainJoin = formatted("%.2f", plain.joinSeconds);
      identical = identical && plain.ok && plain.outputHash == fast.outputHash;
    }
    if (withReport) {
      const Figures report =
          measure(map, workdir + "/out-report.mp", {Sweep::kFast, 10, threads, true});
      reportRatio = formatted("%.2fx", totalSeconds(report) / totalSeconds(fast));
    }
    const double total = totalSeconds(fast);
    if (withClosedGaps) {
      const Figures closed =
          measure(map, workdir + "/out-gaps.mp", {Sweep::kFast, 10, threads, false, false, true});
      std::printf(
          "closing gaps: %.2f s (join %.2f), %.2fx; peak %.1f MB, %.2fx\n", totalSeconds(closed),
          closed.joinSeconds, totalSeconds(closed) / total,
          static_cast<double>(closed.peakKilobytes) / 1024.0,
          static_cast<double>(closed.peakKilobytes) / static_cast<double>(fast.peakKilobytes));
    }
    if (withKeptLayout) {
      const Figures kept =
          measure(map, workdir + "/out-kept.mp", {Sweep::kFast, 10, threads, false, true});
      std::printf(
          "kept layout: %.2f s (read %.2f join %.2f write %.2f), %.2fx; peak %.1f MB, "
          "%.2f x the input\n",
          totalSeconds(kept), kept.readSeconds, kept.joinSeconds, kept.writeSeconds,
          totalSeconds(kept) / total, static_cast<double>(kept.peakKilobytes) / 1024.0,
          static_cast<double>(kept.peakKilobytes) * 1024.0 / 1e6 / inputMegabytes);
    }
    const double peakMegabytes = static_cast<double>(fast.peakKilobytes) / 1024.0;
    std::printf("%-7s %8" PRId64 " %9" PRId64
                " %7.1f %6.2f %6.2f %6.2f %6.2f %7.1f %7.2f %8.2f %7.2f %8.2f %7s %9s %9s\n",
                profile.c_str(), fast.roads, fast.vertices, inputMegabytes, fast.readSeconds,
                fast.joinSeconds, fast.writeSeconds, total, peakMegabytes,
                peakMegabytes * 1.048576 / inputMegabytes, totalSeconds(noPairs),
                total / totalSeconds(noPairs), totalSeconds(single), reportRatio.c_str(),
                plainJoin.c_str(), identical ? "yes" : "NO");
    std::fflush(stdout);
  }
  return 0;
}
