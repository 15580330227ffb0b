// The platform on Linux and other POSIX systems.
#include <fcntl.h>
#include <iconv.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/system_handlers.h"

namespace tovlek::platform {
namespace {

FileInfo infoFrom(const struct stat& status) {
  FileInfo info;
  if (S_ISREG(status.st_mode)) {
    info.kind = FileInfo::Kind::kRegular;
  } else if (S_ISDIR(status.st_mode)) {
    info.kind = FileInfo::Kind::kDirectory;
  } else if (S_ISCHR(status.st_mode)) {
    info.kind = FileInfo::Kind::kCharacterDevice;
  } else {
    info.kind = FileInfo::Kind::kOther;
  }
  info.device = static_cast<uint64_t>(status.st_dev);
  info.identity = static_cast<uint64_t>(status.st_ino);
  info.permissions = status.st_mode & 07777;
  info.owner = status.st_uid;
  info.group = status.st_gid;
  return info;
}

std::string directoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

FileInfo infoOf(const std::string& path) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) return {};
  FileInfo info = infoFrom(status);
  info.readOnly = access(path.c_str(), W_OK) != 0;
  return info;
}

FileInfo infoOf(std::FILE* file) {
  struct stat status;
  if (fstat(fileno(file), &status) != 0) return {};
  return infoFrom(status);
}

bool sameFile(const FileInfo& a, const FileInfo& b) {
  return a.kind != FileInfo::Kind::kMissing && a.kind == b.kind && a.device == b.device &&
         a.identity == b.identity;
}

std::FILE* openForReading(const std::string& path) {
  return std::fopen(path.c_str(), "rb");
}

std::FILE* openForWriting(const std::string& path) {
  return std::fopen(path.c_str(), "wb");
}

std::FILE* createTemporary(const std::string& directory, const std::string& prefix,
                           std::string& path) {
  path = directory + "/" + prefix + "XXXXXX";
  const int fd = mkstemp(path.data());
  if (fd < 0) return nullptr;
  std::FILE* file = fdopen(fd, "wb");
  if (file == nullptr) {
    const int reason = errno;
    close(fd);
    unlink(path.c_str());
    errno = reason;
  }
  return file;
}

bool syncToDisk(std::FILE* file) {
  return std::fflush(file) == 0 && fsync(fileno(file)) == 0;
}

bool takePermissions(std::FILE* file, const FileInfo& like) {
  const int fd = fileno(file);
  if (like.kind == FileInfo::Kind::kMissing)
    return fchmod(fd, static_cast<mode_t>(defaultPermissions())) == 0;
  if (fchown(fd, like.owner, like.group) != 0) {
  }
  return fchmod(fd, static_cast<mode_t>(like.permissions)) == 0;
}

void startWritingBack(std::FILE* file) {
#if defined(__linux__)
  const int fd = fileno(file);
  if (fd >= 0) sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
#else
  (void)file;
#endif
}

unsigned defaultPermissions() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666u & ~static_cast<unsigned>(mask);
}

bool replaceFile(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

bool secondName(const std::string& path, const std::string& alias) {
  return link(path.c_str(), alias.c_str()) == 0 || std::rename(path.c_str(), alias.c_str()) == 0;
}

bool removeFile(const char* path) {
  return unlink(path) == 0;
}

std::string resolveLinks(const std::string& start) {
  std::string path = start;
  for (int hop = 0; hop < 40; ++hop) {
    struct stat status;
    if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) break;
    std::vector<char> target(static_cast<size_t>(status.st_size > 0 ? status.st_size : PATH_MAX) +
                             1);
    const ssize_t length = readlink(path.c_str(), target.data(), target.size());
    if (length < 0 || static_cast<size_t>(length) >= target.size()) break;
    std::string next(target.data(), static_cast<size_t>(length));
    if (next.empty()) break;
    path = (next.front() == '/') ? next : directoryOf(path) + "/" + next;
  }
  return path;
}

