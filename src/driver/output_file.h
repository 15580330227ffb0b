// The output map file, replaced atomically: written to a temporary file in
// the target's directory and renamed onto the target only when everything
// was written, flushed and closed without error. A symbolic link is written
// through (its target is replaced); an existing file that is no regular
// file, such as a FIFO, a socket or a device, is written directly, and so is
// standard output ("-", or a name of the file it is).
#pragma once

#include <cstdio>
#include <string>

#include "platform/platform.h"

namespace tovlek::driver {

struct OutputFile {
  std::FILE* file = nullptr;
  std::string targetPath;       // the file that is finally replaced
  std::string tempPath;         // empty when the target is written directly
  platform::FileInfo replaced;  // the target as it was; its permissions go to the new file
  int pendingSlot = -1;         // where the temporary file's name is kept for signals
  int error = 0;                // the system's error number of the failure, if any
  bool standardOutput = false;  // `file` is stdout: flushed, never closed

  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();  // discards whatever was not committed
};

// True for "-" and for a name of the file that standard output is (a
// terminal or another character device aside, which is written as any
// device is).
bool namesStandardOutput(const std::string& path);

// Opens the output for `path`. False when no file can be created; `error`
// then holds the reason.
bool openOutputFile(OutputFile& output, const std::string& path);

// Puts the map and its report (either null: none) in place as a pair:
// either both new or both as they were. Both are flushed, synced and closed
// first; the report then replaces its target, whose old file is kept under a
// second name until the map has replaced its own, and is put back if the map
// cannot be. Returns the file that failed (its reason in `error`), or null;
// on failure every temporary file is gone.
OutputFile* commitOutputFiles(OutputFile* map, OutputFile* report);

// True when the two paths name one regular file (links followed), or one
// entry of one directory that does not exist yet: writing both would lose one.
bool namesSameFile(const std::string& a, const std::string& b);

// Removes the temporary files of all open outputs; safe in a signal handler.
void removePendingTemporaryFiles();

}  // namespace tovlek::driver
