// The system's own interrupt handlers (internal to the platform): each
// calls interrupted() with the signal's number, or with the number of the
// signal that stands for a console event.
#pragma once

namespace tovlek::platform {

void installSystemHandlers();

}  // namespace tovlek::platform
