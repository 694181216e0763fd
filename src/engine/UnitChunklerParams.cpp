#include "engine/UnitChunkler.h"
#include "support/UnitImport.h"
#include "support/UnitLanguage.h"

namespace {

// Every character up to 32 separates arguments.
bool IsSeparator(wchar_t C) {
    return C <= L' ';
}

// Reads one argument starting at Pos and leaves Pos behind it. A quoted stretch may hold
// separators and loses its quotes; a "" in front of an argument is skipped entirely.
std::wstring NextArgument(const std::wstring& Line, size_t& Pos) {
    const size_t len = Line.size();
    for (;;) {
        while (Pos < len && IsSeparator(Line[Pos]))
            ++Pos;
        if (Pos + 1 < len && Line[Pos] == '"' && Line[Pos + 1] == '"')
            Pos += 2;
        else
            break;
    }
    std::wstring arg;
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

std::vector<std::wstring> SplitCommandLine(const std::wstring& CommandLine) {
    size_t pos = 0;
    std::vector<std::wstring> args{NextArgument(CommandLine, pos)};
    for (;;) {
        std::wstring arg = NextArgument(CommandLine, pos);
        if (arg.empty())
            break;
        args.push_back(std::move(arg));
    }
    return args;
}

void TChunklerStartParams::SetPath(bool Output, const std::wstring& Path) {
    const bool held = ToAnsiPath(Path, Output ? OutputDir : SourcePath);
    (Output ? WideOutputDir : WideSourcePath) = held ? std::wstring() : Path;
}

// The ANSI command line would bring a name the code page cannot hold with "?" or look-alike letters,
// naming another file or none.
void TChunklerStartParams::ReadCommandLine() {
    ReadCommandLine(GetCommandLineW());
}

// Whatever begins with "/" is a switch, and one of no known name is ignored, also where it looks like a
// path ("/data/a.bin", "//server/share"): a path written with "/" begins with a drive or a name.
void TChunklerStartParams::ReadCommandLine(const std::wstring& CommandLine) {
    const std::vector<std::wstring> args = SplitCommandLine(CommandLine);
    int positional = 0;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        if (arg[0] != L'/') {
            if (positional < 2)
                SetPath(positional == 1, arg);
            ++positional;
            continue;
        }
        std::string name;
        WideToAnsi(arg.substr(1), name);
        ReadSwitch(UpperCaseStr(name));
    }
    // A window run always offers the program copy; a silent run copies only when asked to.
    if (!Silent)
        CopyProgram = true;
}

void TChunklerStartParams::ReadSwitch(const std::string& Name) {
    if (Name == "COPY") {
        CopyProgram = true;
    } else if (Name == "BATCH") {
        CreateBatch = true;
    } else if (Name.compare(0, 4, "SIZE") == 0) {
        // A malformed number becomes 0 here and is refused as an invalid size when a split starts.
        int64_t size = 0;
        PartSize = TryStrToInt64(Name.substr(4), size) ? size : 0;
    } else if (Name == "SILENT") {
        Silent = true;
    } else if (Name == "UNSPLIT") {
        Unsplit = true;
    } else if (Name == "NOHEADER") {
        NoHeader = true;
    } else if (Name == "SFV") {
        CreateSfv = true;
    } else if (Name.compare(0, 7, "RECOVER") == 0) {
        // As a malformed size, a count out of range is refused when a split starts; it is never taken for
        // none, which would leave the user without the recovery files asked for.
        const std::string count = Name.substr(7);
        RecoverCount = count.empty() ? 1 : IsDigits(count) && count.size() <= 2 ? std::stoi(count) : 0;
        RecoverCount = RecoverCount > 0 ? RecoverCount : -1;
    }
}
