#include "base/TextEncoding.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace zalvo {

namespace {

std::u16string utf16Of(char32_t codePoint) {
    if (codePoint < 0x10000) {
        return {static_cast<char16_t>(codePoint)};
    }
    const char32_t offset = codePoint - 0x10000;
    return {static_cast<char16_t>(0xD800 + (offset >> 10)), static_cast<char16_t>(0xDC00 + (offset & 0x3FF))};
}

TEST(TextEncodingTest, Utf8OfLatinCjkAndEmojiPaths) {
    EXPECT_EQ(TextEncoding::toUtf8(u""), "");
    EXPECT_EQ(TextEncoding::toUtf8(u"/music/a.ogg"), "/music/a.ogg");
    EXPECT_EQ(TextEncoding::toUtf8(u"Caf\u00E9.ogg"), "Caf\xC3\xA9.ogg");
    EXPECT_EQ(TextEncoding::toUtf8(u"\u591C.mp3"), "\xE5\xA4\x9C.mp3");
    EXPECT_EQ(TextEncoding::toUtf8(u"\U0001F3B5.wav"), "\xF0\x9F\x8E\xB5.wav");
    EXPECT_EQ(TextEncoding::toUtf8(u"\u007F\u0080\u07FF\u0800\uFFFF\U00010000\U0010FFFF"),
              "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF");
}

TEST(TextEncodingTest, LoneSurrogatesHaveNoUtf8) {
    const std::u16string highAtEnd{u'a', char16_t{0xD83C}};
    const std::u16string highBeforeLetter{char16_t{0xD83C}, u'a'};
    const std::u16string lowAlone{u'a', char16_t{0xDFB5}, u'b'};
    const std::u16string swappedPair{char16_t{0xDFB5}, char16_t{0xD83C}};
    const std::u16string twoHighs{char16_t{0xD83C}, char16_t{0xD83C}, char16_t{0xDFB5}};
    EXPECT_EQ(TextEncoding::toUtf8(highAtEnd), std::nullopt);
    EXPECT_EQ(TextEncoding::toUtf8(highBeforeLetter), std::nullopt);
    EXPECT_EQ(TextEncoding::toUtf8(lowAlone), std::nullopt);
    EXPECT_EQ(TextEncoding::toUtf8(swappedPair), std::nullopt);
    EXPECT_EQ(TextEncoding::toUtf8(twoHighs), std::nullopt);
}

TEST(TextEncodingTest, EveryCodePointSurvivesTheRoundTrip) {
    for (char32_t codePoint = 0; codePoint <= 0x10FFFF; ++codePoint) {
        if (codePoint >= 0xD800 && codePoint < 0xE000) {
            continue;
        }
        const std::u16string text = utf16Of(codePoint);
        const std::optional<std::string> bytes = TextEncoding::toUtf8(text);
        ASSERT_TRUE(bytes.has_value()) << std::hex << static_cast<unsigned>(codePoint);
        ASSERT_EQ(TextEncoding::fromUtf8(*bytes), text) << std::hex << static_cast<unsigned>(codePoint);
    }
}

TEST(TextEncodingTest, NamesThatAreNotUtf8KeepTheirBytesAndShowAsWindows1252) {
    const std::u16string escapedE{u'c', u'a', u'f', char16_t{0xDCE9}};
    EXPECT_EQ(TextEncoding::fromFileSystem("caf\xE9"), escapedE);
    EXPECT_EQ(TextEncoding::readable(escapedE), u"caf\u00E9");
    // U+1F480 ends in the unit an escaped 0x80 would be.
    EXPECT_EQ(TextEncoding::readable(u"\U0001F480\xDC80"), u"\U0001F480\u20AC");
    EXPECT_EQ(TextEncoding::fromFileSystem("caf\xC3\xA9"), u"caf\u00E9");
    for (const std::string bytes : {"caf\xE9.wav", "\xC3(\xC3\xA9\xFF\x80", "\xED\xB3\xA9", "\xF0\x9F\x8E"}) {
        EXPECT_EQ(TextEncoding::toUtf8(TextEncoding::fromFileSystem(bytes)), bytes) << bytes;
    }
}

TEST(TextEncodingTest, MalformedUtf8IsRejected) {
    for (const std::string bytes : {
             "\x80",             // stray continuation byte
             "\xC3",             // sequence cut at the end
             "a\xE5\xA4",        // three-byte sequence cut short
             "\xC3(",            // lead byte without its continuation
             "\xC0\xAF",         // overlong slash
             "\xE0\x80\xAF",     // overlong slash, three bytes
             "\xF0\x80\x80\xAF", // overlong slash, four bytes
             "\xED\xA0\x80",     // encoded surrogate
             "\xF4\x90\x80\x80", // past U+10FFFF
             "\xF8\x88\x80\x80\x80",
             "\xFF",
         }) {
        EXPECT_EQ(TextEncoding::fromUtf8(bytes), std::nullopt) << bytes;
    }
}

TEST(TextEncodingTest, Windows1252CoversItsWholeUpperHalf) {
    EXPECT_EQ(TextEncoding::fromWindows1252("Caf\xE9"), u"Caf\u00E9");
    EXPECT_EQ(TextEncoding::fromWindows1252("\x80\x8A\x9F"), u"\u20AC\u0160\u0178");
    EXPECT_EQ(TextEncoding::fromWindows1252("\x81\x8D\x8F\x90\x9D"), u"\u0081\u008D\u008F\u0090\u009D");
    EXPECT_EQ(TextEncoding::fromWindows1252("\xA0\xFF"), u"\u00A0\u00FF");
    EXPECT_EQ(TextEncoding::fromWindows1252(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
}

TEST(TextEncodingTest, NarrowStringsAreUtf8WhenValidElseWindows1252) {
    EXPECT_EQ(TextEncoding::fromNarrow("C:\\a.ogg"), u"C:\\a.ogg");
    EXPECT_EQ(TextEncoding::fromNarrow("Caf\xC3\xA9.ogg"), u"Caf\u00E9.ogg");
    EXPECT_EQ(TextEncoding::fromNarrow("\xE5\xA4\x9C.mp3"), u"\u591C.mp3");
    EXPECT_EQ(TextEncoding::fromNarrow("Caf\xE9.ogg"), u"Caf\u00E9.ogg");
    EXPECT_EQ(TextEncoding::fromNarrow("\x93quoted\x94 \xC3"), u"\u201Cquoted\u201D \u00C3");
    EXPECT_EQ(TextEncoding::fromNarrow(""), u"");
}

} // namespace

} // namespace zalvo
