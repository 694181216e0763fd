// Turning a whole command line (program name first) into the job parameters, with the number rule.
#include <gtest/gtest.h>

#include "engine/UnitChunkler.h"

TEST(ReadCommandLine, QuotesSwitchesSizesPositionalsAndTheCopyRule) {
    const int64_t def = DefaultPartSize;
    const struct {
        std::string Line, Source, Output;
        int64_t Size;
        std::string Flags; // Copy, Batch, Silent, Unsplit, NoHeader
    } cases[] = {
        // The program name is never a parameter, quoted with blanks or not.
        {"/SILENT", "", "", def, "C"},
        {"\"C:\\Program Files\\Chunkler.exe\" /SILENT", "", "", def, "S"},
        {"p a\"b c\"d \"unclosed quote", "ab cd", "unclosed quote", def, "C"},
        {"p \"\" a \t\r\n\x01 b \xE4\xA0x", "a", "b", def, "C"},
        // Exactly one slash, any case, the whole name.
        {"p /silent /NoHeader /unsplit /BATCH", "", "", def, "BSUN"},
        {"p //SILENT /SILENTX / -SILENT", "-SILENT", "", def, "C"},
        // The first two positionals count, switches between them do not; the copy flag is always on in
        // a window run and only on request in a silent one.
        {"p one /SIZE1000 two three", "one", "two", 1000, "C"},
        {"p /SILENT /COPY a", "a", "", def, "CS"},
        // Decimal, the three hex forms, a sign and leading blanks; malformed or out of range is 0; the
        // last one wins.
        {"p /size$100000", "", "", 1048576, "C"},
        {"p /SIZE0x10 /SIZEx1F", "", "", 31, "C"},
        {"p \"/SIZE  +100\"", "", "", 100, "C"},
        {"p /SIZE-x10", "", "", -16, "C"},
        {"p /SIZE9223372036854775808", "", "", 0, "C"},
        {"p /SIZE$8000000000000000", "", "", 0, "C"},
        {"p /SIZE1000 /SIZEx", "", "", 0, "C"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Line);
        TChunklerStartParams p;
        p.ReadCommandLine(c.Line);
        EXPECT_EQ(p.SourcePath, c.Source);
        EXPECT_EQ(p.OutputDir, c.Output);
        EXPECT_EQ(p.PartSize, c.Size);
        EXPECT_EQ(std::string(p.CopyProgram ? "C" : "") + (p.CreateBatch ? "B" : "") + (p.Silent ? "S" : "") +
                      (p.Unsplit ? "U" : "") + (p.NoHeader ? "N" : ""),
                  c.Flags);
    }
}
