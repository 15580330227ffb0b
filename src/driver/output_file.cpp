#include "driver/output_file.h"

#include <fcntl.h>
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

}  // namespace

OutputFile::~OutputFile() {
  discardOutputFile(*this);
}

namespace {

bool openOutputFileOrKeepErrno(OutputFile& output, const std::string& path) {
  output.targetPath = resolveLinks(path);
  struct stat info;
  const bool exists = stat(output.targetPath.c_str(), &info) == 0;
  if (exists && !S_ISREG(info.st_mode)) {
    if (S_ISDIR(info.st_mode)) {
      errno = EISDIR;
      return false;
    }
    output.file = std::fopen(output.targetPath.c_str(), "w");
    return output.file != nullptr;
  }
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

bool openOutputFile(OutputFile& output, const std::string& path) {
  errno = 0;
  return keepReason(output, openOutputFileOrKeepErrno(output, path));
}

bool commitOutputFile(OutputFile& output) {
  if (output.file == nullptr) return false;
  errno = 0;
  bool ok = keepReason(output, std::fflush(output.file) == 0 && !std::ferror(output.file));
  if (ok && !output.tempPath.empty()) {
    const int fd = fileno(output.file);
    ok = keepReason(output,
                    fsync(fd) == 0 && fchmod(fd, static_cast<mode_t>(output.permissions)) == 0);
  }
  const bool closed = keepReason(output, std::fclose(output.file) == 0);
  output.file = nullptr;
  ok = ok && closed;
  if (ok && !output.tempPath.empty()) {
    ok = keepReason(output, std::rename(output.tempPath.c_str(), output.targetPath.c_str()) == 0);
    if (ok) {
      output.tempPath.clear();
      releasePendingSlot(output.pendingSlot);
    }
  }
  if (!ok) discardOutputFile(output);
  return ok;
}

void discardOutputFile(OutputFile& output) {
  if (output.file != nullptr) {
    std::fclose(output.file);
    output.file = nullptr;
  }
  if (!output.tempPath.empty()) {
    unlink(output.tempPath.c_str());
    output.tempPath.clear();
    releasePendingSlot(output.pendingSlot);
  }
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
