// A scratch workspace, a run state pointing into it, and a recorder of the
// worker's notices, for tests that run the extraction worker for real.
#pragma once

#include <gtest/gtest.h>
#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "decode/notices.h"
#include "encode/package_writer.h"
#include "launcher/run_state.h"
#include "launcher/worker.h"
#include "platform/platform.h"

struct Notice {
  uint32_t code;
  uint32_t position;  // code 8
  std::string path;   // codes 2 to 7
  bool packageCopyOpen;
};

// True when this process holds `path` open (checked through /proc/self/fd).
inline bool IsOpenInThisProcess(const std::string& path) {
  DIR* dir = opendir("/proc/self/fd");
  bool open = false;
  while (dirent* entry = readdir(dir)) {
    char link[4096];
    std::string fd = std::string("/proc/self/fd/") + entry->d_name;
    ssize_t n = readlink(fd.c_str(), link, sizeof link - 1);
    if (n > 0 && std::string(link, n) == path) open = true;
  }
  closedir(dir);
  return open;
}

class WorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char scratch[] = "/tmp/qwworkerXXXXXX";
    root_ = mkdtemp(scratch);
    workspace_ = root_ + "/ws";
    mkdir(workspace_.c_str(), 0777);
    program_ = root_ + "/Setup.exe";
    g_platform = NativePlatform();
    PosixSetCodePage(936);
    strcpy(g_runState.programPath, program_.c_str());
    strcpy(g_runState.workspacePath, workspace_.c_str());
    strcpy(g_runState.packageCopyPath, (workspace_ + "\\QW.tmp").c_str());
    g_runState.workspace = g_platform.holdDirectory(workspace_.c_str());
    ASSERT_NE(g_runState.workspace, nullptr);
    sink_ = {Record, this};
    g_runState.noticeTarget = &sink_;
  }
  void TearDown() override {
    g_platform = NativePlatform();
    if (g_runState.workspace) g_platform.release(g_runState.workspace);
    g_runState.workspace = nullptr;
    std::string command = "rm -rf '" + root_ + "'";
    EXPECT_EQ(system(command.c_str()), 0);
  }

  static void Record(void* context, uint32_t code, uintptr_t value) {
    WorkerTest* test = static_cast<WorkerTest*>(context);
    Notice notice = {code, 0, "", IsOpenInThisProcess(test->workspace_ + "/QW.tmp")};
    if (code == kNoticeProgress)
      notice.position = static_cast<uint32_t>(value);
    else if (code != kNoticeSuccess)
      notice.path = reinterpret_cast<const char*>(value);
    test->notices_.push_back(notice);
  }

  void WriteProgram(const std::vector<uint8_t>& bytes) {
    std::ofstream(program_, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
  // Runs the worker on a program file made of a 200-byte stub and `package`.
  void Run(const std::vector<uint8_t>& package) {
    WriteProgram(MakeProgramFile(std::vector<uint8_t>(200, 'S'), package));
    Run();
  }
  void Run() {
    notices_.clear();
    EXPECT_EQ(ExtractionWorkerMain(nullptr), 0u);
  }

  const Notice& Final() const { return notices_.back(); }
  std::vector<uint32_t> Positions(uint32_t from = 0) const {
    std::vector<uint32_t> positions;
    for (const Notice& n : notices_)
      if (n.code == kNoticeProgress && n.position >= from) positions.push_back(n.position);
    return positions;
  }
  // Exactly one final notice, last, with the package copy closed.
  void ExpectOneFinal(uint32_t code) const {
    ASSERT_FALSE(notices_.empty());
    size_t finals = 0;
    for (const Notice& n : notices_) finals += IsFinalNotice(n.code) ? 1 : 0;
    EXPECT_EQ(finals, 1u);
    EXPECT_EQ(Final().code, code);
    EXPECT_FALSE(Final().packageCopyOpen);
  }
  std::string ReadFile(const std::string& relative) const {
    std::ifstream in(workspace_ + "/" + relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool Exists(const std::string& path) const { return access(path.c_str(), F_OK) == 0; }
  // Everything below the scratch root except the workspace and the program.
  std::vector<std::string> StrayFiles() const {
    std::vector<std::string> stray;
    DIR* dir = opendir(root_.c_str());
    while (dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != ".." && name != "ws" && name != "Setup.exe") stray.push_back(name);
    }
    closedir(dir);
    return stray;
  }

  std::string root_, workspace_, program_;
  NoticeSink sink_;
  std::vector<Notice> notices_;
};
