#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <sys/stat.h>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "text/LineReader.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteBytes;

std::vector<std::string> ReadLines(const std::string& path, std::size_t block) {
    text::LineReader reader(block);
    EXPECT_TRUE(reader.Open(path).ok);
    std::vector<std::string> lines;
    std::string_view line;
    while (reader.Next(line))
        lines.emplace_back(line);
    EXPECT_TRUE(reader.ReadStatus().ok);
    return lines;
}

// The reference split: CR LF or lone CR end a line, LF is ordinary, no empty line after a final terminator.
std::vector<std::string> ReferenceLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::string current;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r') {
            lines.push_back(current);
            current.clear();
            if (i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
        } else {
            current.push_back(bytes[i]);
        }
    }
    if (!current.empty())
        lines.push_back(current);
    return lines;
}

TEST(LineReader, LineConventions) {
    struct Case {
        std::string bytes;
        std::vector<std::string> lines;
    } cases[] = {
        {"", {}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\r\nb", {"a", "b"}},
        {"a\rb\r", {"a", "b"}},
        {"a\nb\r\n", {"a\nb"}},
        {"a\n", {"a\n"}},
        {"\r\n\r\n", {"", ""}},
        {"\r\r\n\r", {"", "", ""}},
        {"x\r\n\n", {"x", "\n"}},
        {std::string("n\0l\x1a\r\n", 6), {std::string("n\0l\x1a", 4)}},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        WriteBytes(dir.File("f"), c.bytes);
        for (std::size_t block : {16u, 4096u})
            EXPECT_EQ(ReadLines(dir.File("f"), block), c.lines);
    }
}

TEST(LineReader, RandomFilesMatchReferenceAcrossBlockEdges) {
    std::mt19937 rng(42);
    const char alphabet[] = {'a', 'b', '\r', '\n', '\t'};
    TempDir dir;
    for (int round = 0; round < 200; ++round) {
        std::string bytes(rng() % 300, ' ');
        for (auto& b : bytes)
            b = alphabet[rng() % 5];
        WriteBytes(dir.File("f"), bytes);
        SCOPED_TRACE(round);
        EXPECT_EQ(ReadLines(dir.File("f"), 16 + rng() % 40), ReferenceLines(bytes));
    }
}

TEST(LineReader, LongLineIsOneLineAndOffsetsAreExact) {
    TempDir dir;
    const std::string longLine(100000, 'x');
    WriteBytes(dir.File("f"), "ab\r\n" + longLine + "\rcd");
    text::LineReader reader(64);
    ASSERT_TRUE(reader.Open(dir.File("f")).ok);
    std::string_view line;
    std::uint64_t offset = 0;
    ASSERT_TRUE(reader.Next(line, &offset));
    EXPECT_EQ(offset, 0u);
    ASSERT_TRUE(reader.Next(line, &offset));
    EXPECT_EQ(line, longLine);
    EXPECT_EQ(offset, 4u);
    ASSERT_TRUE(reader.Next(line, &offset));
    EXPECT_EQ(line, "cd");
    EXPECT_EQ(offset, 4u + longLine.size() + 1);
    EXPECT_FALSE(reader.Next(line));
}

TEST(LineReader, PiecesOverlapAndRebuildEveryLine) {
    std::mt19937 rng(7);
    TempDir dir;
    for (int round = 0; round < 100; ++round) {
        std::string bytes;
        const int lines = 1 + static_cast<int>(rng() % 6);
        for (int i = 0; i < lines; ++i) {
            bytes.append(rng() % 120, static_cast<char>('a' + i));
            bytes += (rng() % 3 == 0) ? "\r" : "\r\n";
        }
        if (rng() % 2)
            bytes.pop_back();
        WriteBytes(dir.File("f"), bytes);
        const std::size_t maxPiece = 8 + rng() % 30, overlap = rng() % 8;
        text::LineReader reader(16, maxPiece);
        ASSERT_TRUE(reader.Open(dir.File("f")).ok);
        std::vector<std::string> rebuilt;
        text::LineReader::Piece piece;
        std::string current;
        while (reader.NextPiece(piece, overlap)) {
            EXPECT_LE(piece.text.size(), maxPiece);
            if (piece.first)
                current.clear();
            else
                EXPECT_EQ(piece.fresh, overlap);
            current.append(piece.text.substr(piece.fresh));
            if (piece.last)
                rebuilt.push_back(current);
        }
        SCOPED_TRACE(round);
        EXPECT_EQ(rebuilt, ReferenceLines(bytes));
    }
}

TEST(LineReader, OpenFailures) {
    TempDir dir;
    text::LineReader reader;
    const auto missing = reader.Open(dir.File("missing.log"));
    EXPECT_FALSE(missing.ok);
    EXPECT_FALSE(missing.description.empty());
    EXPECT_FALSE(reader.Open(dir.Path().string()).ok) << "a directory is not a log";
}

} // namespace

TEST(LineReader, RefusesNamedPipesWithoutBlocking) {
    TempDir dir;
    const std::string fifo = dir.File("SMTP-Debug-pipe.log");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    text::LineReader reader;
    const auto status = reader.Open(fifo);
    EXPECT_FALSE(status.ok);
    EXPECT_EQ(status.description, "Not a regular file");
    std::string contents;
    EXPECT_FALSE(text::ReadWholeFile(fifo, contents, 1024).ok);
}

TEST(LineReader, ReadsTheFileAsItWasWhenOpened) {
    // A log the server goes on writing: what is appended after the open is not read, so reading ends
    // however fast the file grows. Both ways of reading stop at the same place.
    TempDir dir;
    const std::string path = dir.File("SMTP-Activity-1.log");
    for (const std::size_t maxPiece : {std::size_t{0}, std::size_t{4}}) {
        SCOPED_TRACE(maxPiece);
        WriteBytes(path, "one\r\ntwo\r\nthr");
        text::LineReader reader(16, maxPiece);
        ASSERT_TRUE(reader.Open(path).ok);
        {
            std::FILE* file = std::fopen(path.c_str(), "ab");
            ASSERT_NE(file, nullptr);
            std::fputs("ee\r\nfour\r\n", file);
            std::fclose(file);
        }
        std::string read;
        text::LineReader::Piece piece;
        while (reader.NextPiece(piece, 0))
            read += std::string(piece.text) + (piece.last ? "|" : "");
        EXPECT_EQ(read, "one|two|thr|");
        EXPECT_TRUE(reader.ReadStatus().ok);
    }
}
