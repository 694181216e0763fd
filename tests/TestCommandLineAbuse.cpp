// Random command lines - quotes, slashes, malformed sizes, control characters, very long arguments - end
// with a code from 0 to 12 and write nothing beside their scratch folder.
#include <gtest/gtest.h>

#include <random>

#include "support/FaultSupport.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

std::string RandomLine(std::mt19937& Rng) {
    // clang-format off
    static const std::vector<std::string> pieces = {
        "f.bin", "d", "out", ".", "out\\f.bin.001", "out\\f.bin.h001", "nothing", "d\\x.txt", "out\\", "..",
        "..\\..\\x", "C:\\", "\\\\srv\\s", "NUL", "con", "f.bin:s", "C:rel", "\\x", "f\xe4\xe9.bin", "/SILENT",
        "/silent", "//SILENT", "-SILENT", "/COPY", "/BATCH", "/UNSPLIT", "/unsplit", "/NOHEADER", "/HELP", "/",
        "/SIZE", "/SIZEABLE", "/SIZE0", "/SIZE1", "/SIZE-1", "/SIZE100", "/SIZE9223372036854775807",
        "/SIZE9223372036854775808", "/SIZE99999999999999999999", "/SIZE$7FFFFFFFFFFFFFFF", "/SIZE0x10",
        "/SIZE+7", "/SIZE12a", "/SIZE1e9", "\"", "\"\"", " ", "\t", "\x01", "\x1f", "\r\n"};
    // clang-format on
    std::string line;
    for (auto n = Rng() % 12; n > 0; --n) {
        const auto pick = Rng();
        line += pick % 10 == 0 ? std::string(pick % 6000 + 1, 'a') : pieces[pick % pieces.size()];
        line += pick % 3 == 0 ? "" : " ";
    }
    return line;
}

// The program acts on any folder it is given, which is its job, so only lines whose paths stay in the
// scratch folder are run; a path that does not resolve only fails the checks.
bool StaysInside(const std::string& Path, const std::string& Scratch) {
    char full[MAX_PATH * 4];
    const DWORD n = GetFullPathNameA(Path.c_str(), sizeof full, full, nullptr);
    return Path.empty() || n == 0 || n >= sizeof full ||
           (Path.find_first_of(":/") == std::string::npos &&
            _strnicmp((std::string(full) + "\\").c_str(), (Scratch + "\\").c_str(), Scratch.size() + 1) == 0);
}

TEST(CommandLineAbuse, RandomLinesEndWithAKnownCodeAndWriteNothingOutside) {
    std::mt19937 rng(SuiteSeed(20240611));
    TTempDir tmp("cl");
    const std::string scratch = tmp / "s";
    char cwd[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, cwd);
    CreateDirectoryA(scratch.c_str(), nullptr);
    SetCurrentDirectoryA(scratch.c_str());
    int inProcess = 0, viaProgram = 0;
    for (int i = 0; i < 6000 && viaProgram < 5; ++i) {
        // 1000 lines in process, then a few through the real program, silent since nobody answers its boxes.
        const std::string args = (inProcess < 1000 ? "" : "/SILENT ") + RandomLine(rng);
        SCOPED_TRACE("line " + std::to_string(i) + ": " + args.substr(0, 300));
        TChunklerStartParams p;
        p.ReadCommandLine("Chunkler.exe " + args);
        if (!StaysInside(p.SourcePath, scratch) || !StaysInside(p.OutputDir, scratch))
            continue;
        ClearFolder(scratch);
        BuildTree(
            scratch,
            {{"f.bin", PatternBytes(40), {}}, {"d\\", "", {}}, {"d\\x.txt", "xyz", {}}, {"out\\", "", {}}});
        if (inProcess++ < 1000) {
            p.Silent = true;
            p.CopyProgram = false; // copying the test executable is slow and proves nothing
            TChunkler engine;
            EXPECT_LE(engine.Execute(p), crUnknownError);
        } else if (p.Silent && args.find_first_of("\r\n") == std::string::npos) {
            ++viaProgram;
            EXPECT_LE(RunChunkler(args, scratch, 60000), 12u);
        }
        EXPECT_EQ(ListNames(tmp.Path()), std::vector<std::string>{"s"});
    }
    SetCurrentDirectoryA(cwd);
    EXPECT_EQ(viaProgram, 5);
}

} // namespace
