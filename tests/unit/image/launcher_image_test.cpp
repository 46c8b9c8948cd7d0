// The built launchers (build/win32 and build/win64, when they exist): still
// valid PE files after the header move, the package locator's bytes free,
// only system libraries imported, the resources as the window expects them,
// and the version resource as qwpack reads it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "image/pe_checksum.h"
#include "image/resource_section.h"
#include "image/version_resource.h"
#include "qw_version.h"

namespace {

uint16_t U16(const std::vector<uint8_t>& d, size_t at) {
  return at + 2 <= d.size() ? static_cast<uint16_t>(d[at] | d[at + 1] << 8) : 0;
}
uint32_t U32(const std::vector<uint8_t>& d, size_t at) {
  return at + 4 <= d.size() ? U16(d, at) | static_cast<uint32_t>(U16(d, at + 2)) << 16 : 0;
}

struct Section {
  uint32_t address, virtualSize, rawOffset, rawSize;
};

struct PeImage {
  std::vector<uint8_t> data;
  uint32_t header = 0, optional = 0, sizeOfHeaders = 0, directories = 0, entryPoint = 0;
  uint16_t machine = 0, magic = 0;
  std::vector<Section> sections;

  uint32_t Offset(uint32_t rva) const {
    for (const Section& s : sections) {
      if (rva >= s.address && rva < s.address + std::max(s.virtualSize, s.rawSize)) {
        return s.rawOffset + rva - s.address;
      }
    }
    return 0;
  }
  std::pair<uint32_t, uint32_t> Directory(int index) const {
    return {U32(data, directories + 8 * index), U32(data, directories + 8 * index + 4)};
  }
  std::string CString(uint32_t offset) const {
    std::string text;
    while (offset < data.size() && data[offset]) text += static_cast<char>(data[offset++]);
    return text;
  }
};

// Reads the image's headers; a broken file fails the calling test.
bool Load(const std::string& path, PeImage* image) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  image->data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  const std::vector<uint8_t>& d = image->data;
  image->header = U32(d, 0x3C);
  image->machine = U16(d, image->header + 4);
  uint16_t sectionCount = U16(d, image->header + 6);
  image->optional = image->header + 24;
  image->magic = U16(d, image->optional);
  image->entryPoint = U32(d, image->optional + 16);
  image->sizeOfHeaders = U32(d, image->optional + 60);
  image->directories = image->optional + (image->magic == 0x20B ? 112 : 96);
  uint32_t table = image->optional + U16(d, image->header + 20);
  for (uint16_t i = 0; i < sectionCount; i++) {
    uint32_t at = table + 40 * i;
    image->sections.push_back({U32(d, at + 12), U32(d, at + 8), U32(d, at + 20), U32(d, at + 16)});
  }
  return true;
}

class LauncherImageTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    path_ = std::string(QW_SOURCE_DIR) + "/build/" + GetParam() + "/launcher.exe";
    if (!Load(path_, &image_)) GTEST_SKIP() << path_ << " not built";
  }

  // The data of resource `type`/`name` (first language), empty when absent.
  std::vector<uint8_t> Resource(uint32_t type, uint32_t name) const {
    auto [rva, size] = image_.Directory(2);
    uint32_t root = image_.Offset(rva);
    if (!size || !root) return {};
    uint32_t level = root;
    for (uint32_t id : {type, name, 0u}) {
      uint32_t count = U16(image_.data, level + 12) + U16(image_.data, level + 14);
      uint32_t next = 0;
      for (uint32_t i = 0; i < count && !next; i++) {
        uint32_t entry = level + 16 + 8 * i;
        if (id == 0 || U32(image_.data, entry) == id) next = U32(image_.data, entry + 4);
      }
      if (!next) return {};
      level = root + (next & 0x7FFFFFFF);
    }
    uint32_t at = image_.Offset(U32(image_.data, level));
    uint32_t length = U32(image_.data, level + 4);
    if (!at || at + length > image_.data.size()) return {};
    return std::vector<uint8_t>(image_.data.begin() + at, image_.data.begin() + at + length);
  }

  bool Is64() const { return std::string(GetParam()) == "win64"; }

  std::string path_;
  PeImage image_;
};

