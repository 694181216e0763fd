// Splitting the command line into arguments and turning them into the job parameters.
#include <gtest/gtest.h>

#include "engine/UnitChunkler.h"

namespace {

using TArgs = std::vector<std::string>;

} // namespace

TEST(SplitCommandLine, BlanksQuotesAndEmptyArguments) {
    const struct {
        std::string Line;
        TArgs Expected;
    } cases[] = {
        {"prog", {"prog"}},
        {"", {""}},
        {"prog a b", {"prog", "a", "b"}},
        {"  prog \t a\r\n\x01 b  ", {"prog", "a", "b"}},
        {"\"C:\\Program Files\\Chunkler.exe\" /SILENT", {"C:\\Program Files\\Chunkler.exe", "/SILENT"}},
        {"prog \"a b\" c", {"prog", "a b", "c"}},
        {"prog a\"b c\"d", {"prog", "ab cd"}},
        {"prog \"/SIZE 100\"", {"prog", "/SIZE 100"}},
        {"prog \"unclosed quote", {"prog", "unclosed quote"}},
        // A "" in front of an argument is skipped; one inside an argument simply vanishes.
        {"prog \"\" a", {"prog", "a"}},
        {"prog \"\"\"\"a", {"prog", "a"}},
        {"prog a\"\"b", {"prog", "ab"}},
        {"prog \"\"\" x\"", {"prog", " x"}},
        // Counting stops at the first argument that comes out empty.
        {"prog \"", {"prog"}},
        {"prog a \"\"\"", {"prog", "a"}},
        // Bytes from 128 on belong to the argument.
        {"prog \xE4\xA0x", {"prog", "\xE4\xA0x"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SplitCommandLine(c.Line), c.Expected) << c.Line;
}

TEST(ReadCommandLine, SwitchesPositionalsAndTheCopyRule) {
    struct TCase {
        std::string Line; // behind the program name
        std::string Source, Output;
        int64_t Size;
        bool Copy, Batch, Silent, Unsplit, NoHeader;
    };
    const int64_t def = DefaultPartSize;
    const TCase cases[] = {
        {"", "", "", def, true, false, false, false, false},
        {"/silent", "", "", def, false, false, true, false, false},
        {"/Silent", "", "", def, false, false, true, false, false},
        {"/SILENT", "", "", def, false, false, true, false, false},
        {"//SILENT", "", "", def, true, false, false, false, false},
        {"-SILENT", "-SILENT", "", def, true, false, false, false, false},
        {"/SILENTX /HELP /", "", "", def, true, false, false, false, false},
        {"/SIZE726016", "", "", 726016, true, false, false, false, false},
        {"/size$100000", "", "", 1048576, true, false, false, false, false},
        {"/SIZE0x10", "", "", 16, true, false, false, false, false},
        {"/SIZEx1F", "", "", 31, true, false, false, false, false},
        {"/SIZE", "", "", 0, true, false, false, false, false},
        {"/SIZE=100", "", "", 0, true, false, false, false, false},
        {"/SIZE100KB", "", "", 0, true, false, false, false, false},
        {"/SIZEABLE", "", "", 0, true, false, false, false, false},
        {"/SIZE 100", "100", "", 0, true, false, false, false, false},
        {"\"/SIZE 100\"", "", "", 100, true, false, false, false, false},
        {"/SIZE-5", "", "", -5, true, false, false, false, false},
        {"/SIZE9223372036854775808", "", "", 0, true, false, false, false, false},
        {"/SIZE1000 /SIZE2000", "", "", 2000, true, false, false, false, false},
        {"/SIZE1000 /SIZEx", "", "", 0, true, false, false, false, false},
        {"/SILENT /COPY a b", "a", "b", def, true, false, true, false, false},
        {"/SILENT a b", "a", "b", def, false, false, true, false, false},
        {"a b", "a", "b", def, true, false, false, false, false},
        {"one two three four", "one", "two", def, true, false, false, false, false},
        {"/BATCH a /SIZE1000 b /UNSPLIT", "a", "b", 1000, true, true, false, true, false},
        {"/nOhEaDeR /silent /unsplit /batch /batch", "", "", def, false, true, true, true, true},
        {"\"C:\\My Files\\a.bin\" \"D:\\out dir\"", "C:\\My Files\\a.bin", "D:\\out dir", def, true, false,
         false, false, false},
        {"\"\" a b", "a", "b", def, true, false, false, false, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Line);
        TChunklerStartParams p;
        p.ReadCommandLine("\"C:\\dir\\Chunkler.exe\" " + c.Line);
        EXPECT_EQ(p.SourcePath, c.Source);
        EXPECT_EQ(p.OutputDir, c.Output);
        EXPECT_EQ(p.PartSize, c.Size);
        EXPECT_EQ(p.CopyProgram, c.Copy);
        EXPECT_EQ(p.CreateBatch, c.Batch);
        EXPECT_EQ(p.Silent, c.Silent);
        EXPECT_EQ(p.Unsplit, c.Unsplit);
        EXPECT_EQ(p.NoHeader, c.NoHeader);
    }
}

TEST(ReadCommandLine, ProgramNameIsNeverAParameter) {
    TChunklerStartParams p;
    p.ReadCommandLine("/SILENT");
    EXPECT_FALSE(p.Silent);
    EXPECT_TRUE(p.CopyProgram);

    // The process's own command line: ctest passes the test filter, which starts with "-" and so
    // is positional, just as the runtime's own splitting sees it.
    TChunklerStartParams own;
    own.ReadCommandLine();
    EXPECT_EQ(own.SourcePath, __argc >= 2 ? std::string(__argv[1]) : std::string());
    EXPECT_TRUE(own.CopyProgram);
}

TEST(ReadCommandLine, BoolToCheckState) {
    EXPECT_EQ(TChunklerStartParams::BoolToCheckState(true), BST_CHECKED);
    EXPECT_EQ(TChunklerStartParams::BoolToCheckState(false), BST_UNCHECKED);
}
