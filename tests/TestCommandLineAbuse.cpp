// Random command lines: quotes, slashes, huge and malformed sizes, control characters, very long
// arguments. Every one ends with a code from 0 to 12, and none writes outside its scratch folder.
// The seed is printed; CHUNKLER_SEED repeats a run.
#include <gtest/gtest.h>

#include <random>

#include "engine/UnitChunkler.h"
#include "support/FaultSupport.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

class TLineMaker {
public:
    explicit TLineMaker(uint32_t Seed) : FRng(Seed) {}

    std::string Line() {
        std::string line;
        const int count = Pick(0, 7);
        for (int i = 0; i < count; ++i) line += Separator() + Token();
        return line;
    }

private:
    std::mt19937 FRng;
    int Pick(int Lo, int Hi) { return std::uniform_int_distribution<int>(Lo, Hi)(FRng); }
    template <size_t N> const char* OneOf(const char* const (&Items)[N]) { return Items[Pick(0, N - 1)]; }

    std::string Separator() {
        static const char* const seps[] = {" ", " ", "  ", "\t", "\x01", "\x1f", " \r\n "};
        return OneOf(seps);
    }
    std::string Number() {
        static const char* const nums[] = {"0",    "1",  "-1", "-5", "100", "1453568", "726016",
                                           "9223372036854775807", "9223372036854775808",
                                           "-9223372036854775808", "99999999999999999999999", "$7FFFFFFFFFFFFFFF",
                                           "0x10", "x", "0x", "$", " 100", "+7", "12a", "1e9", "10KB", "=100"};
        return OneOf(nums);
    }
    std::string Name() {
        static const char* const names[] = {"f.bin", "d", "out", ".", "out\\f.bin.001", "out\\f.bin.h001",
                                            "out\\d.002", "nothing", "f.bin.001", "d\\x.txt", "out\\",
                                            "..",   "..\\..\\x", "C:\\", "\\\\srv\\s", "NUL", "con", "f.bin:s",
                                            "C:rel", "Z:\\tmp", "\\x", "f\xe4\xe9.bin", ""};
        return OneOf(names);
    }
    std::string Switch() {
        static const char* const sw[] = {"/SILENT", "/silent", "/Silent", "//SILENT", "-SILENT", "/COPY",
                                         "/BATCH",  "/UNSPLIT", "/unsplit", "/NOHEADER", "/HELP", "/", "/SIZE",
                                         "/SIZEABLE", "/size"};
        std::string s = OneOf(sw);
        if (s == "/SIZE" || s == "/size") s += Number();
        return s;
    }
    std::string Token() {
        switch (Pick(0, 9)) {
        case 0: return "\"" + Name() + "\"";
        case 1: return "\"" + Switch() + " " + Number() + "\"";
        case 2: return "\"\"" + Name();
        case 3: return "\"" + Name(); // unclosed
        case 4: return std::string(static_cast<size_t>(Pick(1, 6000)), static_cast<char>('a' + Pick(0, 25)));
        case 5: return Name() + "\"" + Switch() + "\"";
        case 6:
        case 7: return Switch();
        default: return Name();
        }
    }
};

// Only lines whose paths stay inside the scratch folder are run: the program would act on any real
// folder it is given, which is its job, not a fault.
bool StaysInside(const std::string& Path, const std::string& Scratch) {
    if (Path.empty()) return true;
    if (Path.find(':') != std::string::npos || Path.find('/') != std::string::npos || Path[0] == '\\') return false;
    for (const char* device : {"NUL", "CON", "AUX", "PRN", "COM", "LPT"})
        if (_strnicmp(GetFileNamePart(Path).c_str(), device, 3) == 0 && device[0]) return false;
    char full[MAX_PATH * 4];
    DWORD n = GetFullPathNameA(Path.c_str(), sizeof full, full, nullptr);
    if (n == 0 || n >= sizeof full) return true; // unresolvable: the job fails its checks
    std::string f = full;
    return _strnicmp(f.c_str(), Scratch.c_str(), Scratch.size()) == 0 &&
           (f.size() == Scratch.size() || f[Scratch.size()] == '\\');
}

