// The checksum file: written beside the parts by a split with /SFV in the form common tools check, and
// compared by every join of a set that has one.
#include <gtest/gtest.h>

#include <functional>

#include "support/TestSupport.h"

using namespace testsupport;

static std::string Flipped(std::string Bytes, size_t At) {
    Bytes[At] ^= 0x20; // in a header file, a name turns into another valid one
    return Bytes;
}

// src\doc.bin (250000 bytes) is split into parts of 100000 with /SFV, and once more without it. Every file
// of the set is checked in full, the tail the join never needs included. Lines that do not parse,
// comments and names of other files change nothing; names match whatever their case.
TEST(Sfv, SplitWritesWhatCksfvAcceptsAndADamagedFileEndsTheJoinWith13) {
    TTempDir tmp("sfv");
    const FILETIME stored = MakeFileTime(2002, 2, 2, 2, 2, 2, 2);
    for (const char* folder : {"src", "parts", "plain"})
        CreateDirectoryA((tmp / folder).c_str(), nullptr);
    const std::string content = PatternBytes(250000, 7);
    WriteFileBytes(tmp / "src\\doc.bin", content);
    SetLastWriteTime(tmp / "src\\doc.bin", stored);
    ASSERT_EQ(RunChunkler("/SILENT /SFV /SIZE100000 src\\doc.bin parts", tmp.Path()), 0u);
    ASSERT_EQ(RunChunkler("/SILENT /SIZE100000 src\\doc.bin plain", tmp.Path()), 0u);
    const std::string sfv = tmp / "parts\\doc.bin.sfv";
    std::string listed = ReadFileBytes(sfv);
    EXPECT_EQ(listed.rfind("; Chunkler 4.0\r\ndoc.bin.001 ", 0), 0u) << listed;
    EXPECT_EQ(std::count(listed.begin(), listed.end(), '\n'), 5) << listed; // three parts, one header file
    EXPECT_EQ(RunUnixShell("cd " + ShellQuote(UnixPathOf(tmp / "parts")) + " && cksfv -q -f doc.bin.sfv"),
              0u);
    EXPECT_FALSE(FileExists(tmp / "plain\\doc.bin.sfv"));

    WriteFileBytes(sfv, "garbage\ndoc.bin.002 1234567\r\ndoc.bin.002 12345678 x\r\n;doc.bin.002 00000000\r\n"
                        "doc.bin.1000 00000000\r\nother.bin.002 00000000\r\n\r\n" +
                            listed);
    const struct {
        const char* File; // nullptr: the intact set
        std::function<std::string(std::string)> Damage;
    } cases[] = {
        {"doc.bin.002", [](std::string b) { return Flipped(b, b.size() / 2); }},
        {"doc.bin.003", [](std::string b) { return Flipped(b, b.size() - 1); }},
        {"doc.bin.003", [](std::string b) { return b + "?"; }},
        {"doc.bin.h001", [](std::string b) { return Flipped(b, b.find("doc.bin")); }},
        {nullptr, [](std::string b) { return b; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.File ? c.File : "intact");
        const std::string file = tmp / "parts\\" + (c.File ? c.File : "doc.bin.001"),
                          kept = ReadFileBytes(file);
        WriteFileBytes(file, c.Damage(kept));
        TTempDir silent("sfvs"), window("sfvw"), plain("sfvp");
        const std::string part2 = tmp / "parts\\doc.bin.002", restored = silent / "doc.bin";
        const TChunklerResult expected = c.File ? crChecksumError : crOk;
        EXPECT_EQ(RunJob(true, tmp / "parts\\DOC.BIN.002", silent.Path()), expected);
        // The file being restored when the damage shows is not left behind, as when a part is missing.
        const FILETIME time = GetLastWriteTime(restored); // zero when missing
        EXPECT_EQ(CompareFileTime(&stored, &time) == 0 && ReadFileBytes(restored) == content, !c.File);
        EXPECT_EQ(ListNames(silent.Path()),
                  c.File ? std::vector<std::string>{} : std::vector<std::string>{"doc.bin"});
        TScriptedHooks hooks;
        EXPECT_EQ(RunJob(true, part2, window.Path(), 0, &hooks), expected);
        std::string warnings;
        for (const TMessageRecord& m : hooks.Messages)
            warnings += m.Type == MB_ICONWARNING ? m.Text + "|" + m.Caption : "";
        EXPECT_EQ(warnings,
                  c.File ? "Part file \"" + std::string(c.File) + "\" is damaged (checksum error)!|Join"
                         : "");
        // Without its checksum file the same set joins as it always did.
        ASSERT_TRUE(MoveFileA(sfv.c_str(), (sfv + "x").c_str()));
        EXPECT_EQ(RunJob(true, part2, plain.Path()), crOk);
        ASSERT_TRUE(MoveFileA((sfv + "x").c_str(), sfv.c_str()));
        WriteFileBytes(file, kept);
    }
}
