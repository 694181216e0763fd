// Joins of damaged and hostile sets: parts cut short, too long or missing, header files damaged in
// every field, and headers whose names try to reach outside the output folder or address a device.
// A join that reports success must have restored exactly; every other outcome has its documented code,
// keeps the files restored before the damage, and never writes beyond the output folder.
#include <gtest/gtest.h>

#include <functional>

#include "engine/UnitChunkler.h"
#include "support/FaultSupport.h"
#include "support/ScriptedHooks.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

constexpr int64_t PartSize = 100000;
constexpr int AnyFailure = -1;

// a.bin ends in part 1, b.bin in part 3, sub\c.bin in part 5 of 5; the header fits into part 5.
struct TSet {
    TTempDir Tmp{"fjn"};
    std::string A = PatternBytes(1000, 11), B = PatternBytes(250000, 12), C = PatternBytes(200000, 13);
    TSet() {
        BuildTree(Tmp / "src", {{"Docs\\", "", {}},
                                {"Docs\\a.bin", A, MakeFileTime(2001, 1, 1, 1, 1, 1, 1)},
                                {"Docs\\b.bin", B, MakeFileTime(2002, 2, 2, 2, 2, 2, 2)},
                                {"Docs\\sub\\", "", {}},
                                {"Docs\\sub\\c.bin", C, MakeFileTime(2003, 3, 3, 3, 3, 3, 3)}});
        CreateDirectoryA((Tmp / "parts").c_str(), nullptr);
        CreateDirectoryA((Tmp / "out").c_str(), nullptr);
        TChunklerStartParams p;
        p.SourcePath = Tmp / "src\\Docs";
        p.OutputDir = Tmp / "parts";
        p.PartSize = PartSize;
        p.Silent = true;
        TChunkler engine;
        EXPECT_EQ(engine.Execute(p), crOk);
    }
    std::string Part(const std::string& Suffix) const { return Tmp / ("parts\\Docs." + Suffix); }
};

struct TOutcome {
    TChunklerResult Result;
    TScriptedHooks Hooks;
};

void Join(const std::string& AnyPart, const std::string& Out, bool Silent, TOutcome& O) {
    TChunklerStartParams p;
    p.Unsplit = true;
    p.SourcePath = AnyPart;
    p.OutputDir = Out;
    p.Silent = Silent;
    TChunkler engine(Silent ? nullptr : &O.Hooks);
    O.Result = engine.Execute(p);
    engine.ShowResult(O.Result);
}

std::string HeaderOf(const TSet& S) { return ReadFileBytes(S.Part("h001")); }

// Replaces the first occurrence of From in the header.
void EditHeader(const TSet& S, const std::string& From, const std::string& To) {
    std::string h = HeaderOf(S);
    size_t at = h.find(From);
    ASSERT_NE(at, std::string::npos) << From;
    WriteFileBytes(S.Part("h001"), h.replace(at, From.size(), To));
}

