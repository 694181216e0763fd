#include "engine/UnitChunkler.h"
#include "support/UnitLanguage.h"

namespace {

// Every byte up to 32 separates arguments; bytes from 128 on are letters of the code page.
bool IsSeparator(char C) {
    return static_cast<unsigned char>(C) <= ' ';
}

// Reads one argument starting at Pos and leaves Pos behind it. A quoted stretch may hold
// separators and loses its quotes; a "" in front of an argument is skipped entirely.
std::string NextArgument(const std::string& Line, size_t& Pos) {
    const size_t len = Line.size();
    for (;;) {
        while (Pos < len && IsSeparator(Line[Pos]))
            ++Pos;
        if (Pos + 1 < len && Line[Pos] == '"' && Line[Pos + 1] == '"')
            Pos += 2;
        else
            break;
    }
    std::string arg;
    while (Pos < len && !IsSeparator(Line[Pos])) {
        if (Line[Pos] == '"') {
            ++Pos;
            while (Pos < len && Line[Pos] != '"')
                arg += Line[Pos++];
            if (Pos < len)
                ++Pos;
        } else {
            arg += Line[Pos++];
        }
    }
    return arg;
}

} // namespace

std::vector<std::string> SplitCommandLine(const std::string& CommandLine) {
    size_t pos = 0;
    std::vector<std::string> args{NextArgument(CommandLine, pos)};
    for (;;) {
        std::string arg = NextArgument(CommandLine, pos);
        if (arg.empty())
            break;
        args.push_back(std::move(arg));
    }
    return args;
}

void TChunklerStartParams::ReadCommandLine() {
    ReadCommandLine(GetCommandLineA());
}

void TChunklerStartParams::ReadCommandLine(const std::string& CommandLine) {
    const std::vector<std::string> args = SplitCommandLine(CommandLine);
    int positional = 0;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg[0] != '/') {
            if (positional == 0)
                SourcePath = arg;
            else if (positional == 1)
                OutputDir = arg;
            ++positional;
            continue;
        }
        const std::string name = UpperCaseStr(arg.substr(1));
        if (name == "COPY") {
            CopyProgram = true;
        } else if (name == "BATCH") {
            CreateBatch = true;
        } else if (name.compare(0, 4, "SIZE") == 0) {
            // A malformed number becomes 0 here and is refused as an invalid size when a split starts.
            int64_t size = 0;
            PartSize = TryStrToInt64(name.substr(4), size) ? size : 0;
        } else if (name == "SILENT") {
            Silent = true;
        } else if (name == "UNSPLIT") {
            Unsplit = true;
        } else if (name == "NOHEADER") {
            NoHeader = true;
        } else if (name == "SFV") {
            CreateSfv = true;
        } else if (name.compare(0, 7, "RECOVER") == 0) {
            // As a malformed size, a count out of range is refused when a split starts; it is never taken
            // for none, which would leave the user without the recovery files asked for.
            const std::string count = name.substr(7);
            RecoverCount = count.empty() ? 1 : IsDigits(count) && count.size() <= 2 ? std::stoi(count) : 0;
            RecoverCount = RecoverCount > 0 ? RecoverCount : -1;
        }
    }
    // A window run always offers the program copy; a silent run copies only when asked to.
    if (!Silent)
        CopyProgram = true;
}
