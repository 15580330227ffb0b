// What differs between the systems the tool runs on, behind one interface:
// files named by UTF-8 paths and opened in binary mode, identity and kind of
// a file, the atomic replacement of a file, interrupts, label decoding from a
// code page, large memory regions and the system's words for a failure.
// posix.cpp implements it for Linux and the BSDs, windows.cpp for Windows.
//
// A call that fails leaves its reason in errno: an errno value, or on
// Windows the negated system error code where a Windows call failed
// (reasonText tells either).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tovlek::platform {

// ---- Files

// What a path names, or what an open file is.
struct FileInfo {
  enum class Kind { kMissing, kRegular, kDirectory, kCharacterDevice, kOther };
  Kind kind = Kind::kMissing;
  uint64_t device = 0, identity = 0;  // together they name one file
  unsigned permissions = 0;           // mode bits where the system has them
  uint32_t owner = 0, group = 0;      // likewise
  bool readOnly = false;              // this process may not write it
};

// Links followed.
FileInfo infoOf(const std::string& path);
FileInfo infoOf(std::FILE* file);
bool sameFile(const FileInfo& a, const FileInfo& b);

std::FILE* openForReading(const std::string& path);
// An existing device, pipe or socket, written directly.
std::FILE* openForWriting(const std::string& path);
// A new file `directory`/`prefix`XXXXXX, created for writing alone; its path
// in `path`. It may be removed while open (removeFile).
std::FILE* createTemporary(const std::string& directory, const std::string& prefix,
                           std::string& path);
// Writes what the stream holds through to the disk.
bool syncToDisk(std::FILE* file);
// Asks the system to start writing the file's data to disk now, without
// waiting. Only a hint: a file that is none, or a failure, is found when the
// file is synced.
void startWritingBack(std::FILE* file);
// The mode bits and owner of `like`, or the defaults for a new file where
// `like` is missing (where the system has them); false when the bits could
// not be set. An owner that cannot be kept is no failure.
bool takePermissions(std::FILE* file, const FileInfo& like);
unsigned defaultPermissions();
// Puts `from` in place of `to` in one step: `to` is the old file or the new
// one, never neither, also if the machine stops.
bool replaceFile(const std::string& from, const std::string& to);
// Gives the file `path` the second name `alias`: a hard link where the file
// system allows, else the file itself renamed.
bool secondName(const std::string& path, const std::string& alias);
// Safe in an interrupt handler.
bool removeFile(const char* path);
// The path a write to `path` really replaces: symbolic links followed where
// the system has them (at most 40, a dangling one gives its missing target).
std::string resolveLinks(const std::string& path);
bool isSeparator(char c);

// `size` bytes from `offset` of an open regular file, without moving its
// stream; false on failure or when the file is shorter.
bool readAt(std::FILE* file, uint64_t offset, size_t size, char* into);

// Standard input, output and error pass bytes unchanged (no line-end
// translation), and the console shows UTF-8.
void useBinaryStandardStreams();

// ---- Interrupts

// On an interrupt (Ctrl+C, SIGINT; SIGTERM; SIGHUP or the console window
// closed; Ctrl+Break), `cleanUp` runs and the process ends with 128 + the
// signal's number (130, 143, 129). A full disk or a pipe whose reader went
// away surface as write errors, never as a signal.
void installInterruptHandlers(void (*cleanUp)());
// From here on an interrupt waits until the process ends on its own.
void holdOffInterrupts();
// What the handlers do on an interrupt with this signal number; `exit`
// ends the process (tests pass one that only notes the status).
void interrupted(int signalNumber, void (*exit)(int status));

// ---- Text

// Decodes text from a code page to UTF-8, where the system knows the code
// page. One thread at a time.
class CodePageDecoder {
 public:
  explicit CodePageDecoder(int32_t codePage);  // 0 or less: none
  ~CodePageDecoder();
  CodePageDecoder(const CodePageDecoder&) = delete;
  CodePageDecoder& operator=(const CodePageDecoder&) = delete;

  bool known() const;
  // Decodes `text`; a byte that the code page does not define goes through
  // `undefinedByte` (appending it to the UTF-8 text).
  std::string decode(std::string_view text, void (*undefinedByte)(std::string&, unsigned char));

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// ---- Memory

// A region of `bytes` (a multiple of `alignment`), aligned to it and given
// huge pages where the system has them; null when there is no memory.
void* allocateRegion(size_t bytes, size_t alignment);
void freeRegion(void* region);
// Large blocks stay with the process when freed.
void keepFreedMemory();

// ---- Errors

// The system's words for a failure, in UTF-8.
std::string reasonText(int error);

// ---- The command line

// The arguments in UTF-8, as the user typed them (on Windows read as UTF-16).
std::vector<std::string> commandLine(int argc, char** argv);

}  // namespace tovlek::platform
