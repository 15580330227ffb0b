// The command line and the run driver: option scan, the three phases in
// order, the console lines, both files, and the exit status.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "driver/pipeline.h"

namespace tovlek::driver {

// 3: a check found that the join would change the map.
enum ExitStatus { kSuccess = 0, kFailure = 1, kUsageError = 2, kWouldChange = 3 };

// The most threads a run uses (--threads and the machine's count alike).
constexpr int kMostThreads = 256;

struct Options {
  Settings settings;
  int inputPosition = 0;    // index of the input name in argv; 0 while unset
  int outputPosition = 0;   // index of the output name in argv; 0 while unset
  int reportPosition = 0;   // index of the report file name; 0 while unset
  int threadsPosition = 0;  // index of the --threads value; 0 while unset
  bool help = false;
  bool version = false;
  bool quiet = false;
  bool invalidDistance = false;
  int invalidPosition = 0;  // index of the -m value that does not fit 32 bits
  // The first argument that no option used (0: none), and whether it is an
  // option that wants a value and stands last.
  int unusedPosition = 0;
  bool lacksValue = false;
  // For standard error: -m values that are not numbers, in argument order.
  std::vector<std::string> warnings;
};

// Scans the arguments: the whole-argument options first (--report FILE,
// --threads N, --close-gaps, --keep-layout, --check, -q/--quiet,
// -h/--help, --version), then -m, -i and -o by substring, in that order
// within each pass; sets the distance from a -m value that begins with a
// number. An option with no argument behind it counts as not given. The scan
// ends at a -m value beyond the 32-bit range. Threads default to the
// machine's count; an unusable --threads value leaves settings.threads at 0.
Options scanOptions(int argc, const char* const* argv);

// The whole run; returns the exit status.
int runTovlek(int argc, const char* const* argv);

}  // namespace tovlek::driver