TEST_P(LauncherImageTest, HeaderLiesBehindThePackageLocator) {
  const std::vector<uint8_t>& d = image_.data;
  ASSERT_GE(d.size(), 1024u);
  EXPECT_EQ(d[0], 'M');
  EXPECT_EQ(d[1], 'Z');
  EXPECT_GE(image_.header, 136u);
  EXPECT_EQ(image_.header % 8, 0u);
  for (size_t i = 128; i < 136; i++) EXPECT_EQ(d[i], 0) << "offset " << i;
  EXPECT_EQ(U32(d, image_.header), 0x00004550u);  // "PE\0\0"
  EXPECT_EQ(image_.machine, Is64() ? 0x8664 : 0x014C);
  EXPECT_EQ(image_.magic, Is64() ? 0x20B : 0x10B);
  EXPECT_EQ(U16(d, image_.header + 22) & 0x2002, 0x0002);  // an executable, not a DLL
}

TEST_P(LauncherImageTest, SectionsAndEntryPointAreIntact) {
  ASSERT_FALSE(image_.sections.empty());
  uint32_t tableEnd = image_.optional + U16(image_.data, image_.header + 20) +
                      40 * static_cast<uint32_t>(image_.sections.size());
  EXPECT_LE(tableEnd, image_.sizeOfHeaders);
  bool entryInCode = false;
  for (const Section& s : image_.sections) {
    if (s.rawSize == 0) continue;
    EXPECT_GE(s.rawOffset, image_.sizeOfHeaders);
    EXPECT_LE(s.rawOffset + s.rawSize, image_.data.size());
    if (image_.entryPoint >= s.address && image_.entryPoint < s.address + s.virtualSize) {
      entryInCode = true;
    }
  }
  EXPECT_TRUE(entryInCode);
}

TEST_P(LauncherImageTest, ImportsOnlySystemLibraries) {
  auto [rva, size] = image_.Directory(1);
  uint32_t at = image_.Offset(rva);
  ASSERT_TRUE(size && at);
  std::vector<std::string> names;
  for (; U32(image_.data, at + 12) != 0; at += 20) {
    std::string name = image_.CString(image_.Offset(U32(image_.data, at + 12)));
    for (char& c : name) c = static_cast<char>(tolower(c));
    names.push_back(name);
  }
  // Known DLLs all: the loader takes them from the system directory whatever
  // lies beside the program (ntdll is mapped into every process before the
  // program's imports are resolved). comctl32 is loaded by full path at run time.
  const std::vector<std::string> allowed = {"kernel32.dll", "user32.dll",  "gdi32.dll",
                                            "advapi32.dll", "shlwapi.dll", "msvcrt.dll",
                                            "ntdll.dll"};
  for (const std::string& name : names) {
    EXPECT_NE(std::find(allowed.begin(), allowed.end(), name), allowed.end()) << name;
  }
  EXPECT_FALSE(names.empty());
}

std::u16string Utf16At(const std::vector<uint8_t>& d, size_t* at) {
  std::u16string text;
  while (U16(d, *at)) {
    text += static_cast<char16_t>(U16(d, *at));
    *at += 2;
  }
  *at += 2;
  return text;
}

struct TemplateItem {
  uint32_t style, exStyle;
  int16_t x, y, cx, cy;
  uint16_t id;
  std::u16string className;  // or "#<atom>"
  std::u16string text;
};

