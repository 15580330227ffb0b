#include <signal.h>
#include <unistd.h>

#include <cstdio>

#include "driver/driver.h"
#include "driver/output_file.h"

namespace {

// An interrupted run leaves no temporary file behind and the output as it
// was; the status is the shell's 128 + signal number.
void removeTemporaryAndExit(int signalNumber) {
  tovlek::driver::removePendingTemporaryFiles();
  _exit(128 + signalNumber);
}

void installInterruptHandlers() {
  struct sigaction action {};
  action.sa_handler = removeTemporaryAndExit;
  sigemptyset(&action.sa_mask);
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) sigaction(signalNumber, &action, nullptr);
  // A full disk, a file-size limit or a pipe whose reader went away must
  // surface as a write error.
  signal(SIGXFSZ, SIG_IGN);
  signal(SIGPIPE, SIG_IGN);
}

}  // namespace

int main(int argc, char** argv) {
  installInterruptHandlers();
  const int status = tovlek::driver::runTovlek(argc, argv);
  std::fflush(stdout);
  return status;
}