TEST(DamagedSet, EachDamageHasItsCodeAndKeepsWhatCameBefore) {
    struct TCase {
        const char* Name;
        std::function<void(TSet&)> Damage;
        int Silent; // silent result; AnyFailure: no code is documented, only success is ruled out
        int Window; // window result, the dialog for a missing file cancelled
        std::string WindowBox;    // a box the window job must show ("" for none)
        int CompleteFiles;        // files a.bin, b.bin, c.bin restored intact, counted from the first
    };
    const std::string invalid = "Invalid headerfile!";
    const TCase cases[] = {
        {"part 4 cut short", [](TSet& s) { WriteFileBytes(s.Part("004"), ReadFileBytes(s.Part("004")).substr(0, 900)); },
         crSourceNotFound, crCancelled, "File \"Docs.006\" missed!", 2},
        {"last part cut short",
         [](TSet& s) { WriteFileBytes(s.Part("005"), ReadFileBytes(s.Part("005")).substr(0, 100)); },
         crSourceNotFound, crCancelled, "File \"Docs.006\" missed!", 2},
        {"middle part missing", [](TSet& s) { DeleteFileA(s.Part("003").c_str()); }, crSourceNotFound, crCancelled,
         "File \"Docs.003\" missed!", 1},
        {"part 2 longer than the others", [](TSet& s) { WriteFileBytes(s.Part("002"), ReadFileBytes(s.Part("002")) + "0123456789"); },
         AnyFailure, AnyFailure, "", 1},
        {"header missing its second half",
         [](TSet& s) {
             std::string h = HeaderOf(s);
             WriteFileBytes(s.Part("h001"), h.substr(0, h.size() / 2));
         },
         crSourceNotFound, crCancelled, "File \"Docs.h002\" missed!", 0},
        {"header size damaged", [](TSet& s) { EditHeader(s, "\t250000\t", "\t25a000\t"); }, crInvalidHeader,
         crInvalidHeader, invalid, 0},
        {"header size with a sign", [](TSet& s) { EditHeader(s, "\t250000\t", "\t+250000\t"); }, crInvalidHeader,
         crInvalidHeader, invalid, 0},
        {"header time of 14 digits", [](TSet& s) { EditHeader(s, "\t20020202020202002", "\t20020202020202"); },
         crInvalidHeader, crInvalidHeader, invalid, 0},
        {"header time with a letter", [](TSet& s) { EditHeader(s, "\t20020202020202002", "\t2002020202020x002"); },
         crInvalidHeader, crInvalidHeader, invalid, 0},
        {"bytes after the closing TABs",
         [](TSet& s) { WriteFileBytes(s.Part("h001"), HeaderOf(s) + "junk\t\t"); }, crInvalidHeader,
         crInvalidHeader, invalid, 0},
        {"wrong magic", [](TSet& s) { EditHeader(s, "ChKl40", "ChKl41"); }, crSourceNotFound, crCancelled,
         "File \"Docs.h002\" missed!", 0},
        {"empty header file", [](TSet& s) { WriteFileBytes(s.Part("h001"), ""); }, crSourceNotFound, crCancelled,
         "File \"Docs.h002\" missed!", 0},
    };
    const std::string* contents[3] = {nullptr, nullptr, nullptr};
    for (const auto& c : cases) {
        for (bool silent : {true, false}) {
            SCOPED_TRACE(std::string(c.Name) + (silent ? " (silent)" : " (window)"));
            TSet s;
            contents[0] = &s.A;
            contents[1] = &s.B;
            contents[2] = &s.C;
            c.Damage(s);
            const auto partsBefore = ListTree(s.Tmp / "parts");
            const auto aroundBefore = ListNames(s.Tmp.Path());
            TOutcome o;
            Join(s.Part("002"), s.Tmp / "out", silent, o);
            const int expected = silent ? c.Silent : c.Window;
            if (expected == AnyFailure) {
                EXPECT_NE(o.Result, crOk) << "a part of the wrong size joined as if nothing were wrong";
            } else {
                EXPECT_EQ(o.Result, expected) << o.Hooks.Dump();
            }
            if (!silent && !c.WindowBox.empty()) {
                bool shown = false;
                for (const auto& m : o.Hooks.Messages) shown = shown || m.Text == c.WindowBox;
                EXPECT_TRUE(shown) << o.Hooks.Dump();
            }
            if (o.Result == crOk) {
                // Success must mean the tree came back exactly; a shifted file reported as joined is lost data.
                EXPECT_EQ(CompareTrees(s.Tmp / "src", s.Tmp / "out"), "") << "join reported success";
            }
            const char* names[3] = {"a.bin", "b.bin", "sub\\c.bin"};
            for (int i = 0; i < c.CompleteFiles; ++i)
                EXPECT_TRUE(ReadFileBytes(s.Tmp / ("out\\Docs\\" + std::string(names[i]))) == *contents[i]) << names[i];
            if (c.CompleteFiles == 0 && o.Result != crOk) {
                EXPECT_TRUE(ListNames(s.Tmp / "out").empty()) << "created something from a bad header";
            }
            EXPECT_TRUE(ListTree(s.Tmp / "parts") == partsBefore) << "the parts were touched";
            EXPECT_EQ(ListNames(s.Tmp.Path()), aroundBefore);
        }
    }
}

