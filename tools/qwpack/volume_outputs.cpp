#include "tools/qwpack/volume_outputs.h"

#include <algorithm>

#include "decode/volume_set.h"
#include "tools/qwpack/host/host_files.h"

namespace {

constexpr size_t kCopyChunk = 1 << 20;

// Copies `length` bytes at `from` in `source` to `to` in `target`.
bool CopyRange(int source, uint64_t from, uint64_t length, int target, uint64_t to) {
  std::vector<uint8_t> chunk(kCopyChunk);
  for (uint64_t done = 0; done < length;) {
    size_t part = static_cast<size_t>(std::min<uint64_t>(chunk.size(), length - done));
    if (!HostReadAt(source, chunk.data(), part, from + done) ||
        !HostWriteAt(target, chunk.data(), part, to + done))
      return false;
    done += part;
  }
  return true;
}

// The record of the first `length` bytes of `fd`.
bool RecordOf(int fd, uint64_t length, VolumeRecord* record) {
  std::vector<uint8_t> chunk(kCopyChunk);
  Sha256 hash;
  Sha256Begin(&hash);
  for (uint64_t done = 0; done < length;) {
    size_t part = static_cast<size_t>(std::min<uint64_t>(chunk.size(), length - done));
    if (!HostReadAt(fd, chunk.data(), part, done)) return false;
    Sha256Add(&hash, chunk.data(), part);
    done += part;
  }
  record->length = length;
  Sha256Finish(&hash, record->sha256);
  return true;
}

std::string WriteProblem(const OutputFile& file) {
  return "cannot write " + file.temporaryPath() + ": " + HostErrorText();
}

}  // namespace

std::string VolumePathBeside(const std::string& programPath, uint32_t number) {
  std::vector<char> path(programPath.size() + 16);
  VolumeFilePath(programPath.c_str(), number, path.data(), path.size());
  return path.data();
}

VolumeOutputs::VolumeOutputs(const std::string& programPath, OutputFile* program,
                             uint64_t packageOffset)
    : programPath_(programPath), program_(program), packageOffset_(packageOffset) {}

std::string VolumeOutputs::StartFirstVolume() {
  packageOffset_ = 0;
  return OpenVolume();
}

PackageFiles VolumeOutputs::Files() {
  PackageFiles files = HostPackageFiles(-1);
  files.writeAt = [this](const uint8_t* bytes, size_t length, uint64_t offset) {
    return HostWriteAt(CurrentFd(), bytes, length, offset);
  };
  files.nextVolume = [this](uint64_t partLength, uint64_t from, uint64_t length, uint64_t to) {
    return NextVolume(partLength, from, length, to);
  };
  return files;
}

int VolumeOutputs::CurrentFd() const {
  return volumes_.empty() ? program_->fd() : volumes_.back()->fd();
}

std::string VolumeOutputs::OpenVolume() {
  if (volumes_.size() == kMaxVolumes)
    return "a set holds at most " + std::to_string(kMaxVolumes) +
           " volumes; give a larger --volume-size";
  volumes_.emplace_back(new OutputFile());
  return volumes_.back()->Open(VolumePathBeside(programPath_, volumes_.size()));
}

// The part that ends is the program file's package, which then becomes
// volume 1, or a volume. The entry that would have passed its end goes on
// at the start of the next volume, and the part is cut where it began.
std::string VolumeOutputs::NextVolume(uint64_t partLength, uint64_t from, uint64_t length,
                                      uint64_t to) {
  bool fromProgram = volumes_.empty();
  std::string problem;
  if (fromProgram) {
    problem = OpenVolume();
    if (!problem.empty()) return problem;
    if (!CopyRange(program_->fd(), packageOffset_, partLength, volumes_.back()->fd(), 0))
      return WriteProblem(*volumes_.back());
  }
  int source = fromProgram ? program_->fd() : volumes_.back()->fd();
  uint64_t cutAt = fromProgram ? packageOffset_ : partLength;
  lengths_.push_back(partLength);
  problem = OpenVolume();
  if (!problem.empty()) return problem;
  if (!CopyRange(source, from, length, volumes_.back()->fd(), to) || !HostTruncate(source, cutAt))
    return WriteProblem(*volumes_.back());
  packageOffset_ = 0;
  return "";
}

std::string VolumeOutputs::Finish(uint64_t lastLength, std::vector<VolumeRecord>* records) {
  lengths_.push_back(lastLength);
  records->clear();
  for (size_t i = 0; i < volumes_.size(); i++) {
    uint8_t header[kVolumeHeaderSize];
    SerializeVolumeHeader(static_cast<uint32_t>(i + 1), header);
    VolumeRecord record;
    if (!HostWriteAt(volumes_[i]->fd(), header, kVolumeHeaderSize, 0) ||
        !RecordOf(volumes_[i]->fd(), lengths_[i], &record))
      return WriteProblem(*volumes_[i]);
    records->push_back(record);
  }
  return "";
}

std::string VolumeOutputs::Commit() {
  for (std::unique_ptr<OutputFile>& volume : volumes_) {
    std::string problem = volume->Commit();
    if (!problem.empty()) return problem;
  }
  return "";
}

std::vector<std::string> VolumeOutputs::Paths() const {
  std::vector<std::string> paths;
  for (size_t i = 0; i < volumes_.size(); i++)
    paths.push_back(VolumePathBeside(programPath_, static_cast<uint32_t>(i + 1)));
  return paths;
}