class TScratch {
public:
    TScratch() {
        BuildTree(FRoot / "s", {{"f.bin", PatternBytes(40, 5), {}},
                                {"d\\", "", {}},
                                {"d\\x.txt", "xyz", {}},
                                {"out\\", "", {}}});
        char cwd[MAX_PATH];
        GetCurrentDirectoryA(MAX_PATH, cwd);
        FOldCwd = cwd;
        SetCurrentDirectoryA(Path().c_str());
    }
    ~TScratch() { SetCurrentDirectoryA(FOldCwd.c_str()); }
    std::string Path() const { return FRoot / "s"; }
    const TTempDir& Root() const { return FRoot; }
    // Everything the last job made goes, the fixture comes back as it was.
    void Reset() {
        ClearFolder(Path());
        BuildTree(Path(), {{"f.bin", PatternBytes(40, 5), {}},
                           {"d\\", "", {}},
                           {"d\\x.txt", "xyz", {}},
                           {"out\\", "", {}}});
    }

private:
    TTempDir FRoot{"cl"};
    std::string FOldCwd;
};

TEST(CommandLineAbuse, ThousandRandomLinesInProcessEndWithAKnownCode) {
    const uint32_t seed = SuiteSeed(20240611);
    std::cout << "command-line seed " << seed << " (set CHUNKLER_SEED to repeat)\n";
    TScratch scratch;
    TLineMaker maker(seed);
    const auto rootBefore = ListNames(scratch.Root().Path());
    const auto cRoot = ListNames("C:\\");
    int run = 0, skipped = 0;
    for (int i = 0; run < 1000 && i < 4000; ++i) {
        const std::string line = "Chunkler.exe " + maker.Line();
        SCOPED_TRACE("seed " + std::to_string(seed) + ", line " + std::to_string(i) + ": " + line.substr(0, 300));
        TChunklerStartParams p;
        p.ReadCommandLine(line);
        if (!StaysInside(p.SourcePath, scratch.Path()) || !StaysInside(p.OutputDir, scratch.Path())) {
            ++skipped;
            continue;
        }
        ++run;
        p.Silent = true;
        p.CopyProgram = false; // the test executable is no program to hand on, and copying it is slow
        TChunkler engine;
        const TChunklerResult r = engine.Execute(p);
        EXPECT_LE(static_cast<int>(r), 12);
        EXPECT_NE(r, crNoBatchForFolder);
        ASSERT_EQ(ListNames(scratch.Root().Path()), rootBefore) << "written beside the scratch folder";
        scratch.Reset();
    }
    EXPECT_EQ(ListNames("C:\\"), cRoot);
    EXPECT_EQ(run, 1000) << "too few lines were safe to run (" << skipped << " skipped)";
}

TEST(CommandLineAbuse, RandomLinesThroughTheProgramEndWithAKnownCode) {
    const uint32_t seed = SuiteSeed(20240611) + 1;
    std::cout << "program command-line seed " << seed << "\n";
    TScratch scratch;
    TLineMaker maker(seed);
    const auto rootBefore = ListNames(scratch.Root().Path());
    int run = 0;
    for (int i = 0; i < 200 && run < 20; ++i) {
        std::string args = "/SILENT " + maker.Line();
        if (args.find_first_of("\r\n") != std::string::npos || args.size() > 20000) continue;
        TChunklerStartParams p;
        p.ReadCommandLine("Chunkler.exe " + args);
        if (!p.Silent || !StaysInside(p.SourcePath, scratch.Path()) || !StaysInside(p.OutputDir, scratch.Path()))
            continue;
        ++run;
        SCOPED_TRACE("seed " + std::to_string(seed) + ": " + args.substr(0, 300));
        DWORD code = RunChunkler(args, scratch.Path(), 60000);
        EXPECT_LE(code, 12u);
        EXPECT_EQ(ListNames(scratch.Root().Path()), rootBefore);
        scratch.Reset();
    }
    EXPECT_EQ(run, 20);
}

} // namespace
