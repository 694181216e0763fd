// The joining batch file: the command interpreter's "copy /b" lines that rebuild a split file from its
// parts, run in the folder of the parts.
#pragma once

#include <string>

class TBatchFile {
public:
    // The batch file for the file Name split into Folder.
    TBatchFile(std::string AFolder, std::string AName)
        : FFolder(std::move(AFolder)), FName(std::move(AName)) {}

    // The split file's name without its extension, plus ".bat", in Folder.
    std::string Path() const;
    // The catalogue text that says why no batch file can rebuild the file (its "#" takes the name); -1
    // when one can.
    int Refusal() const;
    // Line Number (from 1), in the OEM code page, with its CR LF.
    std::string Line(int Number) const;
    // True when the file at Path holds nothing but this program's lines for the name, so that it belongs
    // to an older set of the name.
    bool IsOwn() const;

private:
    // True when the name survives the trip to the OEM code page and back unchanged.
    bool OemHoldsName() const;

    const std::string FFolder, FName;
};
