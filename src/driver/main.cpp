#include <signal.h>
#include <unistd.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

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

// Large blocks stay with the process when freed: the join's later rounds
// and the writer take and give back blocks of tens of megabytes, which the
// system would otherwise hand back zeroed page by page each time.
void keepFreedMemory() {
#if defined(__GLIBC__)
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
#endif
}

}  // namespace

int main(int argc, char** argv) {
  keepFreedMemory();
  installInterruptHandlers();
  const int status = tovlek::driver::runTovlek(argc, argv);
  std::fflush(stdout);
  return status;
}
