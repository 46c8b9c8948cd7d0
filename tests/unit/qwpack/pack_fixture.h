// What the packer's tests share: a minimal stub, files in and out, the
// built qwpack run through a shell, and a fixture with a source folder and
// an output folder in a scratch directory.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/container.h"
#include "tests/unit/sample_data.h"
#include "tools/qwpack/packer.h"

using Bytes = std::vector<uint8_t>;

// A minimal 32-bit PE program: DOS header, PE header at `peOffset`, an
// optional header with 16 data directories and one section whose raw data
// runs to the end of the file.
inline Bytes MinimalStub(uint32_t peOffset = 0x88) {
  Bytes stub(1024, 0);
  stub[0] = 'M';
  stub[1] = 'Z';
  StoreLe32(&stub[0x3C], peOffset);
  memcpy(&stub[peOffset], "PE\0\0", 4);
  StoreLe16(&stub[peOffset + 4], 0x14C);    // i386
  StoreLe16(&stub[peOffset + 6], 1);        // one section
  StoreLe16(&stub[peOffset + 20], 224);     // optional header size
  StoreLe16(&stub[peOffset + 22], 0x0102);  // executable, 32-bit
  uint32_t optional = peOffset + 24;
  StoreLe16(&stub[optional], 0x10B);
  StoreLe32(&stub[optional + 92], 16);
  uint32_t section = optional + 224;
  memcpy(&stub[section], ".text", 5);
  StoreLe32(&stub[section + 16], 512);  // raw size
  StoreLe32(&stub[section + 20], 512);  // raw offset
  return stub;
}

inline Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

inline int Shell(const std::string& command, std::string* output = nullptr) {
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  std::string text;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
  int status = pclose(pipe);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline std::string Quoted(const std::string& path) {
  return "'" + path + "'";
}

class PackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char scratch[] = "/tmp/qwpacktestXXXXXX";
    root_ = mkdtemp(scratch);
    source_ = root_ + "/src";
    out_ = root_ + "/out";
    mkdir(source_.c_str(), 0777);
    mkdir(out_.c_str(), 0777);
    options_.folder = source_;
    options_.output = out_ + "/Setup.exe";
    options_.stub = MinimalStub();
    Add("QWSetup.exe", TextLike(10000, 1));
  }
  void TearDown() override { Shell("rm -rf " + Quoted(root_)); }

  void Add(const std::string& relative, const Bytes& bytes) {
    for (size_t slash = relative.find('/'); slash != std::string::npos;
         slash = relative.find('/', slash + 1))
      mkdir((source_ + "/" + relative.substr(0, slash)).c_str(), 0777);
    WriteFile(source_ + "/" + relative, bytes);
  }

  // The names in the output folder: after a refusal it must be empty.
  std::vector<std::string> OutputFolder() {
    std::string listing;
    Shell("ls -A " + Quoted(out_), &listing);
    std::vector<std::string> names;
    for (size_t start = 0, end; start < listing.size(); start = end + 1) {
      end = listing.find('\n', start);
      if (end == std::string::npos) end = listing.size();
      if (end > start) names.push_back(listing.substr(start, end - start));
    }
    return names;
  }

  // Packs, expecting a refusal whose message holds `expected`.
  void ExpectRefusal(const std::string& expected) {
    PackReport report;
    std::string problem = PackFolder(options_, &report);
    EXPECT_NE(problem.find(expected), std::string::npos) << problem;
    EXPECT_TRUE(OutputFolder().empty()) << "left behind: " << OutputFolder()[0];
  }

  std::string root_, source_, out_;
  PackOptions options_;
};

// The entry headers of a launcher, in order.
inline std::vector<EntryHeader> Entries(const Bytes& launcher) {
  std::vector<EntryHeader> entries;
  uint32_t start = LoadLe32(&launcher[kLocatorOffset]);
  uint32_t length = LoadLe32(&launcher[kLocatorOffset + 4]);
  for (uint32_t at = 4; at < length;) {
    EntryHeader header;
    ParseEntryHeader(&launcher[start + at], &header);
    entries.push_back(header);
    at = header.dataEnd;
  }
  return entries;
}
