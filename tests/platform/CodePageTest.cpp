#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

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

// The string conversion has a path of its own for ASCII text and one for the
// rest; both must give what the general conversion gives.
TEST(CodePage, BstrConversionMatchesTheWideConversion) {
  const char* const inputs[] = {"",
                                "plain ascii name",
                                "Gr\xC3\xBC\xC3\x9F" "e",
                                "map \xF0\x9F\x97\xBA at the end \xF0\x9F\x97\xBA",
                                "\xE2\x82\xAC",
                                "bad \xFF lead, cut \xC3",
                                "\xED\xA0\x80 surrogate bytes",
                                "\xC0\xAF overlong",
                                "\x7F\x80"};
  for (const char* input : inputs) {
    const std::u16string expected = MultiByteToWide(input, std::strlen(input));
    BSTR text = MultiByteToBstr(input);
    ASSERT_NE(text, nullptr) << input;
    EXPECT_EQ(std::u16string(text, SysStringLen(text)), expected) << input;
    EXPECT_EQ(text[SysStringLen(text)], 0) << input;
    SysFreeString(text);
  }
}

// ASCII is recognised eight bytes at a time, then byte by byte: one byte
// outside ASCII must be found at every place of every length around those
// steps, and a text given with its length must not be read beyond it.
TEST(CodePage, OneNonAsciiByteIsFoundAtEveryPlace) {
  for (size_t length = 1; length <= 25; ++length) {
    for (size_t at = 0; at < length; ++at) {
      std::string input(length, 'a');
      input[at] = '\xE9';  // an invalid byte: U+FFFD
      const std::u16string expected = MultiByteToWide(input.data(), length);
      BSTR text = MultiByteToBstr((input + "\xC3\xA9").data(), length);
      ASSERT_NE(text, nullptr);
      EXPECT_EQ(std::u16string(text, SysStringLen(text)), expected) << length << " " << at;
      EXPECT_EQ(text[at], u'\xFFFD');
      SysFreeString(text);
    }
  }
}

}  // namespace
}  // namespace kro
