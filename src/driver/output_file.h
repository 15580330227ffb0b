// The output map file, replaced atomically: written to a temporary file in
// the target's directory and renamed onto the target only when everything
// was written, flushed and closed without error. A symbolic link is written
// through (its target is replaced); an existing non-regular file such as a
// FIFO or a device is written directly.
#pragma once

#include <cstdio>
#include <string>

namespace tovlek::driver {

struct OutputFile {
  std::FILE* file = nullptr;
  std::string targetPath;  // the file that is finally replaced
  std::string tempPath;    // empty when the target is written directly
  unsigned permissions = 0;
  int pendingSlot = -1;  // where the temporary file's name is kept for signals
  int error = 0;         // the system's error number of the failure, if any

  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();  // discards whatever was not committed
};

// Opens the output for `path`. False when no file can be created; `error`
// then holds the reason.
bool openOutputFile(OutputFile& output, const std::string& path);

// Flushes, syncs and closes the file and puts it in place. False on any
// failure (its reason in `error`), after which the temporary file is gone
// and the target untouched.
bool commitOutputFile(OutputFile& output);

// Closes and removes the temporary file, leaving the target untouched.
void discardOutputFile(OutputFile& output);

// True when the two paths name one regular file (links followed), or one
// entry of one directory that does not exist yet: writing both would lose one.
bool namesSameFile(const std::string& a, const std::string& b);

// Removes the temporary files of all open outputs; safe in a signal handler.
void removePendingTemporaryFiles();

}  // namespace tovlek::driver
