// Runs the built binary (or any program) without a shell and captures
// what it prints; creates temporary files and folders for its inputs.
#pragma once

#include <string>
#include <vector>

namespace vorn {
namespace test {

struct ProcessResult {
  int exitCode = -1;    // the exit status, or 128 + signal when killed by one
  bool signaled = false;
  bool timedOut = false;
  std::string out;      // standard output
  std::string err;      // standard error
};

struct RunOptions {
  int timeoutSeconds = 300;  // the child is killed after this long (0: no limit)
  std::string workDir;       // empty: the current folder
  std::string argv0;         // the program name the child sees; empty: the program's path
};

// Runs program with args (args[0] is the first argument, not the program
// name); standard input is /dev/null.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const RunOptions& options = RunOptions());

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args, int timeoutSeconds,
                         const std::string& workDir = "");

// Runs the solver binary built with the tests (VORN_BINARY) under the name "vorn".
ProcessResult runVorn(const std::vector<std::string>& args, RunOptions options = RunOptions());
ProcessResult runVorn(const std::vector<std::string>& args, int timeoutSeconds, const std::string& workDir = "");
const char* vornBinary();

// A fresh folder under $TMPDIR (or /tmp) that is removed with everything
// in it when the object goes. Tests write their inputs here.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  // Writes content to name (gzip-compressed when gzip is set); returns the path.
  std::string write(const std::string& name, const std::string& content, bool gzip = false) const;

 private:
  std::string path_;
};

// Writes content to path, gzip-compressed when gzip is set. Fails the test on error.
void writeFile(const std::string& path, const std::string& content, bool gzip = false);
// The file's bytes (decompressed when it is gzip data); false when it cannot be read.
bool readFile(const std::string& path, std::string& content);
std::string readFileOrFail(const std::string& path);
bool fileExists(const std::string& path);

}  // namespace test
}  // namespace vorn
