// The platform on Windows: paths in UTF-16 through the wide API, files
// opened so that they may be renamed over or removed while open, the
// console's control events as interrupts, labels decoded by the system's
// code pages.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// After windows.h:
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/system_handlers.h"

namespace tovlek::platform {
namespace {

std::wstring wide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring text(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), length);
  return text;
}

std::string utf8(const wchar_t* text, int length) {
  if (length <= 0) return {};
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), bytes, nullptr, nullptr);
  return out;
}

// A Windows call failed: its reason in errno, negated.
void noteSystemError() {
  errno = -static_cast<int>(GetLastError());
}

HANDLE handleOf(std::FILE* file) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
}

FileInfo infoFromHandle(HANDLE handle) {
  FileInfo info;
  switch (GetFileType(handle)) {
    case FILE_TYPE_CHAR:
      info.kind = FileInfo::Kind::kCharacterDevice;
      return info;
    case FILE_TYPE_PIPE:
      info.kind = FileInfo::Kind::kOther;
      return info;
    case FILE_TYPE_DISK:
      break;
    default:
      return info;
  }
  BY_HANDLE_FILE_INFORMATION facts;
  if (!GetFileInformationByHandle(handle, &facts)) {
    // A file that tells nothing of itself (Wine's standard handles): no
    // identity to compare, no offset reads.
    info.kind = FileInfo::Kind::kOther;
    return info;
  }
  info.kind = (facts.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FileInfo::Kind::kDirectory
                                                                  : FileInfo::Kind::kRegular;
  info.device = facts.dwVolumeSerialNumber;
  info.identity = (uint64_t{facts.nFileIndexHigh} << 32) | facts.nFileIndexLow;
  info.readOnly = (facts.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
  return info;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// A C stream over a file handle; the handle is closed on failure.
std::FILE* streamOf(HANDLE handle, int flags, const char* mode) {
  if (handle == INVALID_HANDLE_VALUE) {
    noteSystemError();
    return nullptr;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
  if (fd < 0) {
    CloseHandle(handle);
    return nullptr;
  }
  std::FILE* file = _fdopen(fd, mode);
  if (file == nullptr) _close(fd);
  return file;
}

}  // namespace

FileInfo infoOf(const std::string& path) {
  // No access asked: only the file's facts. A folder opens only with backup
  // semantics.
  const HANDLE handle = CreateFileW(wide(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return {};
  const FileInfo info = infoFromHandle(handle);
  CloseHandle(handle);
  return info;
}

FileInfo infoOf(std::FILE* file) {
  return infoFromHandle(handleOf(file));
}

bool sameFile(const FileInfo& a, const FileInfo& b) {
  return a.kind == FileInfo::Kind::kRegular && b.kind == FileInfo::Kind::kRegular &&
         a.device == b.device && a.identity == b.identity;
}

std::FILE* openForReading(const std::string& path) {
  // Shared for deleting too, so that the output may replace the input.
  const HANDLE handle = CreateFileW(wide(path).c_str(), GENERIC_READ, kShareAll, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE && infoOf(path).kind == FileInfo::Kind::kDirectory) {
    errno = EISDIR;
    return nullptr;
  }
  return streamOf(handle, _O_RDONLY, "rb");
}

std::FILE* openForWriting(const std::string& path) {
  return _wfopen(wide(path).c_str(), L"wb");
}

std::FILE* createTemporary(const std::string& directory, const std::string& prefix,
                           std::string& path) {
  static std::atomic<uint64_t> counter{0};
  const char* const kDigits = "abcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    uint64_t seed = (GetTickCount64() << 20) ^ (uint64_t{GetCurrentProcessId()} << 8) ^
                    (counter++ * 0x9E3779B97F4A7C15u);
    std::string name = prefix;
    for (int k = 0; k < 6; ++k, seed /= 36) name += kDigits[seed % 36];
    path = directory + "/" + name;
    // Shared for deleting, so that an interrupt can remove it while open.
    const HANDLE handle =
        CreateFileW(wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS) continue;
    return streamOf(handle, _O_WRONLY, "wb");
  }
  errno = EEXIST;
  return nullptr;
}

bool syncToDisk(std::FILE* file) {
  if (std::fflush(file) != 0) return false;
  if (FlushFileBuffers(handleOf(file))) return true;
  noteSystemError();
  return false;
}

void startWritingBack(std::FILE*) {}

bool takePermissions(std::FILE*, const FileInfo&) {
  return true;
}

unsigned defaultPermissions() {
  return 0666;
}

bool replaceFile(const std::string& from, const std::string& to) {
  if (MoveFileExW(wide(from).c_str(), wide(to).c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  noteSystemError();
  return false;
}

bool secondName(const std::string& path, const std::string& alias) {
  if (CreateHardLinkW(wide(alias).c_str(), wide(path).c_str(), nullptr) ||
      MoveFileExW(wide(path).c_str(), wide(alias).c_str(), MOVEFILE_WRITE_THROUGH))
    return true;
  noteSystemError();
  return false;
}

bool removeFile(const char* path) {
  // A file open with sharing for deletion goes when its last handle closes.
  return DeleteFileW(wide(path).c_str()) != 0;
}

std::string resolveLinks(const std::string& path) {
  return path;
}

bool isSeparator(char c) {
  return c == '/' || c == '\\';
}

bool readAt(std::FILE* file, uint64_t offset, size_t size, char* into) {
  const HANDLE handle = handleOf(file);
  while (size > 0) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const DWORD want = static_cast<DWORD>(size < (1u << 30) ? size : (1u << 30));
    DWORD got = 0;
    if (!ReadFile(handle, into, want, &got, &at)) {
      noteSystemError();
      return false;
    }
    if (got == 0) {
      errno = EIO;  // the file grew shorter since it was read
      return false;
    }
    into += got;
    offset += got;
    size -= got;
  }
  return true;
}

void useBinaryStandardStreams() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  SetConsoleOutputCP(CP_UTF8);
}

// ---- Interrupts

namespace {

std::atomic<bool> holdingOff{false};

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI onConsoleEvent(DWORD event) {
  if (holdingOff) {
    // Ctrl+C and Ctrl+Break are dropped; a closing console waits for the
    // run to end as the commit leaves it.
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
    Sleep(INFINITE);
  }
  // As the signals on Linux: SIGINT for the keys, SIGHUP for a closed
  // console, SIGTERM for logging off and shutting down.
  const int signalNumber = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? 2
                           : event == CTRL_CLOSE_EVENT                        ? 1
                                                                              : 15;
  interrupted(signalNumber, _exit);
  return TRUE;
}

}  // namespace

void installSystemHandlers() {
  SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void holdOffInterrupts() {
  holdingOff = true;
}

// ---- Text

struct CodePageDecoder::State {
  UINT codePage;
};

CodePageDecoder::CodePageDecoder(int32_t codePage) {
  if (codePage > 0 && IsValidCodePage(static_cast<UINT>(codePage)))
    state_ = std::make_unique<State>(State{static_cast<UINT>(codePage)});
}

CodePageDecoder::~CodePageDecoder() = default;

bool CodePageDecoder::known() const {
  return state_ != nullptr;
}

namespace {

// The UTF-16 of `text` in the code page; false where a byte is not defined.
bool toWide(UINT codePage, std::string_view text, std::wstring& out) {
  const int length = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(),
                                         static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return false;
  const size_t start = out.size();
  out.resize(start + static_cast<size_t>(length));
  MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                      out.data() + start, length);
  return true;
}

}  // namespace

std::string CodePageDecoder::decode(std::string_view text,
                                    void (*undefinedByte)(std::string&, unsigned char)) {
  std::string result;
  if (!state_ || text.empty()) return result;
  const UINT codePage = state_->codePage;
  std::wstring decoded;
  if (toWide(codePage, text, decoded))
    return utf8(decoded.data(), static_cast<int>(decoded.size()));
  // Character by character (a lead byte and its trail in double-byte code
  // pages), so that only the bytes the code page does not define fall back.
  for (size_t i = 0; i < text.size();) {
    const unsigned char byte = static_cast<unsigned char>(text[i]);
    const size_t length = IsDBCSLeadByteEx(codePage, byte) && i + 1 < text.size() ? 2 : 1;
    decoded.clear();
    if (toWide(codePage, text.substr(i, length), decoded)) {
      result += utf8(decoded.data(), static_cast<int>(decoded.size()));
      i += length;
    } else {
      undefinedByte(result, byte);
      ++i;
    }
  }
  return result;
}

// ---- Memory

void* allocateRegion(size_t bytes, size_t alignment) {
  return _aligned_malloc(bytes, alignment);
}

void freeRegion(void* region) {
  _aligned_free(region);
}

void keepFreedMemory() {}

// ---- Errors

std::string reasonText(int error) {
  if (error >= 0) return std::strerror(error != 0 ? error : EIO);
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(-error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string reason = utf8(text, static_cast<int>(length));
  LocalFree(text);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                             reason.back() == ' ' || reason.back() == '.'))
    reason.pop_back();
  return reason.empty() ? "system error " + std::to_string(-error) : reason;
}

// ---- The command line

std::vector<std::string> commandLine(int argc, char** argv) {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> result;
  for (int k = 0; k < count; ++k)
    result.push_back(utf8(arguments[k], static_cast<int>(wcslen(arguments[k]))));
  LocalFree(arguments);
  return result;
}

}  // namespace tovlek::platform
