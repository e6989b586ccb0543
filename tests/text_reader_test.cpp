// The platform layer's text reader: pieces as fgets gives them from the text
// as Windows reads it, places to come back to, readers that nest, and the
// line reader's comment lines on top of it.
#include "common/line_reader.h"
#include "platform/platform.h"
#include "support/host_dir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// pieces_of - every piece plat_read_line gives from a file, with a buffer of size bytes.
static std::vector<std::string> pieces_of(const char *path, int size)
{
    std::vector<std::string> out;
    PlatText t;
    if (!plat_open_text(path, &t))
        return {"(no file)"};
    std::vector<char> line((size_t)size);
    while (plat_read_line(line.data(), size, &t))
        out.emplace_back(line.data());
    EXPECT_FALSE(plat_text_failed(&t));
    plat_close_text(&t);
    return out;
}

// windows_text_pieces - what fgets on Windows gives from bytes read in text
// mode: "\r\n" is "\n", a Ctrl-Z ends the text, pieces of at most size - 1.
static std::vector<std::string> windows_text_pieces(const std::string &bytes, int size)
{
    std::string text;
    for (size_t i = 0; i < bytes.size() && bytes[i] != '\x1A'; i++)
        if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n'))
            text += bytes[i];
    std::vector<std::string> out;
    std::string piece;
    for (char c : text) {
        piece += c;
        if (c == '\n' || piece.size() == (size_t)size - 1) {
            out.push_back(piece.c_str());   // as a caller sees it: up to a NUL
            piece.clear();
        }
    }
    if (!piece.empty())
        out.push_back(piece.c_str());
    return out;
}

TEST(TextReader, PiecesAreFgetsPiecesOfTheTextAsWindowsReadsIt)
{
    const std::string x8(8, 'x'), x9(9, 'x'), x10(10, 'x');
    struct Case {
        const char *name;
        std::string bytes;
        std::vector<std::string> pieces;   // with a buffer of 10 bytes
    } cases[] = {
        {"Unix line ends", "a\n\nb\n", {"a\n", "\n", "b\n"}},
        {"Windows line ends", "a\r\n\r\nb\r\n", {"a\n", "\n", "b\n"}},
        {"both kinds", "a\r\n\nb\n\r\n", {"a\n", "\n", "b\n", "\n"}},
        {"no line end at the end", "a\r\nlast", {"a\n", "last"}},
        {"a lone CR is a character", "a\rb\r\r\n\r", {"a\rb\r\n", "\r"}},
        {"Ctrl-Z ends the text", "a\r\nb\x1A" "c\r\n", {"a\n", "b"}},
        {"9 characters and CRLF fit", x8 + "\r\n" + "y\r\n", {x8 + "\n", "y\n"}},
        {"9 characters cut before their line end", x9 + "\r\ny\n", {x9, "\n", "y\n"}},
        {"a longer line comes in pieces", x10 + "\r\n", {x9, "x\n"}},
        {"a NUL is kept in its piece", std::string("a\0b\r\n", 5), {"a"}},
        {"an empty file", "", {}},
    };
    for (const auto &c : cases) {
        HostDir h;
        h.write("morvel/t.prt", c.bytes);
        EXPECT_EQ(pieces_of("morvel\\t.prt", 10), c.pieces) << c.name;
        EXPECT_EQ(windows_text_pieces(c.bytes, 10), c.pieces) << c.name << " (the model)";
    }
}

// Lines that cross the 64 KiB reads, and a "\r\n" split between two reads,
// come out as from a small file.
TEST(TextReader, LargeFilesReadAcrossBlocks)
{
    std::string bytes;
    for (int i = 0; bytes.size() < 300 * 1024; i++) {
        bytes += std::string((size_t)(i * 37 % 420), (char)('a' + i % 26));
        bytes += i % 3 == 0 ? "\n" : "\r\n";
    }
    bytes += "tail";
    HostDir h;
    h.write("morvel/users.prt", bytes);
    for (int size : {80, 300, 1000})
        EXPECT_EQ(pieces_of("morvel\\users.prt", size), windows_text_pieces(bytes, size)) << size;
}

