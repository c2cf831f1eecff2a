#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "catalogue/Strings.h"

namespace {

using catalogue::SplitField;
using catalogue::SplitFieldNumber;
using catalogue::SplitFieldText;

TEST(SplitField, Table) {
    const std::optional<std::string> none;
    struct Case {
        std::string text, delimiter;
        int field;
        std::optional<std::string> expected;
    } cases[] = {
        {"a b c", " ", 2, "b"},
        {"a b c", " ", 1, "a"},
        {"a b c", " ", 3, "c"},
        {"a b", " ", 3, none},
        {"a b", " ", 0, none},
        {"a b", " ", -1, none},
        {"", " ", 1, none},
        {"", " ", 2, none},
        {"a  b", " ", 2, ""},
        {"a  b", " ", 3, "b"},
        {" a", " ", 1, ""},
        {"a ", " ", 2, ""},
        {"a ", " ", 3, none},
        {" ", " ", 1, ""},
        {" ", " ", 2, ""},
        {"abc", " ", 1, "abc"},
        {"abc", " ", 2, none},
        // Delimiters of several characters are matched whole, exactly, case-sensitively.
        {"a<CRLF>b<crlf>c", "<CRLF>", 2, "b<crlf>c"},
        {"a::b:c", "::", 2, "b:c"},
        {"aXbxc", "X", 2, "bxc"},
        {"aaa", "aa", 1, ""},
        {"aaa", "aa", 2, "a"},
        // TAB fields of a catalogue line.
        {"A\tL\tE", "\t", 3, "E"},
        {"A\t\tE", "\t", 2, ""},
        {"A\t\tE", "\t", 3, "E"},
        {"A\tL\tE\tX\tY", "\t", 3, "E"},
        {"A\tL\tE\tX\tY", "\t", 5, "Y"},
        {"A", "\t", 2, none},
        {std::string("\0\t\xFF", 3), "\t", 1, std::string(1, '\0')},
        {std::string("\0\t\xFF", 3), "\t", 2, "\xFF"},
        // An empty delimiter cuts nothing.
        {"abc", "", 1, "abc"},
        {"abc", "", 2, none},
        {"", "", 1, none},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("text '" + c.text + "' delimiter '" + c.delimiter + "' field " +
                     std::to_string(c.field));
        EXPECT_EQ(SplitField(c.text, c.delimiter, c.field), c.expected);
        EXPECT_EQ(SplitFieldText(c.text, c.delimiter, c.field), c.expected.value_or(""));
    }
}

TEST(SplitField, ManyPieces) {
    std::string text;
    for (int i = 1; i <= 10000; ++i)
        text += std::to_string(i) + ",";
    EXPECT_EQ(SplitField(text, ",", 9999), "9999");
    EXPECT_EQ(SplitField(text, ",", 10001), "");
    EXPECT_EQ(SplitField(text, ",", 10002), std::nullopt);
}

TEST(SplitFieldNumber, ItemIndexRule) {
    struct Case {
        std::string text;
        std::int32_t expected;
    } cases[] = {
        {"3 [17]  Relay denied", 3},
        {"0 [1]  x", 0},
        {"12 [100]  554 5.7.1 Message refused", 12},
        {"2147483647 [1]  x", 2147483647},
        {"2147483648 [1]  x", 0},
        {"99999999999999999999 [1]  x", 0},
        {"", 0},
        {" 3 [1]", 0},
        {"-1 [1]  x", 0},
        {"+4 [1]  x", 0},
        {"4x [1]", 0},
        {"007 [1]", 7},
        {"5", 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(SplitFieldNumber(c.text, " ", 1), c.expected);
    }
    EXPECT_EQ(SplitFieldNumber("a 42", " ", 2), 42);
    EXPECT_EQ(SplitFieldNumber("a 42", " ", 3), 0);
}

} // namespace