bool isSeparator(char c) {
  return c == '/';
}

bool readAt(std::FILE* file, uint64_t offset, size_t size, char* into) {
  const int fd = fileno(file);
  while (size > 0) {
    const ssize_t got = pread(fd, into, size, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      if (got == 0) errno = EIO;  // the file grew shorter since it was read
      return false;
    }
    into += got;
    offset += static_cast<uint64_t>(got);
    size -= static_cast<size_t>(got);
  }
  return true;
}

void useBinaryStandardStreams() {}

// ---- Interrupts

namespace {

void onSignal(int signalNumber) {
  interrupted(signalNumber, _exit);
}

}  // namespace

void installSystemHandlers() {
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) sigaction(signalNumber, &action, nullptr);
  signal(SIGXFSZ, SIG_IGN);
  signal(SIGPIPE, SIG_IGN);
}

void holdOffInterrupts() {
  sigset_t interrupts;
  sigemptyset(&interrupts);
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&interrupts, signalNumber);
  sigprocmask(SIG_BLOCK, &interrupts, nullptr);
}

// ---- Text

struct CodePageDecoder::State {
  iconv_t handle;
};

CodePageDecoder::CodePageDecoder(int32_t codePage) {
  if (codePage <= 0) return;
  const iconv_t handle = iconv_open("UTF-8", ("CP" + std::to_string(codePage)).c_str());
  if (handle != reinterpret_cast<iconv_t>(-1)) state_ = std::make_unique<State>(State{handle});
}

CodePageDecoder::~CodePageDecoder() {
  if (state_) iconv_close(state_->handle);
}

bool CodePageDecoder::known() const {
  return state_ != nullptr;
}

namespace {

// Writes what the decoder holds back and returns it to its first state. In
// code pages such as 1258 and 1255 it holds back a letter that might still
// take an accent, until it sees what follows.
void flushDecoder(iconv_t decoder, std::string& utf8) {
  char buffer[64];
  char* out = buffer;
  size_t outLeft = sizeof buffer;
  iconv(decoder, nullptr, nullptr, &out, &outLeft);
  utf8.append(buffer, static_cast<size_t>(out - buffer));
}

}  // namespace

std::string CodePageDecoder::decode(std::string_view text,
                                    void (*undefinedByte)(std::string&, unsigned char)) {
  std::string utf8;
  if (!state_) return utf8;
  const iconv_t decoder = state_->handle;
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  while (inLeft > 0) {
    char buffer[256];
    char* out = buffer;
    size_t outLeft = sizeof buffer;
    const size_t done = iconv(decoder, &in, &inLeft, &out, &outLeft);
    utf8.append(buffer, static_cast<size_t>(out - buffer));
    if (done != static_cast<size_t>(-1) || errno == E2BIG) continue;
    flushDecoder(decoder, utf8);
    undefinedByte(utf8, static_cast<unsigned char>(*in++));
    --inLeft;
  }
  flushDecoder(decoder, utf8);
  return utf8;
}

// ---- Memory

void* allocateRegion(size_t bytes, size_t alignment) {
  void* region = std::aligned_alloc(alignment, bytes);
#ifdef MADV_HUGEPAGE
  // Only advice, for regions of whole pages: where huge pages are not to be
  // had, the region works as it is.
  if (region != nullptr && alignment % 4096 == 0) madvise(region, bytes, MADV_HUGEPAGE);
#endif
  return region;
}

void freeRegion(void* region) {
  std::free(region);
}

void keepFreedMemory() {
#if defined(__GLIBC__)
  // The join's later rounds and the writer take and give back blocks of tens
  // of megabytes, which the system would otherwise hand back zeroed page by
  // page each time.
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
#endif
}

// ---- Errors

std::string reasonText(int error) {
  return std::strerror(error != 0 ? error : EIO);
}

std::vector<std::string> commandLine(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

}  // namespace tovlek::platform
