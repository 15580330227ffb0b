#include "driver/output_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

namespace tovlek::driver {
namespace {

constexpr int kPendingSlots = 4;
using PendingTemps = char[kPendingSlots][PATH_MAX + 64];

// The temporary files of the open outputs (the map and the report), in fixed
// buffers; an empty slot is free. This is the process's one piece of shared
// state: a signal handler can reach nothing that is passed.
PendingTemps& pendingTemps() {
  static PendingTemps names;
  return names;
}

int claimPendingSlot(const std::string& path) {
  PendingTemps& names = pendingTemps();
  if (path.size() >= sizeof names[0]) return -1;
  for (int slot = 0; slot < kPendingSlots; ++slot) {
    if (names[slot][0] != '\0') continue;
    path.copy(names[slot], path.size());
    names[slot][path.size()] = '\0';
    return slot;
  }
  return -1;
}

void releasePendingSlot(int& slot) {
  if (slot >= 0) pendingTemps()[slot][0] = '\0';
  slot = -1;
}

std::string directoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Follows symbolic links (at most 40, as the system does) to the path that
// will really be replaced; a dangling link yields its missing target.
std::string resolveLinks(std::string path) {
  for (int hop = 0; hop < 40; ++hop) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) break;
    std::vector<char> target(static_cast<size_t>(info.st_size > 0 ? info.st_size : PATH_MAX) + 1);
    const ssize_t length = readlink(path.c_str(), target.data(), target.size());
    if (length < 0 || static_cast<size_t>(length) >= target.size()) break;
    std::string next(target.data(), static_cast<size_t>(length));
    if (next.empty()) break;
    path = (next.front() == '/') ? next : directoryOf(path) + "/" + next;
  }
  return path;
}

unsigned defaultPermissions() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666u & ~static_cast<unsigned>(mask);
}

// Closes and removes the temporary file, leaving the target untouched.
void discardOutputFile(OutputFile& output) {
  if (output.file != nullptr && !output.standardOutput) std::fclose(output.file);
  output.file = nullptr;
  if (!output.tempPath.empty()) {
    unlink(output.tempPath.c_str());
    output.tempPath.clear();
    releasePendingSlot(output.pendingSlot);
  }
}

}  // namespace

OutputFile::~OutputFile() {
  discardOutputFile(*this);
}

namespace {

bool openOutputFileOrKeepErrno(OutputFile& output, const std::string& path) {
  if (namesStandardOutput(path)) {
    output.targetPath = path;
    output.file = stdout;
    output.standardOutput = true;
    return true;
  }
  struct stat info;
  // A FIFO, a socket or a device is written directly, whatever names it
  // (/dev/stdout names a pipe through a link that has no file behind it).
  if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    if (S_ISDIR(info.st_mode)) {
      errno = EISDIR;
      return false;
    }
    output.targetPath = path;
    output.file = std::fopen(path.c_str(), "w");
    return output.file != nullptr;
  }
  output.targetPath = resolveLinks(path);
  const bool exists = stat(output.targetPath.c_str(), &info) == 0;
  // A file that may not be written is not replaced either: renaming over it
  // would get round its permission bits.
  if (exists && access(output.targetPath.c_str(), W_OK) != 0) return false;
  output.permissions = exists ? (info.st_mode & 07777) : defaultPermissions();
  std::string pattern =
      directoryOf(output.targetPath) + "/." + baseNameOf(output.targetPath) + ".tovlek-XXXXXX";
  const int fd = mkstemp(pattern.data());
  if (fd < 0) return false;
  output.tempPath = pattern;
  output.pendingSlot = claimPendingSlot(pattern);
  // Keep the replaced file's owner where we may; failing that is harmless.
  if (exists && fchown(fd, info.st_uid, info.st_gid) != 0) {
  }
  output.file = fdopen(fd, "w");
  if (output.file == nullptr) {
    const int reason = errno;
    close(fd);
    discardOutputFile(output);
    errno = reason;
    return false;
  }
  return true;
}

// The first failure's reason is the one worth telling.
bool keepReason(OutputFile& output, bool ok) {
  if (!ok && output.error == 0) output.error = errno != 0 ? errno : EIO;
  return ok;
}

}  // namespace

bool namesStandardOutput(const std::string& path) {
  if (path == "-") return true;
  struct stat named, standard;
  return stat(path.c_str(), &named) == 0 && fstat(STDOUT_FILENO, &standard) == 0 &&
         !S_ISCHR(named.st_mode) && named.st_dev == standard.st_dev &&
         named.st_ino == standard.st_ino;
}

bool openOutputFile(OutputFile& output, const std::string& path) {
  errno = 0;
  return keepReason(output, openOutputFileOrKeepErrno(output, path));
}

