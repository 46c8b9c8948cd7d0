// The resource writer against its reader: random trees read back as
// written, the bytes depend on nothing but the tree, and damaged trees are
// refused without reading outside the section.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>

#include "image/brand/bitmap_file.h"
#include "image/brand/brand.h"
#include "image/brand/icon_file.h"
#include "image/resource_section.h"
#include "common/bytes.h"
#include "image/resource_tree.h"
#include "image/utf16.h"

namespace {

ResourceId RandomId(std::mt19937* random) {
  ResourceId id;
  if ((*random)() % 4 == 0) {
    size_t length = 1 + (*random)() % 12;
    for (size_t i = 0; i < length; i++)
      id.text += static_cast<char16_t>(0x41 + (*random)() % 0x4000);
  } else {
    id.number = (*random)() % 300;
  }
  return id;
}

bool SameKey(const Resource& a, const Resource& b) {
  return a.type == b.type && a.name == b.name && a.language == b.language;
}

bool KeyLess(const Resource& a, const Resource& b) {
  if (!(a.type == b.type)) return a.type < b.type;
  if (!(a.name == b.name)) return a.name < b.name;
  return a.language < b.language;
}

// Up to `most` resources with distinct keys, a few types and names shared.
ResourceTree RandomTree(std::mt19937* random, size_t most) {
  std::vector<ResourceId> types, names;
  for (int i = 0; i < 5; i++) types.push_back(RandomId(random));
  for (int i = 0; i < 9; i++) names.push_back(RandomId(random));
  ResourceTree tree;
  size_t count = (*random)() % (most + 1);
  for (size_t i = 0; i < count; i++) {
    Resource resource;
    resource.type = types[(*random)() % types.size()];
    resource.name = names[(*random)() % names.size()];
    resource.language = static_cast<uint16_t>((*random)() % 3 == 0 ? 0 : (*random)());
    resource.codePage = (*random)() % 2 ? 0 : 1252;
    resource.data.resize((*random)() % 200);
    for (uint8_t& byte : resource.data) byte = static_cast<uint8_t>((*random)());
    bool clash = std::any_of(tree.begin(), tree.end(),
                             [&](const Resource& other) { return SameKey(other, resource); });
    if (!clash) tree.push_back(std::move(resource));
  }
  return tree;
}

void ExpectEqualTrees(const ResourceTree& read, const ResourceTree& written) {
  ASSERT_EQ(read.size(), written.size());
  for (size_t i = 0; i < read.size(); i++) {
    EXPECT_TRUE(SameKey(read[i], written[i])) << "resource " << i;
    EXPECT_EQ(read[i].codePage, written[i].codePage) << "resource " << i;
    EXPECT_EQ(read[i].data, written[i].data) << "resource " << i;
  }
}

std::vector<uint8_t> Written(const ResourceTree& tree, uint32_t sectionRva) {
  std::vector<uint8_t> bytes;
  EXPECT_EQ(WriteResourceTree(tree, sectionRva, &bytes), "");
  return bytes;
}

TEST(ResourceTree, RandomTreesReadBackAsWritten) {
  std::mt19937 random(1957);
  for (int round = 0; round < 300; round++) {
    ResourceTree tree = RandomTree(&random, 40);
    uint32_t sectionRva = 0x1000 * (1 + random() % 0x4000);
    std::vector<uint8_t> bytes = Written(tree, sectionRva);
    EXPECT_EQ(bytes.size() % 8, 0u);

    ResourceTree read;
    ASSERT_EQ(ReadResourceTree(bytes, sectionRva, sectionRva, &read), "") << "round " << round;
    std::sort(tree.begin(), tree.end(), KeyLess);
    ExpectEqualTrees(read, tree);

    // The order resources are given in changes nothing; neither does reading
    // the tree from a section that begins earlier.
    std::shuffle(tree.begin(), tree.end(), random);
    EXPECT_EQ(Written(tree, sectionRva), bytes) << "round " << round;
    std::vector<uint8_t> padded(0x40 + bytes.size(), 0xEE);
    std::copy(bytes.begin(), bytes.end(), padded.begin() + 0x40);
    ASSERT_EQ(ReadResourceTree(padded, sectionRva - 0x40, sectionRva, &read), "");
    EXPECT_EQ(read.size(), tree.size());
  }
}

TEST(ResourceTree, DamagedTreesAreRefusedNotOverrun) {
  std::mt19937 random(2026);
  ResourceTree tree = RandomTree(&random, 30);
  while (tree.size() < 10) tree = RandomTree(&random, 30);
  std::vector<uint8_t> bytes = Written(tree, 0x5000);
  ResourceTree read;
  // Every cut short of the last resource's data loses something the tree needs.
  size_t lastData = bytes.size();
  while (lastData > 0 && bytes[lastData - 1] == 0) lastData--;
  for (size_t cut = 0; cut < lastData; cut += 7) {
    std::vector<uint8_t> shorter(bytes.begin(), bytes.begin() + cut);
    EXPECT_NE(ReadResourceTree(shorter, 0x5000, 0x5000, &read), "") << "cut at " << cut;
  }
  // Random damage: the reader must stay inside the bytes (ASan watches).
  for (int round = 0; round < 2000; round++) {
    std::vector<uint8_t> damaged = bytes;
    for (int flips = 0; flips < 4; flips++)
      damaged[random() % damaged.size()] = static_cast<uint8_t>(random());
    ReadResourceTree(damaged, 0x5000, 0x5000, &read);
  }
  // A directory that names itself as its own child is entered twice.
  std::vector<uint8_t> loop(24, 0);
  loop[14] = 1;
  loop[20] = 0;
  loop[23] = 0x80;
  EXPECT_EQ(ReadResourceTree(loop, 0x1000, 0x1000, &read), "a resource directory is entered twice");
  EXPECT_NE(ReadResourceTree(bytes, 0x5000, 0x4000, &read), "");

  // Data entries that name the same bytes again and again would have the
  // reader copy them at will: refused once they add up past the section.
  ResourceTree pair(2);
  pair[0].type.number = pair[1].type.number = 10;
  pair[0].name.number = 1;
  pair[1].name.number = 2;
  pair[0].data.assign(300, 1);
  pair[1].data.assign(1, 2);
  std::vector<uint8_t> shared = Written(pair, 0x1000);
  ASSERT_EQ(ReadResourceTree(shared, 0x1000, 0x1000, &read), "");
  const size_t dataEntries = 24 + 32 + 2 * 24;  // behind root, type and two name directories
  std::copy(shared.begin() + dataEntries, shared.begin() + dataEntries + 8,
            shared.begin() + dataEntries + 16);
  EXPECT_EQ(ReadResourceTree(shared, 0x1000, 0x1000, &read),
            "the resources' data adds up to more than their section");
  EXPECT_NE(ReadResourceTree(bytes, 0x5000, 0x5000 + static_cast<uint32_t>(bytes.size()), &read),
            "");
}

// The built launcher with its headers and resource directories damaged at
// random: reading, branding and summarising refuse or succeed, and never
// read or write outside the bytes (ASan and UBSan watch in host-asan).
TEST(ResourceTree, DamagedLaunchersAreReadSafely) {
  std::ifstream in(std::string(QW_SOURCE_DIR) + "/build/win32/launcher.exe", std::ios::binary);
  if (!in) GTEST_SKIP() << "build/win32/launcher.exe not built";
  std::vector<uint8_t> launcher((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  ResourceTree tree;
  ASSERT_EQ(ReadImageResources(launcher, &tree), "");
  // Where the resource section's directories lie: behind the last data entry
  // the bytes are pictures, which no reader interprets.
  size_t rsrc = 0;
  for (size_t at = 0; at + 8 <= 0x400; at++)
    if (std::equal(launcher.begin() + at, launcher.begin() + at + 6, ".rsrc"))
      rsrc = launcher[at + 20] | launcher[at + 21] << 8 | launcher[at + 22] << 16;
  ASSERT_NE(rsrc, 0u);
  Brand brand;
  brand.name = "Damaged";
  brand.executionLevel = "asInvoker";
  brand.versionInfo = {{"Comments", "x"}};
  std::mt19937 random(7);
  for (int round = 0; round < 200; round++) {
    std::vector<uint8_t> damaged = launcher;
    for (int flips = 0; flips < 3; flips++) {
      size_t region = random() % 2 ? 0 : rsrc;
      damaged[region + random() % 0x400] = static_cast<uint8_t>(random());
    }
    if (random() % 8 == 0) damaged.resize(random() % damaged.size());
    ResourceTree read;
    ReadImageResources(damaged, &read);
    BrandSummary summary;
    ReadBrandSummary(damaged, &summary);
    std::vector<uint8_t> branded = damaged;
    if (!ApplyBrand(brand, &branded).empty()) {
      EXPECT_EQ(branded, damaged);
    }
  }
  // The pictures' readers on cut and damaged files.
  std::vector<uint8_t> icon = {0, 0,  1, 0,  1, 0, 16, 16, 0, 0, 1,
                               0, 32, 0, 40, 0, 0, 0,  22, 0, 0, 0};
  icon.resize(22 + 40, 0);
  icon[22] = 40;
  icon[34] = 1;
  std::vector<IconImage> images;
  EXPECT_EQ(ReadIconFile(icon, &images), "");
  std::vector<uint8_t> bitmap(54 + 4 * 3, 0);
  bitmap[0] = 'B';
  bitmap[1] = 'M';
  bitmap[10] = 54;
  bitmap[14] = 40;
  bitmap[18] = 1;
  bitmap[22] = 3;
  bitmap[26] = 1;
  bitmap[28] = 24;
  std::vector<uint8_t> resource;
  EXPECT_EQ(ReadBitmapFile(bitmap, {1, 0}, &resource), "");
  EXPECT_EQ(resource.size(), 40u + 12);
  for (int round = 0; round < 3000; round++) {
    std::vector<uint8_t> file = round % 2 ? icon : bitmap;
    file[random() % file.size()] = static_cast<uint8_t>(random());
    file.resize(random() % (file.size() + 1));
    ReadIconFile(file, &images);
    ReadBitmapFile(file, {1, 0}, &resource);
  }
}

// A hostile file's shapes that cost time or memory rather than bounds.
class HostileResources : public ::testing::Test {
 protected:
  // Appends a directory of `count` numbered entries, each naming `target`.
  static uint32_t AddDirectory(std::vector<uint8_t>* section, uint32_t count, uint32_t firstId,
                               uint32_t target) {
    uint32_t at = static_cast<uint32_t>(section->size());
    section->resize(at + 16 + 8 * size_t{count}, 0);
    (*section)[at + 14] = static_cast<uint8_t>(count);
    (*section)[at + 15] = static_cast<uint8_t>(count >> 8);
    for (uint32_t i = 0; i < count; i++) {
      uint8_t* entry = &(*section)[at + 16 + 8 * size_t{i}];
      uint32_t id = firstId + i;
      memcpy(entry, &id, 4);  // little-endian hosts only, as the tests run
      memcpy(entry + 4, &target, 4);
    }
    return at;
  }
};

// 65,535 type entries all naming one directory of 65,535 entries: four
// billion visits for a walk that counts only leaves. A directory is
// entered once.
TEST_F(HostileResources, ADirectoryNamedByManyEntriesIsEnteredOnce) {
  constexpr uint32_t kCount = 0xFFFF;
  std::vector<uint8_t> section;
  uint32_t shared = 16 + 8 * kCount;
  AddDirectory(&section, kCount, 1, shared | 0x80000000u);
  AddDirectory(&section, kCount, 1, (shared + 16 + 8 * kCount) | 0x80000000u);
  AddDirectory(&section, 0, 0, 0);
  ResourceTree tree;
  EXPECT_EQ(ReadResourceTree(section, 0x1000, 0x1000, &tree),
            "a resource directory is entered twice");
}

// Two directories of one type, each of 32,768 names: read, they are one
// type of 65,536 names, more than a directory's 16-bit count can say.
// Written with the count cut to 16 bits, a brand would lose its names.
TEST_F(HostileResources, MoreThan65535IdsInADirectoryAreNotWritten) {
  constexpr uint32_t kHalf = 0x8000;
  std::vector<uint8_t> section(16 + 16, 0);
  section[14] = 2;  // the root: type 6 twice
  section[16] = section[24] = 6;
  uint32_t data = 0x400000;  // one empty data entry for every language, behind the rest
  std::vector<uint32_t> names(2);
  for (int half = 0; half < 2; half++) {
    names[half] = static_cast<uint32_t>(section.size());
    section.resize(section.size() + 16 + 8 * size_t{kHalf}, 0);
  }
  for (int half = 0; half < 2; half++) {
    StoreLe32(&section[16 + 8 * half + 4], names[half] | 0x80000000u);
    section[names[half] + 15] = kHalf >> 8;
    for (uint32_t i = 0; i < kHalf; i++) {
      uint32_t language = AddDirectory(&section, 1, 0, data);
      uint8_t* entry = &section[names[half] + 16 + 8 * size_t{i}];
      StoreLe32(entry, half * kHalf + i);
      StoreLe32(entry + 4, language | 0x80000000u);
    }
  }
  section.resize(data + 16, 0);
  StoreLe32(&section[data], 0x1000);
  ResourceTree tree;
  ASSERT_EQ(ReadResourceTree(section, 0x1000, 0x1000, &tree), "");
  ASSERT_EQ(tree.size(), 2 * size_t{kHalf});
  std::vector<uint8_t> bytes;
  EXPECT_EQ(WriteResourceTree(tree, 0x1000, &bytes),
            "a resource directory would hold more than 65,535 named or numbered entries");
  tree.pop_back();
  EXPECT_EQ(WriteResourceTree(tree, 0x1000, &bytes), "");
  ResourceTree read;
  ASSERT_EQ(ReadResourceTree(bytes, 0x1000, 0x1000, &read), "");
  EXPECT_EQ(read.size(), tree.size());
}

// Images may overlap in an icon file: 64 of them, each as long as the
// file, would be copied 64 times into the resources.
TEST_F(HostileResources, IconImagesAreCappedTogether) {
  constexpr size_t kImage = 400 << 10;
  std::vector<uint8_t> icon(6 + 16 * 64 + kImage, 0);
  StoreLe16(&icon[2], 1);
  StoreLe16(&icon[4], 64);
  for (size_t i = 0; i < 64; i++) {
    StoreLe32(&icon[6 + 16 * i + 8], static_cast<uint32_t>(kImage));
    StoreLe32(&icon[6 + 16 * i + 12], static_cast<uint32_t>(6 + 16 * 64));
  }
  const uint8_t png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::copy(png, png + 8, icon.begin() + 6 + 16 * 64);
  std::vector<IconImage> images;
  EXPECT_EQ(ReadIconFile(icon, &images), "the icon file's images add up to more than 16 MiB");
  StoreLe16(&icon[4], 40);  // 40 of them take 15.6 MiB
  EXPECT_EQ(ReadIconFile(icon, &images), "");
  EXPECT_EQ(images.size(), 40u);
  icon.resize(kMostIconFileBytes + 1);
  EXPECT_EQ(ReadIconFile(icon, &images), "the icon file is larger than 16 MiB");
}

// Text from a launcher's resources is UTF-16 of any kind: a lone surrogate
// becomes U+FFFD, so what reaches a listing (and its JSON) is UTF-8.
TEST_F(HostileResources, LoneSurrogatesBecomeTheReplacementCharacter) {
  EXPECT_EQ(Utf8FromUtf16(u"a\xD800"
                          u"b"),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(Utf8FromUtf16(u"\xDC00"), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf8FromUtf16(u"x\xD83D"), "x\xEF\xBF\xBD");
  EXPECT_EQ(Utf8FromUtf16(u"\xD83D\xDE00"), "\xF0\x9F\x98\x80");  // a pair stays one character
  std::u16string back;
  EXPECT_TRUE(Utf16FromUtf8(Utf8FromUtf16(u"\xD800\xDBFF\xDFFF"), &back));
  EXPECT_EQ(back, u"\xFFFD\U0010FFFF");
}

}  // namespace
