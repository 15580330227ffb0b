#include <algorithm>
#include <charconv>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>

#include "codec/c_scan.h"
#include "driver/driver.h"

namespace tovlek::driver {
namespace {

bool mentions(const char* argument, const char* option) {
  return std::strstr(argument, option) != nullptr;
}

// A thread count: a whole decimal number from 1 to kMostThreads; 0 otherwise.
int threadCount(std::string_view text) {
  int count = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
  if (error != std::errc() || end != text.data() + text.size()) return 0;
  return count >= 1 && count <= kMostThreads ? count : 0;
}

// The machine's hardware threads, 1 when it does not say.
int machineThreads() {
  const unsigned count = std::thread::hardware_concurrency();
  return count == 0 ? 1 : static_cast<int>(std::min<unsigned>(count, kMostThreads));
}

// Reads a -m value: a number sets the distance (one beyond 32 bits ends the
// scan); anything else is a warning.
void scanDistance(Options& options, const char* value, int position) {
  const codec::ScannedInteger number = codec::scanInteger(value, 0);
  if (!number.ok) {
    options.warnings.push_back("Warning: -m value '" + std::string(value) +
                               "' is not a number; distance stays " +
                               std::to_string(options.settings.MinDistance));
  } else if (number.value < INT32_MIN || number.value > INT32_MAX) {
    options.invalidDistance = true;
    options.invalidPosition = position;
  } else {
    options.settings.MinDistance = static_cast<int32_t>(number.value);
  }
}

// The whole-argument options; false when the argument is none of them.
// --threads and --report take the argument behind them, if there is one.
bool scanWholeOption(Options& options, int argc, const char* const* argv, int& k) {
  const std::string_view argument = argv[k];
  if (argument == "--help" || argument == "-h") {
    options.help = true;
  } else if (argument == "--version") {
    options.version = true;
  } else if (argument == "--quiet" || argument == "-q") {
    options.quiet = true;
  } else if (argument == "--close-gaps") {
    options.settings.closeGaps = true;
  } else if (argument == "--keep-layout") {
    options.settings.keepLayout = true;
  } else if (argument == "--check") {
    options.settings.check = true;
  } else if ((argument == "--threads" || argument == "--report") && k + 1 < argc) {
    ++k;
    if (argument == "--report") {
      options.reportPosition = k;
    } else {
      options.threadsPosition = k;
      options.settings.threads = threadCount(argv[k]);
    }
  } else {
    return false;
  }
  return true;
}

}  // namespace

Options scanOptions(int argc, const char* const* argv) {
  Options options;
  options.settings.threads = machineThreads();
  int k = 0;
  while (k < argc - 1 && !options.invalidDistance) {
    ++k;
    if (scanWholeOption(options, argc, argv, k)) continue;
    // -m, -i and -o by substring, each on the argument current at that
    // moment: the value of -m is tested for -i and -o, the value of -i for -o.
    const int underTest = k;
    if (mentions(argv[k], "-m") && k + 1 < argc) {
      ++k;
      scanDistance(options, argv[k], k);
      if (options.invalidDistance) break;
    }
    if (mentions(argv[k], "-i") && k + 1 < argc) options.inputPosition = ++k;
    if (mentions(argv[k], "-o") && k + 1 < argc) options.outputPosition = ++k;
    if (k == underTest && options.unusedPosition == 0) {
      // Nothing used it: an option missing its value (it stands last), or
      // no option at all.
      options.unusedPosition = k;
      const std::string_view argument = argv[k];
      options.lacksValue = argument == "--threads" || argument == "--report" ||
                           mentions(argv[k], "-m") || mentions(argv[k], "-i") ||
                           mentions(argv[k], "-o");
    }
  }
  return options;
}

}  // namespace tovlek::driver