namespace {

// Flushes, syncs and closes the file; false on failure (its reason kept).
bool finishOutputFile(OutputFile& output) {
  if (output.file == nullptr) return false;
  errno = 0;
  bool ok = keepReason(output, std::fflush(output.file) == 0 && !std::ferror(output.file));
  if (ok && !output.tempPath.empty()) {
    const int fd = fileno(output.file);
    ok = keepReason(output,
                    fsync(fd) == 0 && fchmod(fd, static_cast<mode_t>(output.permissions)) == 0);
  }
  const bool closed = output.standardOutput || keepReason(output, std::fclose(output.file) == 0);
  output.file = nullptr;
  return ok && closed;
}

// Puts the finished temporary file in place of its target.
bool replaceTarget(OutputFile& output) {
  if (output.tempPath.empty()) return true;
  errno = 0;
  if (!keepReason(output, std::rename(output.tempPath.c_str(), output.targetPath.c_str()) == 0))
    return false;
  output.tempPath.clear();
  releasePendingSlot(output.pendingSlot);
  return true;
}

// The file that a commit replaced, kept under a second name until the
// commit is complete, so that it can be put back.
struct KeptAside {
  bool replaced = false;  // the commit put a new file in place of the target
  std::string aside;      // the old target's second name; empty if there was none
};

// Gives the file that `output` will replace a second name: a hard link
// where the file system allows, else the file itself moved aside. False
// when the file exists and no second name could be made.
bool keepAside(const OutputFile& output, KeptAside& kept) {
  struct stat info;
  if (output.tempPath.empty() || stat(output.targetPath.c_str(), &info) != 0) return true;
  std::string aside =
      directoryOf(output.targetPath) + "/." + baseNameOf(output.targetPath) + ".tovlek-old-XXXXXX";
  const int fd = mkstemp(aside.data());
  if (fd < 0) return false;
  close(fd);
  unlink(aside.c_str());
  if (link(output.targetPath.c_str(), aside.c_str()) != 0 &&
      std::rename(output.targetPath.c_str(), aside.c_str()) != 0)
    return false;
  kept.aside = aside;
  return true;
}

// The target as it was before the commit: the file kept aside back in
// place, or the new one removed where there was none.
void putBack(const OutputFile& output, KeptAside& kept) {
  if (!kept.aside.empty()) {
    std::rename(kept.aside.c_str(), output.targetPath.c_str());
  } else if (kept.replaced) {
    unlink(output.targetPath.c_str());
  }
  kept = KeptAside{};
}

}  // namespace

OutputFile* commitOutputFiles(OutputFile* map, OutputFile* report) {
  OutputFile* failed = nullptr;
  if (report != nullptr && !finishOutputFile(*report)) {
    failed = report;
  } else if (map != nullptr && !finishOutputFile(*map)) {
    failed = map;
  }
  KeptAside oldReport;
  if (failed == nullptr && report != nullptr) {
    const bool hadTemp = !report->tempPath.empty();
    if (!keepAside(*report, oldReport)) {
      keepReason(*report, false);
      failed = report;
    } else if (!replaceTarget(*report)) {
      putBack(*report, oldReport);
      failed = report;
    } else {
      oldReport.replaced = hadTemp;
    }
  }
  if (failed == nullptr && map != nullptr && !replaceTarget(*map)) {
    if (report != nullptr) putBack(*report, oldReport);
    failed = map;
  }
  if (!oldReport.aside.empty()) unlink(oldReport.aside.c_str());
  if (failed != nullptr) {
    if (map != nullptr) discardOutputFile(*map);
    if (report != nullptr) discardOutputFile(*report);
  }
  return failed;
}

void holdOffInterrupts() {
  sigset_t interrupts;
  sigemptyset(&interrupts);
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&interrupts, signalNumber);
  sigprocmask(SIG_BLOCK, &interrupts, nullptr);
}

bool namesSameFile(const std::string& a, const std::string& b) {
  struct stat infoA, infoB;
  const bool hasA = stat(a.c_str(), &infoA) == 0;
  const bool hasB = stat(b.c_str(), &infoB) == 0;
  if (hasA && hasB) {
    return S_ISREG(infoA.st_mode) && infoA.st_dev == infoB.st_dev && infoA.st_ino == infoB.st_ino;
  }
  if (hasA || hasB) return false;
  const std::string targetA = resolveLinks(a);
  const std::string targetB = resolveLinks(b);
  if (baseNameOf(targetA) != baseNameOf(targetB)) return false;
  struct stat directoryA, directoryB;
  return stat(directoryOf(targetA).c_str(), &directoryA) == 0 &&
         stat(directoryOf(targetB).c_str(), &directoryB) == 0 &&
         directoryA.st_dev == directoryB.st_dev && directoryA.st_ino == directoryB.st_ino;
}

void removePendingTemporaryFiles() {
  for (const char* temp : pendingTemps()) {
    if (temp[0] != '\0') unlink(temp);
  }
}

}  // namespace tovlek::driver
