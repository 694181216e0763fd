// The checksum file: written beside the parts by a split with /SFV in the form common tools check, and
// compared by every join of a set that has one.
#include <gtest/gtest.h>

#include <functional>

#include "support/TestSupport.h"

using namespace testsupport;

// doc.bin (250000 bytes) is split into parts of 100000 with /SFV, and once more without it. Every file of the
// set is checked in full, the tail the join never needs included. Lines that do not parse, comments and
// names of other files change nothing; names match whatever their case.
TEST(Sfv, SplitWritesWhatCksfvAcceptsAndADamagedFileEndsTheJoinWith13) {
    TTempDir tmp("sfv");
    const std::string content = PatternBytes(250000, 7), sfv = tmp / "parts\\doc.bin.sfv";
    BuildTree(tmp.Path(), {{"src\\", ""},
                           {"parts\\", ""},
                           {"plain\\", ""},
                           {"src\\doc.bin", content, MakeFileTime(2002, 2, 2, 2, 2, 2, 2)}});
    ASSERT_EQ(RunChunkler("/SILENT /SFV /SIZE100000 src\\doc.bin parts", tmp.Path()), 0u);
    ASSERT_EQ(RunChunkler("/SILENT /SIZE100000 src\\doc.bin plain", tmp.Path()), 0u);
    const std::string listed = ReadFileBytes(sfv);
    EXPECT_EQ(listed.rfind("; Chunkler 4.0\r\ndoc.bin.001 ", 0), 0u) << listed;
    EXPECT_EQ(std::count(listed.begin(), listed.end(), '\n'), 5) << listed; // three parts, one header file
    EXPECT_EQ(RunUnixShell("cd " + ShellQuote(UnixPathOf(tmp / "parts")) + " && cksfv -q -f doc.bin.sfv"),
              0u);
    EXPECT_FALSE(FileExists(tmp / "plain\\doc.bin.sfv"));
    WriteFileBytes(sfv, "garbage\ndoc.bin.002 1234567\r\ndoc.bin.002 12345678 x\r\n;doc.bin.002 00000000\r\n"
                        "doc.bin.1000 00000000\r\nother.bin.002 00000000\r\n\r\n" +
                            listed);
    const auto flip = [](size_t At) {
        return [=](std::string b) { return b[At == 0 ? b.size() - 1 : At] ^= 0x20, b; };
    };
    const std::pair<const char*, std::function<std::string(std::string)>> cases[] = {
        {"doc.bin.002", flip(50000)},
        {"doc.bin.003", flip(0)},
        {"doc.bin.003", [](std::string b) { return b + "?"; }},
        {"doc.bin.h001", flip(12)}, // a name letter: another valid header
        {nullptr, [](std::string b) { return b; }}};
    for (const auto& [name, damage] : cases) {
        SCOPED_TRACE(name ? name : "intact");
        const std::string file = tmp / "parts\\" + (name ? name : "doc.bin.001"), kept = ReadFileBytes(file);
        WriteFileBytes(file, damage(kept));
        TTempDir silent("sfvs"), window("sfvw"), plain("sfvp");
        const TChunklerResult expected = name ? crChecksumError : crOk;
        EXPECT_EQ(RunJob(true, tmp / "parts\\DOC.BIN.002", silent.Path()), expected);
        // Nothing half-restored stays; the intact set comes back with the stored time.
        EXPECT_EQ(ListTree(silent.Path()), name ? std::vector<std::string>{} : ListTree(tmp / "src"));
        TScriptedHooks hooks;
        EXPECT_EQ(RunJob(true, tmp / "parts\\doc.bin.002", window.Path(), 0, &hooks), expected);
        std::string warnings;
        for (const TMessageRecord& m : hooks.Messages)
            warnings += m.Type == MB_ICONWARNING ? m.Text + "|" + m.Caption : "";
        EXPECT_EQ(warnings,
                  name ? "Part file \"" + std::string(name) + "\" is damaged (checksum error)!|Join" : "");
        // Without its checksum file the same set joins as it always did.
        ASSERT_TRUE(MoveFileA(sfv.c_str(), (sfv + "x").c_str()));
        EXPECT_EQ(RunJob(true, tmp / "parts\\doc.bin.002", plain.Path()), crOk);
        ASSERT_TRUE(MoveFileA((sfv + "x").c_str(), sfv.c_str()));
        WriteFileBytes(file, kept);
    }
}
