// Turning a whole command line (program name first) into the job parameters.
#include <gtest/gtest.h>

#include "engine/UnitChunkler.h"

namespace {

// The switches that are on, as letters: Copy, Batch, Silent, Unsplit, NoHeader.
std::string Flags(const TChunklerStartParams& P) {
    std::string flags;
    flags += P.CopyProgram ? "C" : "";
    flags += P.CreateBatch ? "B" : "";
    flags += P.Silent ? "S" : "";
    flags += P.Unsplit ? "U" : "";
    flags += P.NoHeader ? "N" : "";
    return flags;
}

} // namespace

TEST(ReadCommandLine, QuotesSwitchesSizesPositionalsAndTheCopyRule) {
    const int64_t def = DefaultPartSize;
    const struct {
        std::string Line, Source, Output;
        int64_t Size;
        std::string Flags;
    } cases[] = {
        // The program name is never a parameter, quoted with blanks or not.
        {"/SILENT", "", "", def, "C"},
        {"\"C:\\Program Files\\Chunkler.exe\" /SILENT", "", "", def, "S"},
        {"p a\"b c\"d \"unclosed quote", "ab cd", "unclosed quote", def, "C"},
        {"p \"\" a \t\r\n\x01 b", "a", "b", def, "C"},
        {"p \xE4\xA0x", "\xE4\xA0x", "", def, "C"},
        // Exactly one slash, any case, the whole name.
        {"p /silent /NoHeader /unsplit /BATCH", "", "", def, "BSUN"},
        {"p //SILENT /SILENTX /", "", "", def, "C"},
        {"p -SILENT", "-SILENT", "", def, "C"},
        // Positionals: the first two count, switches between them do not.
        {"p one /SIZE1000 two three", "one", "two", 1000, "C"},
        // The copy flag: always in a window run, only on request in a silent one.
        {"p /SILENT /COPY a", "a", "", def, "CS"},
        // Sizes: decimal and the three hex forms; malformed or out of range becomes 0; the last wins.
        {"p /size$100000", "", "", 1048576, "C"},
        {"p /SIZE0x10 /SIZEx1F", "", "", 31, "C"},
        {"p \"/SIZE 100\"", "", "", 100, "C"},
        {"p /SIZE 100", "100", "", 0, "C"},
        {"p /SIZEABLE", "", "", 0, "C"},
        {"p /SIZE9223372036854775808", "", "", 0, "C"},
        {"p /SIZE1000 /SIZEx", "", "", 0, "C"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Line);
        TChunklerStartParams p;
        p.ReadCommandLine(c.Line);
        EXPECT_EQ(p.SourcePath, c.Source);
        EXPECT_EQ(p.OutputDir, c.Output);
        EXPECT_EQ(p.PartSize, c.Size);
        EXPECT_EQ(Flags(p), c.Flags);
    }
}