// Headers crafted by hand: every name that could leave the output folder, name a device or a stream,
// or that Windows would silently change, ends with 8 and nothing is created anywhere.
TEST(HostileHeader, EveryUnsafeNameEndsWithInvalidHeaderAndCreatesNothing) {
    const std::string names[] = {
        "..\\zz_hh_esc", "..\\..\\zz_hh_esc", "a\\..\\..\\zz_hh_esc", "a\\..\\b", ".\\x", "a\\.\\b", "C:\\zz_hh_esc",
        "C:zz_hh_esc", "\\zz_hh_esc", "\\\\server\\share\\x", "\\\\?\\C:\\zz_hh_esc", "\\\\.\\NUL", "x:stream",
        "x::$DATA", "NUL", "nul", "NUL.txt", "aux .txt", "Com1.tar.gz", "COM0", "lpt9", "con.txt", "CON",
        "PRN", "CONIN$", "conout$", "a\\nul\\b", "x.", "x ", "a.\\b", "a \\b", ".. \\x", "...", " ", ".", "..",
        "a\x01" "b", "tab\x1f", "a/b", "/x", "a<b", "a>b", "a\"b", "a|b", "a?b", "a*b", "", "\\", "a\\\\b",
    };
    TTempDir tmp("hh");
    CreateDirectoryA((tmp / "set").c_str(), nullptr);
    CreateDirectoryA((tmp / "out").c_str(), nullptr);
    const std::string parent = GetParentFolder(tmp.Path());
    const auto rootBefore = ListNames("C:\\");
    const auto cwdBefore = ListNames(".");
    int exeRuns = 0;
    for (const auto& name : names) {
        for (const char* kind : {"F", "D"}) {
            SCOPED_TRACE("name \"" + name + "\" kind " + kind);
            WriteFileBytes(tmp / "set\\h.001", "hello");
            WriteFileBytes(tmp / "set\\h.h001", std::string("ChKl40\t") + name + "\t" + kind + "\t" +
                                                     (kind[0] == 'F' ? "5" : "0") + "\t20030517140309250\t\t");
            TOutcome o;
            Join(tmp / "set\\h.001", tmp / "out", false, o);
            EXPECT_EQ(o.Result, crInvalidHeader) << o.Hooks.Dump();
            ASSERT_EQ(o.Hooks.Messages.size(), 2u) << o.Hooks.Dump(); // the join question, then the refusal
            EXPECT_EQ(o.Hooks.Messages[1].Text, "Invalid headerfile!");
            EXPECT_EQ(o.Hooks.Messages[1].Type & MB_ICONMASK, static_cast<UINT>(MB_ICONWARNING));
            if (kind[0] == 'F' && exeRuns < 4 && name.find_first_of("\"\x01\x1f") == std::string::npos) {
                ++exeRuns; // and the real program, silent
                EXPECT_EQ(RunChunkler("/SILENT /UNSPLIT \"" + tmp / "set\\h.001" + "\" \"" + tmp / "out" + "\""), 8u);
            }
            EXPECT_TRUE(ListNames(tmp / "out").empty());
            EXPECT_EQ(ListNames(tmp / "set"), (std::vector<std::string>{"h.001", "h.h001"}));
            EXPECT_EQ(ListNames(tmp.Path()), (std::vector<std::string>{"out", "set"}));
            EXPECT_FALSE(FileExists(parent + "\\zz_hh_esc") || FolderExists(parent + "\\zz_hh_esc"));
            EXPECT_FALSE(FileExists("C:\\zz_hh_esc") || FolderExists("C:\\zz_hh_esc"));
        }
    }
    EXPECT_EQ(ListNames("C:\\"), rootBefore);
    EXPECT_EQ(ListNames("."), cwdBefore);
}

// Sizes that the parts cannot hold: a join restores what is there and then misses the next part; sizes
// whose sum leaves the 64-bit range are refused before anything is created.
TEST(HostileHeader, SizesBeyondThePartsNeverWriteMoreThanThePartsHold) {
    TTempDir tmp("hz");
    CreateDirectoryA((tmp / "set").c_str(), nullptr);
    CreateDirectoryA((tmp / "out").c_str(), nullptr);
    const std::string t = "\t20030517140309250";
    struct TCase {
        const char* Name;
        std::string Records;
        TChunklerResult Silent;
        int64_t BigSize; // size of out\big.bin afterwards, -1 when it must not exist
    };
    const TCase cases[] = {
        {"a petabyte", "\tbig.bin\tF\t1000000000000000" + t, crSourceNotFound, 5},
        {"the largest size", "\tbig.bin\tF\t9223372036854775807" + t, crSourceNotFound, 5},
        {"beyond 64 bits", "\tbig.bin\tF\t9223372036854775808" + t, crInvalidHeader, -1},
        {"a sum beyond 64 bits", "\tbig.bin\tF\t5000000000000000000" + t + "\tbig2.bin\tF\t5000000000000000000" + t,
         crInvalidHeader, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        ClearFolder(tmp / "out");
        WriteFileBytes(tmp / "set\\h.001", "hello");
        WriteFileBytes(tmp / "set\\h.h001", "ChKl40" + c.Records + "\t\t");
        TOutcome o;
        Join(tmp / "set\\h.001", tmp / "out", true, o);
        EXPECT_EQ(o.Result, c.Silent);
        EXPECT_EQ(FileSize(tmp / "out\\big.bin"), c.BigSize);
        EXPECT_FALSE(FileExists(tmp / "out\\big2.bin"));
        TOutcome w;
        Join(tmp / "set\\h.001", tmp / "out", false, w);
        EXPECT_EQ(w.Result, c.Silent == crSourceNotFound ? crCancelled : c.Silent) << w.Hooks.Dump();
        EXPECT_EQ(ListNames(tmp.Path()), (std::vector<std::string>{"out", "set"}));
    }
}

} // namespace
