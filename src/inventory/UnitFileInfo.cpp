#include "inventory/UnitFileInfo.h"

#include "support/UnitImport.h"
#include "support/UnitScopedHandle.h"
#include "support/UnitLanguage.h"

#include <cstring>
#include <iterator>
#include <map>
#include <optional>
#include <limits>

namespace {

constexpr char Tab = '\t';
constexpr int64_t MaxInt64 = std::numeric_limits<int64_t>::max();

// Plain decimal digits only, at least one, and the value must fit int64.
bool ReadHeaderInt64(std::string_view Text, int64_t& Value) {
    if (!IsDigits(Text))
        return false;
    int64_t v = 0;
    for (char c : Text) {
        const int d = c - '0';
        if (v > (MaxInt64 - d) / 10)
            return false;
        v = v * 10 + d;
    }
    Value = v;
    return true;
}

// Number of characters IntToStrZeroPad(Value, 0) produces.
int64_t DecimalLength(int64_t Value) {
    uint64_t u = Value < 0 ? 0 - static_cast<uint64_t>(Value) : static_cast<uint64_t>(Value);
    int64_t len = Value < 0 ? 2 : 1;
    while (u >= 10) {
        u /= 10;
        ++len;
    }
    return len;
}

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualsNoCase(std::string_view A, std::string_view B) {
    if (A.size() != B.size())
        return false;
    for (size_t i = 0; i < A.size(); ++i)
        if (UpperAscii(A[i]) != UpperAscii(B[i]))
            return false;
    return true;
}

// Windows opens these names as devices in any folder and with any extension, so a header that
// carries one could make a join write to a port or the console instead of a file.
bool IsDeviceName(std::string_view Component) {
    std::string_view stem = Component.substr(0, Component.find('.'));
    while (!stem.empty() && stem.back() == ' ')
        stem.remove_suffix(1);
    for (const char* dev : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (EqualsNoCase(stem, dev))
            return true;
    if (stem.size() == 4 &&
        (EqualsNoCase(stem.substr(0, 3), "COM") || EqualsNoCase(stem.substr(0, 3), "LPT"))) {
        // Superscript one to three (Windows-1252) name ports as well.
        const unsigned char n = static_cast<unsigned char>(stem[3]);
        return (n >= '0' && n <= '9') || n == 0xB9 || n == 0xB2 || n == 0xB3;
    }
    return false;
}

// A header comes from a disk of unknown origin; its names are placed below the output folder, so
// they must stay relative, stay inside it, and name ordinary files only.
bool IsSafeRelativeName(std::string_view Name) {
    if (Name.empty() || Name.front() == '\\')
        return false;
    for (unsigned char c : Name)
        if (c < 32 || std::strchr("/:<>\"|?*", c) != nullptr)
            return false;
    size_t start = 0;
    for (;;) {
        const size_t end = Name.find('\\', start);
        const std::string_view part = Name.substr(start, end == std::string_view::npos ? end : end - start);
        // Windows drops a trailing dot or blank, so "a." and "a " would land on "a".
        if (part.empty() || part.back() == '.' || part.back() == ' ' || IsDeviceName(part))
            return false;
        if (end == std::string_view::npos)
            return true;
        start = end + 1;
    }
}

// The next TAB-separated field of Text; the field and its TAB are removed from the front of Text.
// Without a TAB the result is empty and Text stays as it was.
std::string_view CutHeaderField(std::string_view& Text) {
    const size_t tab = Text.find(Tab);
    if (tab == std::string_view::npos)
        return std::string_view();
    const std::string_view field = Text.substr(0, tab);
    Text.remove_prefix(tab + 1);
    return field;
}

std::string FoundName(const WIN32_FIND_DATAA& Data) {
    return std::string(Data.cFileName, strnlen(Data.cFileName, MAX_PATH));
}

int64_t FoundSize(const WIN32_FIND_DATAA& Data) {
    return static_cast<int64_t>((static_cast<uint64_t>(Data.nFileSizeHigh) << 32) | Data.nFileSizeLow);
}

// One listing of a folder through the wide functions, each entry handed over with its name in the ANSI
// code page. The ANSI listing would hand a name that the code page cannot hold over with a look-alike
// letter ("Łódź" becomes "Lódz") or "?", which then names another file or none; here such a
// name is Unholdable. (An ANSI listing to read and a wide one to check cost two folder look-ups.)
class TFolderListing {
public:
    explicit TFolderListing(const std::string& Folder) {
        const std::string pattern = AppendBackslash(Folder) + "*.*";
        std::wstring wide(pattern.size() + 1, L'\0');
        // The program opens what it lists through the ANSI functions, which take no longer path; the wide
        // ones may.
        if (pattern.size() >= MAX_PATH)
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
        else if (MultiByteToWideChar(CP_ACP, 0, pattern.c_str(), -1, wide.data(),
                                     static_cast<int>(wide.size())))
            FHandle.Reset(FindFirstFileW(wide.c_str(), &FWide));
        Error = FHandle ? 0 : GetLastError();
        if (FHandle)
            Convert();
    }
    bool Valid() const { return bool(FHandle); }
    // False, with Error set, when no entry is left or the listing failed.
    bool Next() {
        if (!FindNextFileW(FHandle.Get(), &FWide)) {
            Error = GetLastError();
            return false;
        }
        Convert();
        return true;
    }

    WIN32_FIND_DATAA Data{};
    bool Unholdable = false;
    DWORD Error = 0;

private:
    void Convert() {
        Data.dwFileAttributes = FWide.dwFileAttributes;
        Data.ftLastWriteTime = FWide.ftLastWriteTime;
        Data.nFileSizeHigh = FWide.nFileSizeHigh;
        Data.nFileSizeLow = FWide.nFileSizeLow;
        std::string name;
        Unholdable = !WideToAnsi(FWide.cFileName, name) || name.size() >= sizeof Data.cFileName;
        name.copy(Data.cFileName, sizeof Data.cFileName - 1);
        Data.cFileName[std::min(name.size(), sizeof Data.cFileName - 1)] = '\0';
    }

    TScopedHandle<HANDLE, &FindClose> FHandle;
    WIN32_FIND_DATAW FWide{};
};

// What names a folder however it is reached: its volume and its file index; nothing when it cannot be
// opened.
std::optional<std::pair<DWORD, uint64_t>> FolderIdentity(const std::string& Folder) {
    const TKernelHandle folder(CreateFileA(Folder.c_str(), 0,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!folder || !GetFileInformationByHandle(folder.Get(), &info))
        return std::nullopt;
    return std::pair{info.dwVolumeSerialNumber, uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow};
}

// The recursive part of BuildFromPath. Total is the running sum of the sizes listed so far; the
// limit is tested only when a folder entry is added, and exceeding it stops the current folder.
class TFolderScanner {
public:
    TFolderScanner(TFileInfos& AList, int64_t ALimit, int64_t AStartTotal,
                   const std::function<bool(const std::string&)>& ALeave)
        : FList(AList), FLimit(ALimit), FLeave(ALeave), Total(AStartTotal) {}

    // Adds one entry and counts its size. Windows opens a name such as "aux.c" as a device in any
    // folder: it would be read as empty, and no join could write it back.
    void AddEntry(const std::string& Path, TPathKind Kind, const WIN32_FIND_DATAA& Data) {
        if (IsDeviceName(GetFileNamePart(Path))) {
            Fail(Path, ERROR_BAD_DEVICE);
            return;
        }
        TFileInfo* item = FList.Add();
        item->AssignFindData(Path, Kind, Data);
        Total += item->Size;
    }

    // Lists Folder, whose own entry (with Attributes) is in the list already; Chosen when it is the
    // folder or root the user chose.
    void Scan(const std::string& Folder, DWORD Attributes, bool Chosen) {
        if ((Attributes & FILE_ATTRIBUTE_REPARSE_POINT) && LeadsBack(Folder))
            return;
        FAncestors.push_back({Folder, std::nullopt, false});
        ScanListed(Folder, Attributes, Chosen);
        FAncestors.pop_back();
    }

    void ScanListed(const std::string& Folder, DWORD Attributes, bool Chosen) {
        const std::string prefix = AppendBackslash(Folder);
        TFolderListing listing(Folder);
        if (!listing.Valid()) {
            if (Chosen || !IsSystemFolder(Attributes))
                FailUnlessListed(Folder, listing.Error);
            return;
        }
        for (bool more = true; more && !Failed(); more = listing.Next()) {
            const WIN32_FIND_DATAA& data = listing.Data;
            const std::string name = FoundName(data);
            if (listing.Unholdable) {
                Fail(Folder, ERROR_INVALID_NAME);
            } else if (name == "." || name == ".." || (FLeave && FLeave(prefix + name))) {
                // the folder itself and its parent, and what the caller keeps out
            } else if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                AddEntry(prefix + name, pkFile, data);
            } else {
                AddEntry(prefix + name, pkFolder, data);
                if (Total > FLimit || Failed())
                    return;
                Scan(prefix + name, data.dwFileAttributes, false);
            }
        }
        if (!Failed())
            FailUnlessListed(Folder, listing.Error);
    }

    // The first failure counts; the scan stops there.
    void Fail(const std::string& Folder, DWORD Error) {
        if (Found.Error == 0)
            Found.Error = Error, Found.Where = Folder;
    }
    bool Failed() const { return Found.Error != 0; }

    // After a search gave no (further) entry: only "nothing (more) there" means the folder was listed.
    void FailUnlessListed(const std::string& Folder, DWORD Error) {
        if (Error != ERROR_NO_MORE_FILES && Error != ERROR_FILE_NOT_FOUND)
            Fail(Folder, Error);
    }

    // Folders the system keeps for itself refuse listing on purpose: the junctions "My Music" and the like
    // in every Documents folder, a dozen in every profile, "System Volume Information" on every NTFS drive.
    // They keep their entry and contribute nothing, as the user's own data would never be left out.
    static bool IsSystemFolder(DWORD Attributes) {
        constexpr DWORD hiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
        return (Attributes & hiddenSystem) == hiddenSystem || (Attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    }

    // True when a junction or symbolic link leads back into a folder being listed: following it would list
    // that folder inside itself without end. Its entry stays and contributes nothing, as all it holds is in
    // the set already. Only links can close such a circle, so only their walks pay for the identities.
    bool LeadsBack(const std::string& Link) {
        const auto target = FolderIdentity(Link);
        for (TAncestor& ancestor : FAncestors) {
            if (!ancestor.Known)
                ancestor.Id = FolderIdentity(ancestor.Folder), ancestor.Known = true;
            if (target && ancestor.Id == target)
                return true;
        }
        return false;
    }

private:
    struct TAncestor {
        std::string Folder;
        std::optional<std::pair<DWORD, uint64_t>> Id;
        bool Known;
    };
    std::vector<TAncestor> FAncestors; // the folders being listed, outermost first
    TFileInfos& FList;
    const int64_t FLimit;
    const std::function<bool(const std::string&)>& FLeave;

public:
    int64_t Total;
    TFileInfos::TListing Found;
};

} // namespace

// ---- Path helpers -------------------------------------------------------------------------------

std::string StripTrailingBackslashes(const std::string& Path) {
    const size_t last = Path.find_last_not_of('\\');
    return last == std::string::npos ? std::string() : Path.substr(0, last + 1);
}

std::string AppendBackslash(const std::string& Path) {
    if (Path.empty() || Path.back() == '\\')
        return Path;
    return Path + '\\';
}

std::string ExpandFullPath(const std::string& Path) {
    const TPathKind kind = GetPathKind(Path);
    if (kind != pkFile && kind != pkFolder)
        return Path;
    const DWORD needed = GetFullPathNameA(Path.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return Path;
    std::string buffer(needed, '\0');
    const DWORD written = GetFullPathNameA(Path.c_str(), needed, buffer.data(), nullptr);
    // A result at or above the buffer size is the size that would be needed, not a path.
    if (written == 0 || written >= needed)
        return Path;
    buffer.resize(written);
    return buffer;
}

std::string GetParentFolder(const std::string& Path) {
    const std::string t = StripTrailingBackslashes(Path);
    const size_t p = LastDelimiterPos("\\", t);
    return p > 0 ? t.substr(0, p - 1) : t;
}

std::string GetFileNamePart(const std::string& Path) {
    return Path.substr(LastDelimiterPos("\\", Path));
}

TPathKind GetPathKind(const std::string& Path) {
    const std::string t = StripTrailingBackslashes(Path);
    const DWORD attr = GetFileAttributesA(t.c_str());
    if (attr == INVALID_FILE_ATTRIBUTES || t.find('/') != std::string::npos)
        return pkMissing;
    if (!(attr & FILE_ATTRIBUTE_DIRECTORY))
        return pkFile;
    return GetPathRoot(Path) == t ? pkRoot : pkFolder;
}

size_t LastDelimiterPos(const std::string& Delimiters, const std::string& Text) {
    const size_t p = Text.find_last_of(Delimiters);
    return p == std::string::npos ? 0 : p + 1;
}

std::string StripExtension(const std::string& Path) {
    const size_t p = LastDelimiterPos(".\\", Path);
    if (p > 0 && Path[p - 1] == '.')
        return Path.substr(0, p - 1);
    return Path;
}

// ---- TFileInfo ----------------------------------------------------------------------------------

void TFileInfo::AssignFindData(const std::string& FullPath, TPathKind AKind, const WIN32_FIND_DATAA& Data) {
    FileName = StripTrailingBackslashes(FullPath);
    if (Owner)
        FileName.erase(0, AppendBackslash(Owner->BaseFolder).size());
    Kind = AKind;
    // What a file system reports for a folder means nothing to a join; the header gives folders 0.
    Size = Kind == pkFile ? FoundSize(Data) : 0;
    LastWriteTime = Data.ftLastWriteTime;
}

std::string TFileInfo::GetHeaderLine() const {
    SYSTEMTIME st{};
    // The field has room for four year digits; anything the reader could not take back is written
    // as the all-zero time, like a time the system cannot convert.
    if (!FileTimeToSystemTime(&LastWriteTime, &st) || st.wYear > 9999)
        st = SYSTEMTIME{};
    std::string line;
    line.reserve(FileName.size() + 44);
    line += FileName;
    line += Tab;
    line += Kind == pkFile ? 'F' : 'D';
    line += Tab;
    line += IntToStrZeroPad(Size, 0);
    line += Tab;
    line += IntToStrZeroPad(st.wYear, 4);
    line += IntToStrZeroPad(st.wMonth, 2);
    line += IntToStrZeroPad(st.wDay, 2);
    line += IntToStrZeroPad(st.wHour, 2);
    line += IntToStrZeroPad(st.wMinute, 2);
    line += IntToStrZeroPad(st.wSecond, 2);
    line += IntToStrZeroPad(st.wMilliseconds, 3);
    return line;
}

bool TFileInfo::ParseHeaderLine(std::string_view& Text) {
    try {
        std::string_view name = CutHeaderField(Text);
        while (!name.empty() && name.back() == '\\')
            name.remove_suffix(1);
        FileName = name;
        bool ok = IsSafeRelativeName(FileName);
        Kind = CutHeaderField(Text) == "F" ? pkFile : pkFolder;
        Size = 0;
        ok = ReadHeaderInt64(CutHeaderField(Text), Size) && ok;
        // Sets from a file system that reports sizes for folders carry them; a folder has no content.
        if (Kind == pkFolder)
            Size = 0;

        const std::string_view t = CutHeaderField(Text);
        static constexpr struct {
            size_t Pos, Len;
            WORD SYSTEMTIME::*Member;
        } slices[] = {{0, 4, &SYSTEMTIME::wYear},         {4, 2, &SYSTEMTIME::wMonth},
                      {6, 2, &SYSTEMTIME::wDay},          {8, 2, &SYSTEMTIME::wHour},
                      {10, 2, &SYSTEMTIME::wMinute},      {12, 2, &SYSTEMTIME::wSecond},
                      {14, 3, &SYSTEMTIME::wMilliseconds}};
        SYSTEMTIME st{};
        for (const auto& s : slices) {
            const std::string_view part = s.Pos < t.size() ? t.substr(s.Pos, s.Len) : std::string_view();
            int64_t v = 0;
            ok = ReadHeaderInt64(part, v) && ok;
            st.*s.Member = static_cast<WORD>(v & 0xFFFF);
        }
        LastWriteTime = FILETIME{};
        if (!SystemTimeToFileTime(&st, &LastWriteTime))
            LastWriteTime = FILETIME{};
        return ok;
    } catch (...) {
        return false;
    }
}

// ---- TFileInfos ---------------------------------------------------------------------------------

const char HeaderMagic[7] = "ChKl40";

void TFileInfos::Clear() {
    FItems.clear();
}

TFileInfo* TFileInfos::Add() {
    FItems.push_back(std::make_unique<TFileInfo>(this));
    return FItems.back().get();
}

TFileInfo* TFileInfos::GetItem(int Index) const {
    if (Index < 0 || Index >= Count())
        return nullptr;
    return FItems[static_cast<size_t>(Index)].get();
}

int TFileInfos::NextFileIndex(int Start) const {
    for (int i = Start < 0 ? 0 : Start; i < Count(); ++i)
        if (FItems[static_cast<size_t>(i)]->Kind == pkFile)
            return i;
    return -1;
}

int64_t TFileInfos::TotalSize() const {
    int64_t total = 0;
    for (const auto& item : FItems)
        total += item->Size;
    return total;
}

TFileInfos::TListing TFileInfos::BuildFromPath(const std::string& Path, int64_t Limit,
                                               const std::function<bool(const std::string&)>& Leave) {
    try {
        const std::string p = StripTrailingBackslashes(Path);
        TFolderScanner scanner(*this, Limit, TotalSize(), Leave);
        const TPathKind kind = GetPathKind(p);
        switch (kind) {
        case pkFile:
        case pkFolder: {
            WIN32_FIND_DATAA data{};
            if (const TScopedHandle<HANDLE, &FindClose> self(FindFirstFileA(p.c_str(), &data)); !self)
                scanner.Fail(p, GetLastError());
            BaseFolder = GetParentFolder(p);
            scanner.AddEntry(p, kind, data);
            if (kind == pkFolder && !scanner.Failed())
                scanner.Scan(p, data.dwFileAttributes, true);
            break;
        }
        case pkRoot:
            BaseFolder = p;
            scanner.Scan(p, 0, true);
            break;
        case pkMissing:
            break;
        }
        scanner.Found.TooLarge = scanner.Total > Limit;
        return scanner.Found;
    } catch (...) {
        Clear();
        return {};
    }
}

bool TFileInfos::BuildFromPartFiles(const std::string& PartFileName) {
    // A set has at most this many parts; "report.1000" is the user's own file.
    constexpr int64_t MaxParts = 999;
    try {
        Clear();
        BaseFolder.clear();
        const size_t dot = LastDelimiterPos(".", PartFileName);
        const std::string base = dot > 0 ? PartFileName.substr(0, dot - 1) : PartFileName;
        const std::string prefix = UpperCaseStr(GetFileNamePart(base) + ".");
        // One listing of the name's files: the parts, by number. A folder of a part's name is no part: where
        // parts follow it, it is a gap like a missing part.
        std::map<int64_t, WIN32_FIND_DATAA> parts;
        for (const WIN32_FIND_DATAA& data : FindFiles(base + ".*")) {
            const std::string name = UpperCaseStr(FoundName(data));
            const std::string digits = name.substr(std::min(prefix.size(), name.size()));
            int64_t number = 0;
            if (name.compare(0, prefix.size(), prefix) == 0 && ReadHeaderInt64(digits, number) &&
                IntToStrZeroPad(number, 3) == digits && number >= 1 && number <= MaxParts)
                parts.emplace(number, data);
        }
        // A part missing before the last one found is asked for when the join needs it: every part but
        // the last holds as much as the first. One part alone is no set.
        if (parts.empty() || parts.begin()->first != 1 || parts.rbegin()->first < 2)
            return false;
        TFileInfo* item = Add();
        item->AssignFindData(GetFileNamePart(base), pkFile, parts.at(1));
        const int64_t missing = parts.rbegin()->first - static_cast<int64_t>(parts.size());
        bool overflow = __builtin_mul_overflow(missing + 1, item->Size, &item->Size);
        for (auto it = std::next(parts.begin()); it != parts.end(); ++it)
            overflow = __builtin_add_overflow(item->Size, FoundSize(it->second), &item->Size) || overflow;
        if (overflow)
            Clear();
        return !overflow;
    } catch (...) {
        Clear();
        return false;
    }
}

std::string TFileInfos::GetHeaderText() const {
    std::string text;
    text.reserve(static_cast<size_t>(HeaderSize()));
    text += HeaderMagic;
    for (const auto& item : FItems) {
        text += Tab;
        text += item->GetHeaderLine();
    }
    text += Tab;
    text += Tab;
    return text;
}

int64_t TFileInfos::HeaderSize() const {
    // Magic and closing TABs, then per record four TABs, the name, the kind letter, the size digits
    // and the 17 time digits: the same bytes GetHeaderText produces, without building them.
    int64_t size = 6 + 2;
    for (const auto& item : FItems)
        size += 4 + static_cast<int64_t>(item->FileName.size()) + 1 + DecimalLength(item->Size) + 17;
    return size;
}

bool TFileInfos::IsCompleteHeader(std::string_view Text) {
    return Text.size() > 2 && Text[Text.size() - 1] == Tab && Text[Text.size() - 2] == Tab &&
           Text.substr(0, 6) == HeaderMagic;
}

bool TFileInfos::ParseHeader(std::string_view Text) {
    try {
        Clear();
        BaseFolder.clear();
        bool ok = Text.substr(0, 6) == HeaderMagic;
        const size_t tab = Text.find(Tab);
        if (tab != std::string_view::npos)
            Text.remove_prefix(tab + 1);
        // The join sums the sizes into its progress total and part positions; keep that in range.
        int64_t total = 0;
        while (ok && Text != "\t") {
            TFileInfo* item = Add();
            ok = item->ParseHeaderLine(Text) && item->Size <= MaxInt64 - total;
            if (ok)
                total += item->Size;
        }
        // A rejected header leaves no entries behind, so no unchecked name can be used by mistake.
        if (!ok)
            Clear();
        return ok;
    } catch (...) {
        Clear();
        return false;
    }
}