// A reader that notes its place after a line comes back to the same next
// line, however far it read meanwhile and whatever another reader did.
TEST(TextReader, ComingBackToANotedPlace)
{
    std::string bytes = "head\r\nmarked\r\n";
    for (int i = 0; i < 20000; i++)
        bytes += "filler line " + std::to_string(i) + "\r\n";
    HostDir h;
    h.write("morvel/users.prt", bytes);
    h.write("morvel/other.prt", "other\r\n");
    PlatText t, other;
    char line[300];
    ASSERT_TRUE(plat_open_text("morvel\\users.prt", &t));
    ASSERT_NE(plat_read_line(line, sizeof line, &t), nullptr);
    long long mark = plat_text_tell(&t);
    for (int back : {0, 1}) {
        while (plat_read_line(line, sizeof line, &t))
            ;
        EXPECT_STREQ(line, "filler line 19999\n");
        if (back) {
            ASSERT_TRUE(plat_open_text("morvel\\other.prt", &other));
            ASSERT_NE(plat_read_line(line, sizeof line, &other), nullptr);
            plat_close_text(&other);
        }
        ASSERT_TRUE(plat_text_seek(&t, mark));
        ASSERT_NE(plat_read_line(line, sizeof line, &t), nullptr);
        EXPECT_STREQ(line, "marked\n") << back;
    }
    ASSERT_TRUE(plat_text_seek(&t, 0));
    EXPECT_EQ(plat_peek_char(&t), 'h');
    plat_close_text(&t);
}

// The error reporter reads config.prt while users.prt is open, and the same
// file may be open twice: each reader goes on from its own place.
TEST(TextReader, NestedReadersEachKeepTheirPlace)
{
    std::string big, small = "one\r\ntwo\r\nthree\r\n";
    for (int i = 0; i < 30000; i++)
        big += "line " + std::to_string(i) + "\r\n";
    HostDir h;
    h.write("morvel/users.prt", big);
    h.write("morvel/config.prt", small);
    PlatText outer, inner, again;
    char line[100];
    ASSERT_TRUE(plat_open_text("morvel\\users.prt", &outer));
    ASSERT_TRUE(plat_open_text("morvel\\users.prt", &again));
    int n = 0;
    while (plat_read_line(line, sizeof line, &outer)) {
        ASSERT_EQ(line, "line " + std::to_string(n) + "\n");
        if (n % 7000 == 3) {
            ASSERT_TRUE(plat_open_text("morvel\\config.prt", &inner));
            ASSERT_NE(plat_read_line(line, sizeof line, &inner), nullptr);
            EXPECT_STREQ(line, "one\n");
            EXPECT_EQ(plat_peek_char(&inner), 't');
            plat_close_text(&inner);
            ASSERT_NE(plat_read_line(line, sizeof line, &again), nullptr);
            EXPECT_EQ(line, "line " + std::to_string(n / 7000) + "\n");
        }
        n++;
    }
    EXPECT_EQ(n, 30000);
    plat_close_text(&again);
    plat_close_text(&outer);
}

TEST(TextReader, MissingFilesAndTheFailingOpenHook)
{
    HostDir h;
    h.write("morvel/config.prt", "x\r\n");
    PlatText t;
    EXPECT_FALSE(plat_open_text("morvel\\missing.prt", &t));
    plat_test_fail_open("MORVEL\\CONFIG.PRT");
    EXPECT_FALSE(plat_open_text("morvel\\config.prt", &t));
    plat_test_fail_open(nullptr);
    ASSERT_TRUE(plat_open_text("MORVEL\\Config.Prt", &t));
    plat_close_text(&t);
}

// Comment lines are passed over and counted; a piece seen in place and
// copied is the line read_significant_line would have given.
TEST(LineReader, SignificantLinesAndTheirPhysicalNumbers)
{
    HostDir h;
    h.write("morvel/users.prt", "# head\r\n\r\n\nN0CALL\r\n#\r\n3 OPEN\r\n");
    PlatText t;
    ASSERT_TRUE(plat_open_text("morvel\\users.prt", &t));
    int physical = 0;
    char line[100];
    PlatPiece piece;
    ASSERT_TRUE(next_significant_piece(&t, sizeof line, &piece, &physical));
    EXPECT_EQ(std::string(piece.text, piece.length), "N0CALL");
    EXPECT_EQ(physical, 4);
    EXPECT_STREQ(plat_copy_piece(&piece, line), "N0CALL\n");
    ASSERT_TRUE(read_significant_line(&t, line, sizeof line, &physical));
    EXPECT_STREQ(line, "3 OPEN\n");
    EXPECT_EQ(physical, 6);
    EXPECT_FALSE(read_significant_line(&t, line, sizeof line, &physical));
    plat_close_text(&t);
    for (const char *comment : {"#x\n", "\n", ""})
        EXPECT_TRUE(is_comment_line(comment)) << comment;
    EXPECT_FALSE(is_comment_line(" #\n"));
}
