#include "engine/indexfile/CIndexFile.h"
#include "engine/indexfile/BlockClaims.h"
#include "engine/indexfile/IndexBytes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "support/TempDir.h"

namespace kro {
namespace {

using test::TempDir;

class IndexFileOpen : public CIndexFile {
 public:
  IndexFileOpen() : CIndexFile(Env::Default()) {}
  uint32_t BlockGrain() const override { return 1; }
};

TEST(CIndexFile, CreatedFlagDescribesTheFileAsFound) {
  TempDir dir;
  const std::string name = dir.File("a.sif");
  {
    IndexFileOpen file;
    ASSERT_TRUE(file.OpenIndexFile(name.c_str(), 2 + 16));
    EXPECT_TRUE(file.WasCreated()) << "a missing file opened with 2+16 is created";
    EXPECT_FALSE(file.IsReadOnly());
    EXPECT_EQ(file.FileName(), name);
  }
  {
    IndexFileOpen file;
    ASSERT_TRUE(file.OpenIndexFile(name.c_str(), 2 + 16));
    EXPECT_FALSE(file.WasCreated()) << "an existing file opened with 2+16 is read";
  }
  {
    IndexFileOpen file;
    ASSERT_TRUE(file.OpenIndexFile(name.c_str(), 2 + 8));
    EXPECT_TRUE(file.WasCreated()) << "2+8 always creates";
  }
  {
    IndexFileOpen file;
    ASSERT_TRUE(file.OpenIndexFile(name.c_str(), 1));
    EXPECT_TRUE(file.IsReadOnly());
    EXPECT_FALSE(file.WasCreated());
    ASSERT_TRUE(file.ReopenIndexFile());
    EXPECT_NE(file.Handle(), kInvalidFileHandle);
  }
  IndexFileOpen missing;
  EXPECT_FALSE(missing.OpenIndexFile(dir.File("none.sif").c_str(), 2));
  EXPECT_EQ(missing.Handle(), kInvalidFileHandle);
  EXPECT_TRUE(missing.FileName().empty());
}

TEST(CIndexFile, IntegerAndRealCodecsAreBigEndian) {
  unsigned char out[8] = {};
  CIndexFile::PutUInt(0x414B4946, 32, out);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 4), "AKIF");
  CIndexFile::PutUInt(0x414B4946, 16, out);
  EXPECT_EQ(out[0], 0x49);
  EXPECT_EQ(out[1], 0x46);
  const unsigned char one[2] = {0x00, 0x01};
  EXPECT_EQ(CIndexFile::GetUInt(one, 16), 1u);

  CIndexFile::PutReal(1.0, 64, out);
  EXPECT_EQ(out[0], 0x3F);
  EXPECT_EQ(out[1], 0xF0);
  EXPECT_EQ(CIndexFile::GetReal(out, 64), 1.0);
  CIndexFile::PutReal(0.1, 32, out);
  EXPECT_EQ(CIndexFile::GetReal(out, 32), static_cast<double>(0.1f)) << "singles are the nearest single";
  CIndexFile::PutReal(-2.5e300, 64, out);
  EXPECT_EQ(CIndexFile::GetReal(out, 64), -2.5e300);
}

TEST(CIndexFile, DescriptionStringForms) {
  unsigned char out[kMaxIndexStringForm + 4] = {};
  char back[kMaxIndexDescription + 1];
  EXPECT_EQ(CIndexFile::PutString("", out), 0u);
  EXPECT_EQ(out[0], 0);

  const std::string t254(254, 'd');
  EXPECT_EQ(CIndexFile::PutString(t254.c_str(), out), 254u);
  EXPECT_EQ(out[0], 0xFE);
  ASSERT_TRUE(CIndexFile::GetString(out, sizeof out, back));
  EXPECT_EQ(std::string(back), t254);

  const std::string t255(255, 'e');
  EXPECT_EQ(CIndexFile::PutString(t255.c_str(), out), 255u);
  EXPECT_EQ(out[0], 0xFF);
  EXPECT_EQ(out[1], 0x00);
  EXPECT_EQ(out[2], 0xFF);
  EXPECT_EQ(out[3], 'e');
  ASSERT_TRUE(CIndexFile::GetString(out, sizeof out, back));
  EXPECT_EQ(std::string(back), t255);
}

TEST(CIndexFile, StringsThatDoNotFitAreRefused) {
  char back[kMaxIndexDescription + 1];
  const unsigned char tooLong[3] = {0xFF, 0x01, 0x00};  // claims 256 bytes
  EXPECT_FALSE(CIndexFile::GetString(tooLong, 600, back));
  EXPECT_EQ(back[0], '\0');
  const unsigned char overrun[2] = {5, 'a'};
  EXPECT_FALSE(CIndexFile::GetString(overrun, sizeof overrun, back));
  const unsigned char cutPrefix[2] = {0xFF, 0x00};
  EXPECT_FALSE(CIndexFile::GetString(cutPrefix, sizeof cutPrefix, back));
}

TEST(CIndexFile, CopyBoundedAndGreatestCommonDivisor) {
  const std::string text(300, 'x');
  char dst[256];
  dst[255] = '#';
  EXPECT_EQ(CIndexFile::CopyBounded(dst, text.c_str(), 255), 255u);
  EXPECT_EQ(dst[255], '#');
  std::string cut(254, 'x');
  cut += "\xC3\xA9";
  EXPECT_EQ(CIndexFile::CopyBounded(dst, cut.c_str(), 255), 254u);
  EXPECT_EQ(dst[254], '\0');

  EXPECT_EQ(CIndexFile::GreatestCommonDivisor(804, 720), 12u);
  EXPECT_EQ(CIndexFile::GreatestCommonDivisor(720, 760), 40u);
  EXPECT_EQ(CIndexFile::GreatestCommonDivisor(7, 7), 7u);
}

// Free-list links need their four bytes; a description's end follows its
// form; a place is claimed once, and a file too small for any block has none.
TEST(CIndexFile, SharedDecodersStayWithinTheirBytes) {
  const unsigned char link[4] = {0x00, 0x00, 0x02, 0x00};
  uint32_t next = 7;
  EXPECT_FALSE(DecodeFreeLink(link, 3, next));
  EXPECT_EQ(next, 7u);
  ASSERT_TRUE(DecodeFreeLink(link, 4, next));
  EXPECT_EQ(next, 512u);

  unsigned char header[kIndexHeaderSize] = {};
  EXPECT_EQ(DescriptionEnd(header, 32), 33u);
  header[32] = 3;
  EXPECT_EQ(DescriptionEnd(header, 32), 36u);
  header[32] = 0xFF;
  header[34] = 0xFF;
  EXPECT_EQ(DescriptionEnd(header, 32), 32u + 3 + 255);
  EXPECT_EQ(FirstNonZeroByte(header, 32), 32u);
  EXPECT_TRUE(AreZeroBytes(header, 32));

  BlockClaims claims(kIndexHeaderSize + 3 * 40, 40);
  EXPECT_EQ(claims.PlaceCount(), 4u);
  EXPECT_TRUE(claims.Claim(552));
  EXPECT_FALSE(claims.Claim(552));
  EXPECT_TRUE(claims.Claim(512));
  EXPECT_EQ(BlockClaims(kIndexHeaderSize, 40).PlaceCount(), 0u);
}

}  // namespace
}  // namespace kro