TEST_P(LauncherImageTest, DialogTemplatesAsTheWindowExpects) {
  struct Expected {
    uint32_t id;
    uint16_t points;
    std::u16string face, label;
  };
  for (const Expected& expected :
       {Expected{102, 9, u"宋体", u"正在解压缩文件，请稍候..."},
        Expected{103, 8, u"tahoma", u"Unpacking file. Please wait..."}}) {
    std::vector<uint8_t> d = Resource(5, expected.id);
    ASSERT_FALSE(d.empty()) << "dialog " << expected.id;
    EXPECT_EQ(U32(d, 0), 0x90000040u);  // popup, visible, font in the template
    EXPECT_EQ(U32(d, 4), 0x00040000u);  // WS_EX_APPWINDOW
    ASSERT_EQ(U16(d, 8), 2);            // two controls
    EXPECT_EQ(U16(d, 10), 0);
    EXPECT_EQ(U16(d, 12), 0);
    EXPECT_EQ(U16(d, 14), 190);
    EXPECT_EQ(U16(d, 16), 79);
    size_t at = 18;
    EXPECT_EQ(Utf16At(d, &at), u"");  // no menu
    EXPECT_EQ(Utf16At(d, &at), u"");  // the standard dialog class
    EXPECT_EQ(Utf16At(d, &at), u"");  // no caption text
    EXPECT_EQ(U16(d, at), expected.points);
    at += 2;
    EXPECT_EQ(Utf16At(d, &at), expected.face);

    TemplateItem items[2];
    for (TemplateItem& item : items) {
      at = (at + 3) & ~size_t{3};
      item.style = U32(d, at);
      item.exStyle = U32(d, at + 4);
      item.x = static_cast<int16_t>(U16(d, at + 8));
      item.y = static_cast<int16_t>(U16(d, at + 10));
      item.cx = static_cast<int16_t>(U16(d, at + 12));
      item.cy = static_cast<int16_t>(U16(d, at + 14));
      item.id = U16(d, at + 16);
      at += 18;
      if (U16(d, at) == 0xFFFF) {
        item.className = u"#" + std::u16string(1, static_cast<char16_t>(U16(d, at + 2)));
        at += 4;
      } else {
        item.className = Utf16At(d, &at);
      }
      item.text = Utf16At(d, &at);
      at += 2 + U16(d, at);  // creation data
    }
    EXPECT_EQ(items[0].className, u"msctls_progress32");
    EXPECT_EQ(items[0].text, u"Progress1");
    EXPECT_EQ(items[0].style, 0x50800000u);
    EXPECT_EQ(items[0].id, 1000);
    EXPECT_EQ(items[0].x, 14);
    EXPECT_EQ(items[0].y, 29);
    EXPECT_EQ(items[0].cx, 160);
    EXPECT_EQ(items[0].cy, 14);
    EXPECT_EQ(items[1].className, std::u16string(u"#") + static_cast<char16_t>(0x0082));  // static
    EXPECT_EQ(items[1].text, expected.label);
    EXPECT_EQ(items[1].style, 0x50020000u);
    EXPECT_EQ(items[1].id, 0xFFFF);
    EXPECT_EQ(items[1].x, 39);
    EXPECT_EQ(items[1].y, 55);
    EXPECT_EQ(items[1].cx, 101);
    EXPECT_EQ(items[1].cy, 8);
  }
}

// The (r, g, b) of a bottom-up 24-bit resource bitmap at (x, y) from the top.
uint32_t Pixel(const std::vector<uint8_t>& bitmap, int x, int y) {
  int width = static_cast<int>(U32(bitmap, 4));
  int height = static_cast<int>(U32(bitmap, 8));
  size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
  size_t at = U32(bitmap, 0) + (height - 1 - y) * stride + x * 3;
  return static_cast<uint32_t>(bitmap[at + 2]) << 16 | bitmap[at + 1] << 8 | bitmap[at];
}

uint32_t Grey(uint32_t value) {
  return value << 16 | value << 8 | value;
}

TEST_P(LauncherImageTest, FillBitmapHasItsExactColours) {
  std::vector<uint8_t> fill = Resource(2, 134);
  ASSERT_GE(fill.size(), 40u + 22 * 4);
  EXPECT_EQ(U32(fill, 4), 1u);
  EXPECT_EQ(U32(fill, 8), 22u);
  EXPECT_EQ(U16(fill, 14), 24);
  const uint32_t rows[22] = {0xFFF7A8, 0xFFF1A8, 0xFFE99C, 0xFFDF88, 0xFFD470, 0xFFC959,
                             0xFFBE43, 0xFFB32D, 0xFFA91A, 0xFFA00A, 0xFF7C00, 0xFF6600,
                             0xFF6900, 0xFF6D00, 0xFF7300, 0xFF7900, 0xFF7F00, 0xFF8500,
                             0xFF8A00, 0xFF8A00, 0xFF7D00, 0xFF6D00};
  for (int y = 0; y < 22; y++) EXPECT_EQ(Pixel(fill, 0, y), rows[y]) << "row " << y;
}

