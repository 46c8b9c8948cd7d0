// What the C++ image code says of each file named: its PE checksum and
// whether its resources can be rebuilt in place. move_pe_header_test.py
// holds the build's Python against it.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "image/pe_checksum.h"
#include "image/resource_section.h"

int main(int argc, char** argv) {
  for (int i = 1; i < argc; i++) {
    std::ifstream in(argv[i], std::ios::binary);
    std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    uint64_t field = PeChecksumOffset(image);
    PeChecksum checksum(field);
    checksum.Add(image.data(), image.size());
    std::string layout = CheckResourcesLast(image);
    printf("%s\t%08x\t%s\n", field ? "checksum" : "none", field ? checksum.Finish() : 0,
           layout.empty() ? "ok" : layout.c_str());
  }
  return 0;
}
