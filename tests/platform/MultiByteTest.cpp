#include "platform/MultiByte.h"

#include <gtest/gtest.h>

#include <string>

namespace kro {
namespace {

TEST(MultiByte, CharacterLengthsOfValidAndInvalidSequences) {
  EXPECT_EQ(MbCharLength("a", 1), 1u);
  EXPECT_EQ(MbCharLength("\xC3\xA9", 2), 2u);          // é
  EXPECT_EQ(MbCharLength("\xE2\x82\xAC", 3), 3u);      // €
  EXPECT_EQ(MbCharLength("\xF0\x9F\x97\xBA", 4), 4u);  // map emoji
  EXPECT_EQ(MbCharLength("\xC3\xA9", 1), 1u) << "a sequence cut by the limit is one invalid byte";
  EXPECT_EQ(MbCharLength("\x80", 1), 1u);
  EXPECT_EQ(MbCharLength("\xC0\xAF", 2), 1u) << "overlong";
  EXPECT_EQ(MbCharLength("\xED\xA0\x80", 3), 1u) << "surrogate";
  EXPECT_EQ(MbCharLength("\xF4\x90\x80\x80", 4), 1u) << "above U+10FFFF";
  EXPECT_EQ(MbCharLength("\xE2\x28\xA1", 3), 1u) << "bad continuation";
}

TEST(MultiByte, BoundedCopyNeverSplitsACharacter) {
  std::string text(254, 'x');
  text += "\xC3\xA9";  // bytes 254 and 255 form one character
  char dst[256];
  dst[255] = '#';
  EXPECT_EQ(MbCopyBounded(dst, text.c_str(), 255), 254u);
  EXPECT_EQ(dst[254], '\0') << "fewer bytes than the limit are terminated";

  const std::string longText(300, 'y');
  dst[255] = '#';
  EXPECT_EQ(MbCopyBounded(dst, longText.c_str(), 255), 255u);
  EXPECT_EQ(dst[255], '#') << "a copy that fills the limit writes no terminator";

  for (const std::string& wide : {std::string("\xE2\x82\xAC"), std::string("\xF0\x9F\x97\xBA")}) {
    for (size_t start = 252; start <= 255; ++start) {
      const std::string cut = std::string(start, 'z') + wide;
      const size_t fits = start + wide.size() <= 255 ? start + wide.size() : start;
      EXPECT_EQ(MbCopyBounded(dst, cut.c_str(), 255), fits) << "a character of " << wide.size()
                                                           << " bytes at " << start << " is kept whole or left out";
    }
  }

  const std::string invalid = "ab\xFF\xFE";
  EXPECT_EQ(MbCopyBounded(dst, invalid.c_str(), 3), 3u) << "invalid bytes count as single characters";
}

TEST(MultiByte, FieldCopyZeroFillsAndLeavesOutCrossingCharacters) {
  char field[4];
  MbCopyField(field, "a\xE2\x82\xAC", 3);
  EXPECT_EQ(std::string(field, 3), std::string("a\0\0", 3));
  MbCopyField(field, "abcd", 4);
  EXPECT_EQ(std::string(field, 4), "abcd");
}

TEST(MultiByte, BoundedCompareOrdersByUnsignedBytes) {
  EXPECT_LT(MbCompareBounded("abc", "abd", 32), 0);
  EXPECT_LT(MbCompareBounded("ab", "abc", 32), 0) << "a prefix sorts first";
  EXPECT_EQ(MbCompareBounded("abcX", "abcY", 3), 0) << "only the first count bytes matter";
  EXPECT_GT(MbCompareBounded("\xC3\xA9", "z", 32), 0) << "multi-byte characters after ASCII";
  EXPECT_EQ(MbCompareBounded("", "", 32), 0);
}

}  // namespace
}  // namespace kro
