// A file written under a temporary name beside its final place and renamed
// into place only when complete, so that a failed or interrupted run never
// leaves a half-written file under the final name. Several may be pending
// at once (a program file and its volumes), up to kMostPendingOutputs.
#pragma once

#include <string>

constexpr int kMostPendingOutputs = 300;  // a program file and the most volumes a set has

class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();  // removes the temporary file unless committed

  // Creates the temporary file beside `finalPath`. While it exists, an
  // interruption removes it before ending the process: SIGINT, SIGTERM and
  // SIGHUP on Linux; Ctrl-C, Ctrl-Break and closing the console on Windows.
  // Returns an empty string or what failed.
  std::string Open(const std::string& finalPath);
  int fd() const { return fd_; }
  const std::string& temporaryPath() const { return temporaryPath_; }

  // Closes the file, gives it the mode a new executable gets and renames it
  // to the final path. Returns an empty string or what failed (the
  // temporary file is then removed).
  std::string Commit();

 private:
  void Discard();

  std::string finalPath_;
  std::string temporaryPath_;
  int fd_ = -1;
  int pendingSlot_ = -1;  // where an interruption finds the temporary file
};
