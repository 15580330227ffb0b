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

}  // namespace

Options scanOptions(int argc, const char* const* argv) {
  Options options;
  options.settings.threads = machineThreads();
  int k = 0;
  // Whether any option used the argument under test, as option or value.
  bool used = false;
  auto take = [&] {
    ++k;
    used = true;
  };
  auto warnIfUnused = [&] {
    if (!used)
      options.warnings.push_back("Warning: argument '" + std::string(argv[k]) + "' ignored");
  };
  while (k < argc - 1) {
    ++k;
    used = false;
    // Whole-argument options come first; the value of --report is taken as
    // it stands and tested for nothing else.
    const std::string_view argument = argv[k];
    if (argument == "--help" || argument == "--version") {
      (argument == "--help" ? options.help : options.version) = true;
      continue;
    }
    if (argument == "--close-gaps") {
      options.settings.closeGaps = true;
      continue;
    }
    if (argument == "--keep-layout") {
      options.settings.keepLayout = true;
      continue;
    }
    if (argument == "--check") {
      options.settings.check = true;
      continue;
    }
    if (argument == "--threads") {
      if (k + 1 < argc) {
        options.threadsPosition = ++k;
        options.settings.threads = threadCount(argv[k]);
      } else {
        warnIfUnused();
      }
      continue;
    }
    if (argument == "--report") {
      if (k + 1 < argc) {
        options.reportPosition = ++k;
      } else {
        warnIfUnused();
      }
      continue;
    }
    if (mentions(argv[k], "-m") && k + 1 < argc) {
      take();
      const codec::ScannedInteger value = codec::scanInteger(argv[k], 0);
      if (value.ok) {
        if (value.value < INT32_MIN || value.value > INT32_MAX) {
          options.invalidDistance = true;
          options.invalidPosition = k;
          return options;
        }
        options.settings.MinDistance = static_cast<int32_t>(value.value);
      } else {
        options.warnings.push_back("Warning: -m value '" + std::string(argv[k]) +
                                   "' is not a number; distance stays " +
                                   std::to_string(options.settings.MinDistance));
      }
    }
    if (mentions(argv[k], "-i") && k + 1 < argc) {
      take();
      options.inputPosition = k;
    }
    if (mentions(argv[k], "-o") && k + 1 < argc) {
      take();
      options.outputPosition = k;
    }
    warnIfUnused();
  }
  return options;
}

}  // namespace tovlek::driver
