// The platform part on its own, on Linux and (under Wine) on Windows:
// atomic replacement, the interrupt handler's clean-up, label decoding and
// the system's reasons.
#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/platform.h"

namespace tovlek::platform {
namespace {

std::string contentOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A temporary file of the platform's own in the working folder, written.
std::string writtenTemporary(const std::string& content) {
  std::string path;
  std::FILE* file = createTemporary(".", ".platform-test-", path);
  EXPECT_NE(file, nullptr);
  if (file == nullptr) return path;
  std::fwrite(content.data(), 1, content.size(), file);
  EXPECT_TRUE(syncToDisk(file));
  std::fclose(file);
  return path;
}

void writeText(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

void setReadOnly(const char* path, bool readOnly) {
#ifdef _WIN32
  ASSERT_TRUE(SetFileAttributesA(path, readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL));
#else
  ASSERT_EQ(chmod(path, readOnly ? 0444 : 0644), 0);
#endif
}

bool exists(const std::string& path) {
  return infoOf(path).kind != FileInfo::Kind::kMissing;
}

// The target holds the old text or the new one, never neither; a failed
// replacement leaves the old file and the new one where they were.
TEST(PlatformTest, ReplacementIsAtomic) {
  writeText("target.txt", "old\r\n");
  std::string fresh = writtenTemporary("new\r\n");
  ASSERT_TRUE(replaceFile(fresh, "target.txt"));
  EXPECT_EQ(contentOf("target.txt"), "new\r\n");
  EXPECT_FALSE(exists(fresh));

  // From a file that is not there: nothing changes.
  EXPECT_FALSE(replaceFile("no-such-file.txt", "target.txt"));
  EXPECT_NE(errno, 0);
  EXPECT_FALSE(reasonText(errno).empty());
  EXPECT_EQ(contentOf("target.txt"), "new\r\n");

  // Over a read-only file: Windows refuses, POSIX (and Wine as root)
  // renames over it; either way the target is whole. (The tool refuses such
  // a target itself where the system says it may not be written.)
  writeText("locked.txt", "kept\n");
  setReadOnly("locked.txt", true);
  fresh = writtenTemporary("replaced\n");
  const bool replaced = replaceFile(fresh, "locked.txt");
  EXPECT_EQ(contentOf("locked.txt"), replaced ? "replaced\n" : "kept\n");
  EXPECT_EQ(exists(fresh), !replaced);
  removeFile(fresh.c_str());
  setReadOnly("locked.txt", false);
  removeFile("locked.txt");
  removeFile("target.txt");
}

std::string pendingTemporary;
int exitStatus = 0;

void removePending() {
  removeFile(pendingTemporary.c_str());
}

void noteExit(int status) {
  exitStatus = status;
}

// An interrupt while the output is being written removes the temporary
// file, still open, and ends the run as the shell's 128 + signal number.
TEST(PlatformTest, InterruptRemovesOpenTemporaryFiles) {
  std::FILE* file = createTemporary(".", ".interrupted-", pendingTemporary);
  ASSERT_NE(file, nullptr);
  std::fputs("half a map", file);
  std::fflush(file);
  installInterruptHandlers(removePending);
  interrupted(2, noteExit);
  EXPECT_EQ(exitStatus, 130);
  std::fclose(file);
  EXPECT_FALSE(exists(pendingTemporary));
  installInterruptHandlers(nullptr);
}

// Labels from a map's code page, as the report writes them: Cyrillic in
// 1251, Western in 1252; a byte a code page leaves undefined goes to the
// fallback; a code page the system does not know decodes nothing.
TEST(PlatformTest, CodePagesDecodeToUtf8) {
  const auto hex = [](std::string& out, unsigned char byte) {
    const char* digits = "0123456789ABCDEF";
    out += '<';
    out += digits[byte >> 4];
    out += digits[byte & 15];
    out += '>';
  };
  const struct {
    int32_t codePage;
    std::string text, utf8;
  } cases[] = {
      {1251, "\xD3\xEB\xE8\xF6\xE0 \xCC\xE8\xF0\xE0 7", "Улица Мира 7"},
      {1252,
       "Caf\xE9 \xAB\x80\xBB Stra\xDF"
       "e",
       "Café «€» Straße"},
      {1250, "N\xE1m\xECst\xED \x8A", "Náměstí Š"},
      {932, "\x93\x8C\x8B\x9E", "東京"},
  };
  for (const auto& c : cases) {
    CodePageDecoder decoder(c.codePage);
    ASSERT_TRUE(decoder.known()) << c.codePage;
    EXPECT_EQ(decoder.decode(c.text, hex), c.utf8) << c.codePage;
  }
  EXPECT_EQ(CodePageDecoder(1253).decode("\xC1\xAA", hex), "Α<AA>");  // 0xAA is undefined
  EXPECT_FALSE(CodePageDecoder(999).known());
}

}  // namespace
}  // namespace tovlek::platform
