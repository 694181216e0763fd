// The file inventory of a job, its header text, and the path helpers it is built with.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

enum TPathKind : uint8_t {
    pkMissing = 0, // does not exist, cannot be queried, or contains "/"
    pkFile = 1,
    pkFolder = 2, // an existing folder that is not a root
    pkRoot = 3,   // the root of a drive or a network share
};

std::string StripTrailingBackslashes(const std::string& Path);
// Appends one "\" unless Path is empty or already ends with one.
std::string AppendBackslash(const std::string& Path);
// Absolute form of an existing file or non-root folder; anything else comes back unchanged.
std::string ExpandFullPath(const std::string& Path);
// Path without its last component and the backslash before it; a path without "\" is its own parent.
std::string GetParentFolder(const std::string& Path);
// The text behind the last backslash.
std::string GetFileNamePart(const std::string& Path);
TPathKind GetPathKind(const std::string& Path);
// 1-based position of the last character of Text that occurs in Delimiters; 0 when there is none.
size_t LastDelimiterPos(const std::string& Delimiters, const std::string& Text);
// Path without the extension of its last component.
std::string StripExtension(const std::string& Path);

extern const char HeaderMagic[7]; // "ChKl40"

class TFileInfos;

class TFileInfo {
public:
    explicit TFileInfo(TFileInfos* AOwner) : Owner(AOwner) {}
    TFileInfo(const TFileInfo&) = delete;
    TFileInfo& operator=(const TFileInfo&) = delete;

    // Fills every field but Owner from a find record; FullPath must begin with the owner's base folder.
    void AssignFindData(const std::string& FullPath, TPathKind AKind, const WIN32_FIND_DATAA& Data);
    // The four fields of the record joined by TABs (name, kind, size, 17-digit UTC time).
    std::string GetHeaderLine() const;
    // Reads one record from the front of Text into this entry; False when it is invalid.
    bool ParseHeaderLine(std::string_view& Text);

    TFileInfos* const Owner;
    std::string FileName; // relative to Owner->BaseFolder, no leading or trailing backslash
    int64_t Size = 0;
    FILETIME LastWriteTime{};
    TPathKind Kind = pkMissing; // pkFile or pkFolder once filled
};

class TFileInfos {
public:
    TFileInfos() = default;
    TFileInfos(const TFileInfos&) = delete;
    TFileInfos& operator=(const TFileInfos&) = delete;

    void Clear(); // BaseFolder stays
    TFileInfo* Add();
    int Count() const { return static_cast<int>(FItems.size()); }
    TFileInfo* GetItem(int Index) const; // nullptr outside the list
    int NextFileIndex(int Start) const;  // -1 when no file entry follows
    int64_t TotalSize() const;

    // What a listing found beyond its entries: whether the content exceeds the limit, and the system's error
    // code where it could not list everything (a folder it cannot search, a name the ANSI code page cannot
    // hold), with the folder; or ERROR_BAD_DEVICE with the file or folder whose name Windows opens as a
    // device. Error is 0 when the list is complete.
    struct TListing {
        bool TooLarge = false;
        DWORD Error = 0;
        std::string Where;
    };
    // Lists a file, a folder tree or a drive or share root. Leave, where given, keeps an entry found
    // inside (by its full path) out of the list with all it holds.
    TListing BuildFromPath(const std::string& Path, int64_t Limit,
                           const std::function<bool(const std::string&)>& Leave = nullptr);
    // One entry summed from the parts .001, .002, ... up to the last one (a missing one, or a folder of a
    // part's name, counting as large as .001); False without .001 or a second part.
    bool BuildFromPartFiles(const std::string& PartFileName);

    std::string GetHeaderText() const;
    int64_t HeaderSize() const;
    static bool IsCompleteHeader(std::string_view Text);
    // Replaces the entries by those of Text; False when Text is not a valid, safe header.
    bool ParseHeader(std::string_view Text);

    std::string BaseFolder; // without trailing backslash; empty for a list from a header or parts

private:
    std::vector<std::unique_ptr<TFileInfo>> FItems;
};
