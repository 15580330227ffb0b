// Runs the built tovlek binary in a scratch directory and captures what it
// printed, for end-to-end tests.
#pragma once

#include <string>
#include <vector>

namespace tovlek::testkit {

struct RunResult {
  int status = -1;  // exit status, or 128 + signal
  std::string out;
  std::string err;
};

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
struct ScratchDir {
  std::string path;
  ScratchDir();
  ~ScratchDir();
  std::string file(const std::string& name) const { return path + "/" + name; }
};

// Runs the binary (or the command in the environment's TOVLEK_RUN) with the
// arguments inside `directory`. Optional shell
// commands (such as "ulimit -f 1") run before it in the same process.
RunResult runTovlek(const std::string& directory, const std::vector<std::string>& arguments,
                    const std::string& shellPrefix = "");

// Runs a shell script inside `directory`, capturing what it printed.
RunResult runShell(const std::string& directory, const std::string& script);

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);
bool fileExists(const std::string& path);
// Names in the directory, sorted (to spot left-over temporary files).
std::vector<std::string> listDirectory(const std::string& path);

}  // namespace tovlek::testkit
