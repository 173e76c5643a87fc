#include "platform/CodePage.h"

#include <gtest/gtest.h>

namespace kro {
namespace {

TEST(CodePage, RoundTripsEveryPlane) {
  const std::u16string wide = u"Zürich €  \U0001F5FA end";
  const std::string utf8 = WideToMultiByte(wide.data(), wide.size());
  EXPECT_EQ(utf8, "Z\xC3\xBCrich \xE2\x82\xAC  \xF0\x9F\x97\xBA end");
  EXPECT_EQ(MultiByteToWide(utf8.data(), utf8.size()), wide);
}

TEST(CodePage, InvalidInputBecomesReplacementCharacters) {
  const std::string bad = "a\xFF" "b\xC3";
  EXPECT_EQ(MultiByteToWide(bad.data(), bad.size()), u"a\uFFFDb\uFFFD");
  const char16_t lone[] = {u'x', 0xD800, u'y', 0xDC00};
  EXPECT_EQ(WideToMultiByte(lone, 4), "x\xEF\xBF\xBDy\xEF\xBF\xBD");
}

TEST(CodePage, BstrsCarryTheirLengthAndNullStaysEmpty) {
  BSTR text = MultiByteToBstr("Gr\xC3\xBC\xC3\x9F" "e");
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(SysStringLen(text), 5u);
  EXPECT_EQ(SysStringByteLen(text), 10u);
  EXPECT_EQ(text[5], 0);
  EXPECT_EQ(BstrToMultiByte(text), "Gr\xC3\xBC\xC3\x9F" "e");
  SysFreeString(text);
  EXPECT_EQ(BstrToMultiByte(nullptr), "");
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  SysFreeString(nullptr);
  BSTR empty = SysAllocString(u"");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(SysStringLen(empty), 0u);
  SysFreeString(empty);
}

}  // namespace
}  // namespace kro
