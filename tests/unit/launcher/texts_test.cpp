// The program's texts: the Chinese ones are the GBK bytes of what they say,
// the choice follows the UI language, and messages take their path whole.
#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

#include "launcher/res/texts.h"
#include "launcher/winfx/string.h"

namespace {

std::string GbkToUtf8(const std::string& gbk) {
  iconv_t cd = iconv_open("UTF-8", "GBK");
  EXPECT_NE(cd, (iconv_t)-1);
  std::string out(gbk.size() * 3 + 1, '\0');
  char* in = const_cast<char*>(gbk.data());
  size_t inLeft = gbk.size();
  char* outPtr = &out[0];
  size_t outLeft = out.size();
  size_t converted = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  EXPECT_NE(converted, static_cast<size_t>(-1)) << "not valid GBK";
  out.resize(out.size() - outLeft);
  return out;
}

TEST(Texts, ChineseTextsAreGbk) {
  EXPECT_EQ(GbkToUtf8(kNoSpaceMessage.chinese), "没有足够的空间存放临时文件！");
  EXPECT_EQ(GbkToUtf8(kDamagedPackageMessage.chinese), "文件被修改，请重新下载!");
  EXPECT_EQ(GbkToUtf8(kTokenUnreadableMessage.chinese), "无法读取本程序的访问权限！");
  EXPECT_EQ(GbkToUtf8(kWorkspaceNotMadeMessage.chinese), "无法创建存放临时文件的文件夹！");
}

TEST(Texts, ChineseOnlyForSimplifiedChinese) {
  EXPECT_STREQ(SelectText(kNoSpaceMessage, 2052), kNoSpaceMessage.chinese);
  for (uint16_t language : {1028, 4100, 1033, 0}) {
    EXPECT_STREQ(SelectText(kNoSpaceMessage, language),
                 "No Enough Free Space For Temporary Files!");
  }
}

TEST(MessageFormat, SetsThePathIntoThePattern) {
  CString message;
  message.Format(kWriteFileError, "C:\\Temp\\QW_0A1B2C3D\\a.dat");
  EXPECT_STREQ(message, "Write file:C:\\Temp\\QW_0A1B2C3D\\a.dat error!");
  // A path's own '%' is text, not a directive.
  message.Format(kCreateDirectoryError, "C:\\W\\100%s");
  EXPECT_STREQ(message, "Create Directory:C:\\W\\100%s error!");
}

TEST(MessageFormat, LongestPathFitsAndLongerIsCut) {
  CString message;
  std::string path(519, 'p');  // the longest a 520-byte buffer holds
  message.Format(kDecompressFileError, path.c_str());
  EXPECT_EQ(std::string(message), "Decompress file:" + path + " error!");
  std::string huge(5000, 'h');
  message.Format(kOpenFileError, huge.c_str());
  EXPECT_EQ(message.GetLength(), static_cast<int>(CString::kCapacity) - 1);
}

}  // namespace
