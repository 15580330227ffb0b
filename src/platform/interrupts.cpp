// What an interrupt does, on every system: the clean-up, then the end of
// the process with the shell's status for the signal.
#include "platform/platform.h"
#include "platform/system_handlers.h"

namespace tovlek::platform {
namespace {

void (*interruptCleanUp)() = nullptr;

}  // namespace

void installInterruptHandlers(void (*cleanUp)()) {
  interruptCleanUp = cleanUp;
  installSystemHandlers();
}

void interrupted(int signalNumber, void (*exit)(int status)) {
  if (interruptCleanUp != nullptr) interruptCleanUp();
  exit(128 + signalNumber);
}

}  // namespace tovlek::platform
