#include <cstdio>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "driver/output_file.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  tovlek::platform::keepFreedMemory();
  tovlek::platform::useBinaryStandardStreams();
  // An interrupted run leaves no temporary file behind and the output as it
  // was.
  tovlek::platform::installInterruptHandlers(tovlek::driver::removePendingTemporaryFiles);
  const std::vector<std::string> arguments = tovlek::platform::commandLine(argc, argv);
  std::vector<const char*> pointers;
  for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
  const int status = tovlek::driver::runTovlek(static_cast<int>(pointers.size()), pointers.data());
  std::fflush(stdout);
  return status;
}
