// The joining batch file's name, lines and the names it cannot serve.
#include "engine/UnitChunklerBatch.h"

#include <windows.h>

#include "engine/UnitChunkler.h"
#include "inventory/UnitFileInfo.h"
#include "support/UnitFileStream.h"
#include "support/UnitLanguage.h"

std::string TBatchFile::Path() const {
    return StripExtension(AppendBackslash(FFolder) + FName) + ".bat";
}

// Short 8.3 names are no way out for a name the OEM code page cannot spell: they may be switched off, and
// they differ on the volume where the parts are gathered again, where the rebuilt file does not even exist
// yet. A batch file of the rebuilt file's own name would overwrite itself with its first "copy" (and the
// source itself when split beside it).
int TBatchFile::Refusal() const {
    if (!OemHoldsName())
        return MsgNoBatchForName;
    if (UpperCaseStr(GetFileNamePart(Path())) == UpperCaseStr(FName))
        return MsgNoBatchForOwnName;
    return -1;
}

bool TBatchFile::OemHoldsName() const {
    // Otherwise the command interpreter would read a "?" or a look-alike letter, and "copy" would join
    // other files or none.
    std::string oem(FName.size(), '\0'), back(FName.size(), '\0');
    CharToOemBuffA(FName.data(), oem.data(), static_cast<DWORD>(FName.size()));
    OemToCharBuffA(oem.data(), back.data(), static_cast<DWORD>(oem.size()));
    return back == FName;
}

std::string TBatchFile::Line(int Number) const {
    // Inside a batch file a single "%" starts a variable, even between quotes; "%%" is one "%".
    std::string name;
    for (const char c : FName)
        name += c == '%' ? std::string("%%") : std::string(1, c);
    const std::string part = name + "." + IntToStrZeroPad(Number, 3);
    std::string line = Number == 1 ? "copy /b \"" + part + "\" \"" + name + "\"\r\n"
                                   : "copy /b \"" + name + "\" + \"" + part + "\"\r\n";
    // The command interpreter reads the OEM code page; one byte stays one byte.
    CharToOemA(line.data(), line.data());
    return line;
}

bool TBatchFile::IsOwn() const {
    // 999 lines of names of 255 characters.
    const std::string text = ReadFileStart(Path(), 600 * 1024);
    std::string lines;
    for (int number = 1; number <= MaxPartCount && lines.size() < text.size(); ++number)
        lines += Line(number);
    return !text.empty() && lines == text;
}