TEST_P(LauncherImageTest, SkinBitmapFollowsItsDescription) {
  std::vector<uint8_t> skin = Resource(2, 129);
  ASSERT_GE(skin.size(), 40u + 400 * 300 * 3);
  ASSERT_EQ(U32(skin, 4), 400u);
  ASSERT_EQ(U32(skin, 8), 300u);
  ASSERT_EQ(U16(skin, 14), 24);
  for (int x = 1; x < 400; x++) {
    EXPECT_EQ(Pixel(skin, x, 0), Grey(51));
    EXPECT_EQ(Pixel(skin, x, 26), Grey(51));
  }
  // The title strip, away from the emblem: a falling and a rising grey.
  EXPECT_EQ(Pixel(skin, 100, 1), Grey(179));
  EXPECT_EQ(Pixel(skin, 100, 13), Grey(71));
  EXPECT_EQ(Pixel(skin, 100, 14), Grey(16));
  EXPECT_EQ(Pixel(skin, 100, 25), Grey(71));
  for (int y = 2; y <= 13; y++) EXPECT_LT(Pixel(skin, 300, y), Pixel(skin, 300, y - 1));
  for (int y = 15; y <= 25; y++) EXPECT_GT(Pixel(skin, 300, y), Pixel(skin, 300, y - 1));
  // The emblem is orange at its centre and stays inside columns 6..21, rows 5..20.
  uint32_t centre = Pixel(skin, 13, 12);
  EXPECT_EQ(centre >> 16, 255u);
  EXPECT_LT(centre & 0xFF, (centre >> 8) & 0xFF);
  for (int y = 1; y <= 25; y++) {
    EXPECT_EQ(Pixel(skin, 5, y), Pixel(skin, 200, y));
    EXPECT_EQ(Pixel(skin, 22, y), Pixel(skin, 200, y));
  }
  for (int y = 0; y < 300; y++) {
    uint32_t left = Pixel(skin, 0, y);
    EXPECT_EQ(left, Grey(left & 0xFF));
    EXPECT_GE(left & 0xFF, 43u);
    EXPECT_LE(left & 0xFF, 51u);
  }
  for (int y = 27; y < 300; y++) {
    for (int x = 1; x < 400; x++) {
      uint32_t p = Pixel(skin, x, y);
      ASSERT_EQ(p, Grey(p & 0xFF)) << x << "," << y;
      ASSERT_GE(p & 0xFF, 173u) << x << "," << y;
      ASSERT_LE(p & 0xFF, 194u) << x << "," << y;
    }
  }
}

TEST_P(LauncherImageTest, ManifestRequestsElevationAndIconExists) {
  std::vector<uint8_t> manifest = Resource(24, 1);
  std::string text(manifest.begin(), manifest.end());
  EXPECT_NE(text.find("level=\"requireAdministrator\""), std::string::npos);
  EXPECT_NE(text.find("uiAccess=\"false\""), std::string::npos);
  EXPECT_NE(text.find("version=\"1.0.0.0\""), std::string::npos);
  EXPECT_NE(text.find(Is64() ? "processorArchitecture=\"amd64\"" : "processorArchitecture=\"x86\""),
            std::string::npos);
  EXPECT_FALSE(Resource(14, 128).empty());  // the icon group
}

// The product's name, from which the window and the message boxes take
// their captions: block 1 of the string table, strings 1 and 2.
TEST_P(LauncherImageTest, StringTableNamesTheProductInBothLanguages) {
  std::vector<uint8_t> block = Resource(6, 1);
  std::vector<std::u16string> strings;
  for (size_t at = 0; strings.size() < 16 && at + 2 <= block.size();) {
    size_t length = U16(block, at);
    std::u16string text;
    for (size_t i = 0; i < length; i++) text += static_cast<char16_t>(U16(block, at + 2 + 2 * i));
    strings.push_back(text);
    at += 2 + 2 * length;
  }
  ASSERT_EQ(strings.size(), 16u);
  EXPECT_EQ(strings[1], u"Orvandelle");
  EXPECT_EQ(strings[2], u"澜岫杀毒软件");
}

