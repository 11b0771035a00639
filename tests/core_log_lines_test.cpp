// SPDX-License-Identifier: GPL-3.0-or-later
// Lines appended to log files, their failures named, and file names made from serials.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "decode/log_files.h"
#include "tests/file_size_limit.h"
#include "tests/log_scratch.h"

namespace nimbo {
namespace {
namespace fs = std::filesystem;
using test::freshFolder;
using test::slurp;

TEST(AppendLine, WritesCrLfCreatesOneFolderLevelAndReportsFailure) {
    const fs::path dir = freshFolder("append");
    EXPECT_TRUE(appendLine((dir / "sub" / "a.txt").string(), "one\ntwo"));
    EXPECT_TRUE(appendLine((dir / "sub" / "a.txt").string(), ""));
    EXPECT_EQ(slurp(dir / "sub" / "a.txt"), "one\r\ntwo\r\n\r\n");
    // Only one level is created: a missing grandparent loses the line.
    EXPECT_FALSE(appendLine((dir / "x" / "y" / "b.txt").string(), "lost"));
    EXPECT_FALSE(fs::exists(dir / "x"));
    // A path through a regular file cannot be opened.
    EXPECT_FALSE(appendLine((dir / "sub" / "a.txt" / "c.txt").string(), "lost"));
    // No fixed-size path buffer: a path far beyond 255 characters works.
    const std::string longName(200, 'n');
    const fs::path deep = dir / longName / (longName + ".txt");
    EXPECT_GT(deep.string().size(), 400u);
    EXPECT_TRUE(appendLine(deep.string(), "long"));
    EXPECT_EQ(slurp(deep), "long\r\n");
}

TEST(SafeFileName, PlainCharactersStayAndEveryOtherByteIsEncoded) {
    const struct {
        const char* serial;
        const char* name;
    } cases[] = {
        {"N1234567", "N1234567"},
        {"ab-c_d9Z", "ab-c_d9Z"},
        {"a_b", "a_b"},
        {"a/b", "a%2Fb"},
        {".", "%2E"},
        {"..", "%2E%2E"},
        {"", "%"},
        {"%", "%25"},
        {"%25", "%2525"},
        {"../../x", "%2E%2E%2F%2E%2E%2Fx"},
        {"a/b\\c", "a%2Fb%5Cc"},
        {"A B.txt", "A%20B%2Etxt"},
        {"\xFF\x80Q", "%FF%80Q"},
        {"a\nb\x7F", "a%0Ab%7F"},
        {"abc\0def", "abc"}, // the name ends at a NUL, as the serial shown does
    };
    for (const auto& c : cases)
        EXPECT_EQ(safeFileName(c.serial), c.name) << c.serial;
}

TEST(SafeFileName, NoTwoSerialsShareAName) {
    // Every serial of one or two bytes, and the empty one.
    std::set<std::string> names = {safeFileName("")};
    for (int a = 1; a < 256; ++a)
        for (int b = 0; b < 256; ++b) {
            const char serial[3] = {char(a), char(b), 0};
            ASSERT_TRUE(names.insert(safeFileName(serial)).second) << serial;
        }
}

using test::FileSizeLimit;

TEST(AppendLine, ShortWriteIsCutBackAndTheNextLineStartsOnItsOwn) {
    const fs::path dir = freshFolder("short");
    const std::string log = (dir / "raw" / "a.txt").string();
    ASSERT_TRUE(appendLine(log, "first"));
    const std::string longLine(659, 'x');
    std::string error;
    bool ok;
    {
        FileSizeLimit limit(7 + 100); // 100 bytes of the 661 fit
        ok = appendLine(log, longLine, &error);
    }
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, "cannot write " + log + ": File too large");
    EXPECT_EQ(slurp(log), "first\r\n");
    EXPECT_TRUE(appendLine(log, "next"));
    EXPECT_EQ(slurp(log), "first\r\nnext\r\n");

    // A file the failed write created goes again, header and all; the next write that
    // lands starts it with its header.
    const std::string sens = (dir / "sens" / "a.csv").string();
    {
        FileSizeLimit limit(10);
        ok = appendLine(sens, "1,2,3", &error, "Head,Er,Line");
    }
    EXPECT_FALSE(ok);
    EXPECT_FALSE(fs::exists(sens));
    EXPECT_TRUE(appendLine(sens, "1,2,3", &error, "Head,Er,Line"));
    EXPECT_TRUE(appendLine(sens, "4,5,6", &error, "Head,Er,Line"));
    EXPECT_EQ(slurp(sens), "Head,Er,Line\r\n1,2,3\r\n4,5,6\r\n");
    // An empty file left by anything else gets its header too.
    const std::string empty = (dir / "sens" / "b.csv").string();
    std::ofstream{empty};
    EXPECT_TRUE(appendLine(empty, "7", &error, "H"));
    EXPECT_EQ(slurp(empty), "H\r\n7\r\n");
}

TEST(AppendLine, FailuresNameTheirCause) {
    const fs::path dir = freshFolder("causes");
    std::ofstream(dir / "plain") << "x";
    fs::create_symlink(dir / "nowhere", dir / "dangling");
    fs::create_directory(dir / "fifo");
    ASSERT_EQ(::mkfifo((dir / "fifo" / "a.txt").c_str(), 0600), 0);
    const std::pair<fs::path, std::string> cases[] = {
        {dir / "plain" / "a.txt", (dir / "plain").string() + " is not a folder"},
        {dir / "dangling" / "a.txt", (dir / "dangling").string() + " is a link to nothing"},
        {dir / "fifo" / "a.txt", "No such device or address"}, // no reader: no wait either
    };
    for (const auto& [file, reason] : cases) {
        std::string error;
        EXPECT_FALSE(appendLine(file.string(), "lost", &error));
        EXPECT_EQ(error, "cannot write " + file.string() + ": " + reason);
    }
    EXPECT_FALSE(fs::exists(dir / "nowhere"));
}

} // namespace
} // namespace nimbo
