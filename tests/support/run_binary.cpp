#include "support/run_binary.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tovlek::testkit {

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tovlek-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

namespace {

std::string shellQuote(const std::string& text) {
  std::ostringstream quoted;
  quoted << '\'';
  for (char c : text) {
    if (c == '\'') {
      quoted << "'\\''";
    } else {
      quoted << c;
    }
  }
  quoted << '\'';
  return quoted.str();
}

}  // namespace

RunResult runTovlek(const std::string& directory, const std::vector<std::string>& arguments,
                    const std::string& shellPrefix) {
  std::ostringstream command;
  if (!shellPrefix.empty()) command << shellPrefix << "; ";
  // Another build may stand in, run through a command (the Windows build
  // under Wine: TOVLEK_RUN="wine build-windows/tovlek.exe").
  const char* standIn = std::getenv("TOVLEK_RUN");
  command << "exec " << (standIn != nullptr ? standIn : shellQuote(TOVLEK_BINARY));
  for (const std::string& argument : arguments) command << ' ' << shellQuote(argument);
  return runShell(directory, command.str());
}

RunResult runShell(const std::string& directory, const std::string& script) {
  std::ostringstream command;
  command << "cd " << shellQuote(directory) << " && { " << script << "; } >"
          << shellQuote(directory + "/.stdout") << " 2>" << shellQuote(directory + "/.stderr");
  std::ostringstream shell;
  shell << "sh -c " << shellQuote(command.str());
  const int raw = std::system(shell.str().c_str());
  RunResult result;
  if (WIFEXITED(raw)) result.status = WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) result.status = 128 + WTERMSIG(raw);
  result.out = readFile(directory + "/.stdout");
  result.err = readFile(directory + "/.stderr");
  unlink((directory + "/.stdout").c_str());
  unlink((directory + "/.stderr").c_str());
  return result;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void writeFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
}

bool fileExists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

std::vector<std::string> listDirectory(const std::string& path) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace tovlek::testkit
