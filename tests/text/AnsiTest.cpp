#include <gtest/gtest.h>

#include "text/Ansi.h"

TEST(Ansi, Windows1252RoundTripsEveryByte) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    EXPECT_EQ(text::EncodeAnsi(text::DecodeAnsi(all)), all);
    EXPECT_EQ(text::Utf8ToAnsi(text::AnsiToUtf8(all)), all);
}

TEST(Ansi, KnownCharacters) {
    EXPECT_EQ(text::DecodeAnsi("\x80\x81\xe9"), std::u16string(u"\u20AC\u0081\u00E9"));
    EXPECT_EQ(text::AnsiToUtf8("\x80"), "\xE2\x82\xAC");
    EXPECT_EQ(text::EncodeAnsi(u"\u4E2D"), "?");
    EXPECT_EQ(text::EncodeAnsi(u"\U0001F600"), "?");
    EXPECT_EQ(text::Utf8ToAnsi("\xff\xC3\xA9"), "?\xe9");
}
