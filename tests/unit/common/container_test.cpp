#include <gtest/gtest.h>

#include <cstring>

#include "common/container.h"
#include "common/crc32.h"
#include "encode/package_writer.h"

TEST(Crc32, KnownValues) {
  EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);
  EXPECT_EQ(Crc32("", 0), 0u);
  const uint8_t header[4] = {3, 0, 0, 0};
  EXPECT_EQ(Crc32(header, 4), 0x33F170F2u);
  EXPECT_EQ(Crc32("abc", 3), 0x352441C2u);
}

// Every length around the eight-byte steps, at every alignment, and a whole
// block, against the CRC computed one bit at a time.
TEST(Crc32, AgreesWithTheBitwiseDefinition) {
  auto bitwise = [](const uint8_t* p, size_t length) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < length; i++) {
      crc ^= p[i];
      for (int bit = 0; bit < 8; bit++) crc = (crc >> 1) ^ ((crc & 1) ? 0xEDB88320u : 0);
    }
    return ~crc;
  };
  uint8_t data[4096 + 8];
  for (size_t i = 0; i < sizeof data; i++) data[i] = static_cast<uint8_t>(i * 167 + (i >> 8) * 13);
  for (size_t offset = 0; offset < 8; offset++)
    for (size_t length = 0; length <= 40; length++)
      EXPECT_EQ(Crc32(data + offset, length), bitwise(data + offset, length))
          << offset << " " << length;
  EXPECT_EQ(Crc32(data + 3, 4096), bitwise(data + 3, 4096));
  // Going on from the CRC of the bytes before gives the CRC of the whole.
  for (size_t split : {0, 1, 7, 8, 9, 4095, 4096})
    EXPECT_EQ(Crc32Update(Crc32(data, split), data + split, 4096 - split), bitwise(data, 4096))
        << split;
}

TEST(PackageFormat, ExampleOfThreeBytesMatchesByteForByte) {
  PackageBuilder builder;
  builder.AddFile("", "abc.txt", {'a', 'b', 'c'});
  std::vector<uint8_t> package = builder.Build();
  ASSERT_EQ(package.size(), 235u);
  EXPECT_EQ(LoadLe32(package.data()), 1u);
  EntryHeader header;
  ParseEntryHeader(package.data() + 4, &header);
  EXPECT_EQ(header.magic, 0x890A);
  EXPECT_EQ(package[4], 0x0A);
  EXPECT_EQ(package[5], 0x89);
  EXPECT_EQ(header.method, 0);
  EXPECT_STREQ(header.subdirectory, "");
  EXPECT_STREQ(header.fileName, "abc.txt");
  EXPECT_EQ(header.fileSize, 3u);
  EXPECT_EQ(header.lastBlockSize, 3u);
  EXPECT_EQ(header.checksum, 0x6915B2B4u);
  EXPECT_EQ(header.dataStart, 228u);
  EXPECT_EQ(header.dataEnd, 235u);
  const uint8_t block[7] = {3, 0, 0, 0, 'a', 'b', 'c'};
  EXPECT_EQ(memcmp(package.data() + 228, block, 7), 0);
}

TEST(PackageFormat, BlockCountsFollowTheFileSize) {
  PackageBuilder builder;
  builder.AddFile("", "two", std::vector<uint8_t>(8192, 7));
  builder.AddFile("", "one", std::vector<uint8_t>(1, 7));
  builder.AddFile("", "empty", {});
  std::vector<uint8_t> package = builder.Build();
  EntryHeader two, one, empty;
  ParseEntryHeader(package.data() + 4, &two);
  EXPECT_EQ(two.lastBlockSize, 4096u);
  EXPECT_EQ(two.dataEnd - two.dataStart, 2u * (4 + 4096));
  ParseEntryHeader(package.data() + two.dataEnd, &one);
  EXPECT_EQ(one.lastBlockSize, 1u);
  EXPECT_EQ(one.dataStart, two.dataEnd + 224);
  ParseEntryHeader(package.data() + one.dataEnd, &empty);
  EXPECT_EQ(empty.dataStart, empty.dataEnd);
  EXPECT_EQ(empty.lastBlockSize, 0u);
  EXPECT_EQ(empty.checksum, 0u);
  EXPECT_EQ(empty.dataEnd, package.size());
}

TEST(PackageLocator, EndMayMeetTheFileSizeButNotPassIt) {
  EXPECT_TRUE(IsLocatorValid({136, 100}, 236));
  EXPECT_FALSE(IsLocatorValid({136, 101}, 236));
  EXPECT_FALSE(IsLocatorValid({0xFFFFFFF0u, 0x20}, 0xFFFFFFFFu));  // the sum overflows 32 bits
  EXPECT_FALSE(IsLocatorValid({136, 3}, 236));                     // not even a file count
}
