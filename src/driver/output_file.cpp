#include "driver/output_file.h"

#include <cerrno>

#include "platform/platform.h"

namespace tovlek::driver {
namespace {

constexpr int kPendingSlots = 4;
constexpr size_t kLongestPath = 4096;
using PendingTemps = char[kPendingSlots][kLongestPath + 64];

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

size_t lastSeparator(const std::string& path) {
  for (size_t i = path.size(); i-- > 0;) {
    if (platform::isSeparator(path[i])) return i;
  }
  return std::string::npos;
}

std::string directoryOf(const std::string& path) {
  const size_t slash = lastSeparator(path);
  if (slash == std::string::npos) return ".";
  if (slash == 0) return path.substr(0, 1);
  return path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
  const size_t slash = lastSeparator(path);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The start of a hidden name beside `target`: ".NAME" and the tag.
std::string hiddenPrefix(const std::string& target, const char* tag) {
  std::string prefix = ".";
  prefix += baseNameOf(target);
  prefix += tag;
  return prefix;
}

// Closes and removes the temporary file, leaving the target untouched.
void discardOutputFile(OutputFile& output) {
  if (output.file != nullptr && !output.standardOutput) std::fclose(output.file);
  output.file = nullptr;
  if (!output.tempPath.empty()) {
    platform::removeFile(output.tempPath.c_str());
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
  // A FIFO, a socket or a device is written directly, whatever names it
  // (/dev/stdout names a pipe through a link that has no file behind it).
  const platform::FileInfo named = platform::infoOf(path);
  if (named.kind == platform::FileInfo::Kind::kDirectory) {
    errno = EISDIR;
    return false;
  }
  if (named.kind != platform::FileInfo::Kind::kMissing &&
      named.kind != platform::FileInfo::Kind::kRegular) {
    output.targetPath = path;
    output.file = platform::openForWriting(path);
    return output.file != nullptr;
  }
  output.targetPath = platform::resolveLinks(path);
  output.replaced = platform::infoOf(output.targetPath);
  // A file that may not be written is not replaced either: renaming over it
  // would get round its permission bits.
  if (output.replaced.readOnly) {
    errno = EACCES;
    return false;
  }
  output.file = platform::createTemporary(
      directoryOf(output.targetPath), hiddenPrefix(output.targetPath, ".tovlek-"), output.tempPath);
  if (output.file == nullptr) {
    output.tempPath.clear();
    return false;
  }
  output.pendingSlot = claimPendingSlot(output.tempPath);
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
  const platform::FileInfo named = platform::infoOf(path);
  return named.kind != platform::FileInfo::Kind::kCharacterDevice &&
         platform::sameFile(named, platform::infoOf(stdout));
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
    ok = keepReason(output, platform::syncToDisk(output.file) &&
                                platform::takePermissions(output.file, output.replaced));
  }
  const bool closed = output.standardOutput || keepReason(output, std::fclose(output.file) == 0);
  output.file = nullptr;
  return ok && closed;
}

// Puts the finished temporary file in place of its target.
bool replaceTarget(OutputFile& output) {
  if (output.tempPath.empty()) return true;
  errno = 0;
  if (!keepReason(output, platform::replaceFile(output.tempPath, output.targetPath))) return false;
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
  if (output.tempPath.empty() ||
      platform::infoOf(output.targetPath).kind == platform::FileInfo::Kind::kMissing)
    return true;
  // A free name beside the target: a temporary file's, removed again.
  std::string aside;
  std::FILE* placeholder = platform::createTemporary(
      directoryOf(output.targetPath), hiddenPrefix(output.targetPath, ".tovlek-old-"), aside);
  if (placeholder == nullptr) return false;
  std::fclose(placeholder);
  platform::removeFile(aside.c_str());
  if (!platform::secondName(output.targetPath, aside)) return false;
  kept.aside = aside;
  return true;
}

// The target as it was before the commit: the file kept aside back in
// place, or the new one removed where there was none.
void putBack(const OutputFile& output, KeptAside& kept) {
  if (!kept.aside.empty()) {
    platform::replaceFile(kept.aside, output.targetPath);
  } else if (kept.replaced) {
    platform::removeFile(output.targetPath.c_str());
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
  if (!oldReport.aside.empty()) platform::removeFile(oldReport.aside.c_str());
  if (failed != nullptr) {
    if (map != nullptr) discardOutputFile(*map);
    if (report != nullptr) discardOutputFile(*report);
  }
  return failed;
}

bool namesSameFile(const std::string& a, const std::string& b) {
  const platform::FileInfo infoA = platform::infoOf(a), infoB = platform::infoOf(b);
  const bool hasA = infoA.kind != platform::FileInfo::Kind::kMissing;
  const bool hasB = infoB.kind != platform::FileInfo::Kind::kMissing;
  if (hasA && hasB)
    return infoA.kind == platform::FileInfo::Kind::kRegular && platform::sameFile(infoA, infoB);
  if (hasA || hasB) return false;
  const std::string targetA = platform::resolveLinks(a);
  const std::string targetB = platform::resolveLinks(b);
  return baseNameOf(targetA) == baseNameOf(targetB) &&
         platform::sameFile(platform::infoOf(directoryOf(targetA)),
                            platform::infoOf(directoryOf(targetB)));
}

void removePendingTemporaryFiles() {
  for (const char* temp : pendingTemps()) {
    if (temp[0] != '\0') platform::removeFile(temp);
  }
}

}  // namespace tovlek::driver