// qwpack list reads it without Windows; the Wine tests read it back with
// GetFileVersionInfoW.
TEST_P(LauncherImageTest, VersionResourceCarriesTheProjectVersionAndReadsBack) {
  FILE* file = fopen(path_.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  VersionResource version;
  EXPECT_EQ(ReadVersionResource(file, &version), "");
  fclose(file);
  const uint16_t expected[4] = {QW_VERSION_MAJOR, QW_VERSION_MINOR, QW_VERSION_PATCH, 0};
  EXPECT_EQ(VersionText(version.fileVersion), VersionText(expected));
  EXPECT_EQ(VersionText(version.productVersion), VersionText(expected));
  std::map<std::string, std::string> fields(version.strings.begin(), version.strings.end());
  EXPECT_EQ(fields["FileVersion"], QW_VERSION_STRING);
  EXPECT_EQ(fields["ProductVersion"], QW_VERSION_STRING);
  EXPECT_EQ(fields["CompanyName"], QW_PUBLISHER);
  EXPECT_EQ(fields["LegalCopyright"], QW_COPYRIGHT);
  EXPECT_EQ(fields["OriginalFilename"], Is64() ? "launcher-win64.exe" : "launcher-win32.exe");
  EXPECT_FALSE(fields["FileDescription"].empty());
  EXPECT_FALSE(fields["ProductName"].empty());

  // Cut short or with a node's length past its parent, it is refused, not overrun.
  std::u16string key = u"VS_VERSION_INFO";
  auto found = std::search(image_.data.begin(), image_.data.end(),
                           reinterpret_cast<const uint8_t*>(key.data()),
                           reinterpret_cast<const uint8_t*>(key.data() + key.size()));
  ASSERT_NE(found, image_.data.end());
  size_t root = static_cast<size_t>(found - image_.data.begin()) - 6;
  for (size_t cut : {root + 40, root + U16(image_.data, root) - 2}) {
    std::vector<uint8_t> damaged(image_.data.begin(), image_.data.begin() + cut);
    FILE* shortFile = fmemopen(damaged.data(), damaged.size(), "rb");
    EXPECT_EQ(ReadVersionResource(shortFile, &version), "its version resource is malformed");
    fclose(shortFile);
  }
  std::vector<uint8_t> damaged = image_.data;
  damaged[root + 0x5C] = 0xFF;  // the first child's length, behind the fixed part
  damaged[root + 0x5D] = 0x7F;
  FILE* damagedFile = fmemopen(damaged.data(), damaged.size(), "rb");
  EXPECT_EQ(ReadVersionResource(damagedFile, &version), "its version resource is malformed");
  fclose(damagedFile);
}

// The built launchers as the resource writer needs them: the resources
// grow and shrink in place, the base relocations move behind them intact,
// and the headers describe the result.
TEST_P(LauncherImageTest, ResourcesRebuildInPlace) {
  ResourceTree tree;
  ASSERT_EQ(ReadImageResources(image_.data, &tree), "");
  ASSERT_NE(FindResourceEntry(tree, 2, 129), nullptr);
  auto [relocationRva, relocationSize] = image_.Directory(5);
  std::vector<uint8_t> relocations(
      image_.data.begin() + image_.Offset(relocationRva),
      image_.data.begin() + image_.Offset(relocationRva) + relocationSize);
  for (size_t extra : {size_t{300000}, size_t{0}}) {
    ResourceTree changed = tree;
    ::Resource big;
    big.type.number = 10;
    big.name.number = 7;
    big.data.assign(extra, 0x5A);
    if (extra) changed.push_back(big);
    FindResourceEntry(&changed, 2, 129)->data.resize(extra ? 1000 : 40);  // a smaller skin
    PeImage rebuilt;
    rebuilt.data = image_.data;
    ASSERT_EQ(ReplaceImageResources(&rebuilt.data, changed), "");
    ResourceTree read;
    ASSERT_EQ(ReadImageResources(rebuilt.data, &read), "");
    EXPECT_EQ(read.size(), changed.size());
    EXPECT_EQ(FindResourceEntry(read, 2, 129)->data, FindResourceEntry(changed, 2, 129)->data);

    // One file per build and process: ctest runs the two builds' cases at once.
    std::string path =
        ::testing::TempDir() + "/rebuilt-" + GetParam() + "-" + std::to_string(getpid()) + ".exe";
    FILE* out = fopen(path.c_str(), "wb");
    fwrite(rebuilt.data.data(), 1, rebuilt.data.size(), out);
    fclose(out);
    bool loaded = Load(path, &rebuilt);
    std::remove(path.c_str());
    ASSERT_TRUE(loaded);
    const Section& last = rebuilt.sections.back();
    EXPECT_EQ(uint64_t{last.rawOffset} + last.rawSize, rebuilt.data.size());
    EXPECT_EQ(U32(rebuilt.data, rebuilt.optional + 56),
              (last.address + last.virtualSize + 0xFFF) & ~0xFFFu);
    auto [newRelocationRva, newRelocationSize] = rebuilt.Directory(5);
    EXPECT_EQ(newRelocationRva, last.address);
    ASSERT_EQ(newRelocationSize, relocationSize);
    uint32_t at = rebuilt.Offset(newRelocationRva);
    EXPECT_TRUE(std::equal(relocations.begin(), relocations.end(), rebuilt.data.begin() + at));
    PeChecksum checksum(rebuilt.optional + 64);
    checksum.Add(rebuilt.data.data(), rebuilt.data.size());
    EXPECT_EQ(U32(rebuilt.data, rebuilt.optional + 64), checksum.Finish());
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, LauncherImageTest, ::testing::Values("win32", "win64"));

}  // namespace
