// The floor for the tree benchmark: a folder tree copied into numbered part files and back with no
// more system calls than such a job needs. One directory search per folder, one open, block reads
// and one close per file, and part writes of whole 128 KiB blocks; the join does the reverse with
// one CreateDirectory per folder and CreateFile, WriteFile, SetFileTime and CloseHandle per file.
// It writes its own plain listing (not Chunkler's header), so it measures the copy and nothing else.
//
//   RefTreeCopy split <folder> <output folder> <part size>   -> <name>.001, ... and <name>.lst
//   RefTreeCopy join <output folder>\<name> <target folder>
//
// Exit code 0 on success, 1 on any failure (with a line on stderr), 2 on a bad command line.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr DWORD BlockSize = 131072;

[[noreturn]] void Fail(const std::string& What) {
    throw std::runtime_error(What + " (error " + std::to_string(GetLastError()) + ")");
}

class THandle {
public:
    explicit THandle(HANDLE H = INVALID_HANDLE_VALUE) : FHandle(H) {}
    ~THandle() { Close(); }
    THandle(const THandle&) = delete;
    THandle& operator=(const THandle&) = delete;
    void Reset(HANDLE H) {
        Close();
        FHandle = H;
    }
    void Close() {
        if (FHandle != INVALID_HANDLE_VALUE)
            CloseHandle(FHandle);
        FHandle = INVALID_HANDLE_VALUE;
    }
    bool IsOpen() const { return FHandle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return FHandle; }

private:
    HANDLE FHandle;
};

class TFindHandle {
public:
    explicit TFindHandle(HANDLE H) : FHandle(H) {}
    ~TFindHandle() {
        if (FHandle != INVALID_HANDLE_VALUE)
            FindClose(FHandle);
    }
    TFindHandle(const TFindHandle&) = delete;
    TFindHandle& operator=(const TFindHandle&) = delete;
    HANDLE Get() const { return FHandle; }

private:
    HANDLE FHandle;
};

std::string PartName(const std::string& Base, int Number) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%03d", Number);
    return Base + "." + digits;
}

void WriteAll(HANDLE H, const char* Data, DWORD Count, const std::string& Name) {
    DWORD done = 0;
    if (!WriteFile(H, Data, Count, &done, nullptr) || done != Count)
        Fail("cannot write " + Name);
}

// Collects file contents in one block and writes it whenever it is full or the part is.
class TPartWriter {
public:
    TPartWriter(std::string ABase, int64_t APartSize)
        : Base(std::move(ABase)), PartSize(APartSize), PartLeft(APartSize), Buffer(BlockSize) {}

    // Copies one open file to the parts; returns its size.
    int64_t CopyFrom(HANDLE Source, const std::string& Name) {
        int64_t total = 0;
        for (;;) {
            const DWORD wanted = static_cast<DWORD>(std::min<int64_t>(BlockSize - Fill, PartLeft));
            DWORD got = 0;
            if (!ReadFile(Source, Buffer.data() + Fill, wanted, &got, nullptr))
                Fail("cannot read " + Name);
            Fill += got;
            PartLeft -= got;
            total += got;
            if (Fill == BlockSize || PartLeft == 0)
                Flush();
            if (got < wanted)
                return total; // a short read is the end of the file
        }
    }

    void Finish() {
        Flush();
        Part.Close();
    }

private:
    void Flush() {
        if (!Part.IsOpen()) {
            const std::string name = PartName(Base, ++Number);
            Part.Reset(CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
            if (!Part.IsOpen())
                Fail("cannot create " + name);
        }
        if (Fill > 0)
            WriteAll(Part.Get(), Buffer.data(), Fill, Base);
        Fill = 0;
        if (PartLeft == 0) {
            Part.Close();
            PartLeft = PartSize;
        }
    }

    std::string Base;
    int64_t PartSize;
    int64_t PartLeft;
    std::vector<char> Buffer;
    DWORD Fill = 0;
    int Number = 0;
    THandle Part;
};

// One line per entry: kind, TAB, relative name, TAB, size, TAB, last-write time as 64-bit number.
void AddListLine(std::string& List, char Kind, const std::string& Name, int64_t Size, const FILETIME& Time) {
    const uint64_t time = (static_cast<uint64_t>(Time.dwHighDateTime) << 32) | Time.dwLowDateTime;
    List += Kind;
    List += '\t';
    List += Name;
    List += '\t';
    List += std::to_string(Size);
    List += '\t';
    List += std::to_string(time);
    List += '\n';
}

void SplitFolder(const std::string& Folder, const std::string& Relative, TPartWriter& Writer,
                 std::string& List) {
    WIN32_FIND_DATAA data;
    TFindHandle find(FindFirstFileA((Folder + "\\*.*").c_str(), &data));
    if (find.Get() == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string name = data.cFileName;
        const std::string full = Folder + "\\" + name;
        const std::string relative = Relative + "\\" + name;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (name[0] == '.')
                continue;
            AddListLine(List, 'D', relative, 0, data.ftLastWriteTime);
            SplitFolder(full, relative, Writer, List);
        } else {
            THandle source(
                CreateFileA(full.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
            if (!source.IsOpen())
                Fail("cannot open " + full);
            const int64_t size = Writer.CopyFrom(source.Get(), full);
            AddListLine(List, 'F', relative, size, data.ftLastWriteTime);
        }
    } while (FindNextFileA(find.Get(), &data));
}

void Split(const std::string& Folder, const std::string& OutDir, int64_t PartSize) {
    const std::string name = Folder.substr(Folder.find_last_of('\\') + 1);
    const std::string base = OutDir + "\\" + name;
    WIN32_FIND_DATAA self;
    {
        TFindHandle find(FindFirstFileA(Folder.c_str(), &self));
        if (find.Get() == INVALID_HANDLE_VALUE)
            Fail("cannot find " + Folder);
    }
    std::string list;
    AddListLine(list, 'D', name, 0, self.ftLastWriteTime);
    TPartWriter writer(base, PartSize);
    SplitFolder(Folder, name, writer, list);
    writer.Finish();
    const std::string listName = base + ".lst";
    THandle out(CreateFileA(listName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!out.IsOpen())
        Fail("cannot create " + listName);
    WriteAll(out.Get(), list.data(), static_cast<DWORD>(list.size()), listName);
}

// Hands out the parts' bytes block by block, moving to the next part when one is used up.
class TPartReader {
public:
    explicit TPartReader(std::string ABase) : Base(std::move(ABase)), Buffer(BlockSize) {}

    // Points Data at up to Wanted bytes of the stream and consumes them; returns how many.
    DWORD Take(int64_t Wanted, const char*& Data) {
        while (Pos == Len) {
            if (!Part.IsOpen()) {
                const std::string name = PartName(Base, ++Number);
                Part.Reset(CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                       nullptr));
                if (!Part.IsOpen())
                    Fail("cannot open " + name);
            }
            if (!ReadFile(Part.Get(), Buffer.data(), BlockSize, &Len, nullptr))
                Fail("cannot read a part");
            Pos = 0;
            if (Len < BlockSize)
                Part.Close(); // a short read is the end of the part
        }
        const DWORD count = static_cast<DWORD>(std::min<int64_t>(Wanted, Len - Pos));
        Data = Buffer.data() + Pos;
        Pos += count;
        return count;
    }

private:
    std::string Base;
    std::vector<char> Buffer;
    DWORD Pos = 0;
    DWORD Len = 0;
    int Number = 0;
    THandle Part;
};

std::string ReadWholeFile(const std::string& Name) {
    THandle in(CreateFileA(Name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!in.IsOpen())
        Fail("cannot open " + Name);
    LARGE_INTEGER size;
    if (!GetFileSizeEx(in.Get(), &size))
        Fail("cannot size " + Name);
    std::string text(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!ReadFile(in.Get(), text.data(), static_cast<DWORD>(text.size()), &got, nullptr) ||
        got != text.size())
        Fail("cannot read " + Name);
    return text;
}

void Join(const std::string& Base, const std::string& Target) {
    const std::string list = ReadWholeFile(Base + ".lst");
    TPartReader reader(Base);
    size_t pos = 0;
    while (pos < list.size()) {
        const size_t end = list.find('\n', pos);
        const size_t tab1 = list.find('\t', pos);
        const size_t tab2 = list.find('\t', tab1 + 1);
        const size_t tab3 = list.find('\t', tab2 + 1);
        if (end == std::string::npos || tab3 == std::string::npos || tab3 > end)
            Fail("bad listing");
        const char kind = list[pos];
        const std::string path = Target + "\\" + list.substr(tab1 + 1, tab2 - tab1 - 1);
        int64_t left = std::strtoll(list.c_str() + tab2 + 1, nullptr, 10);
        const uint64_t time = std::strtoull(list.c_str() + tab3 + 1, nullptr, 10);
        pos = end + 1;
        if (kind == 'D') {
            CreateDirectoryA(path.c_str(), nullptr);
            continue;
        }
        THandle out(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        if (!out.IsOpen())
            Fail("cannot create " + path);
        while (left > 0) {
            const char* data = nullptr;
            const DWORD count = reader.Take(left, data);
            WriteAll(out.Get(), data, count, path);
            left -= count;
        }
        // Set after the data: a later write through the handle would move the time again.
        FILETIME ft{static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
        if (!SetFileTime(out.Get(), nullptr, nullptr, &ft))
            Fail("cannot set the time of " + path);
    }
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.size() == 4 && args[0] == "split") {
            Split(args[1], args[2], std::strtoll(args[3].c_str(), nullptr, 10));
        } else if (args.size() == 3 && args[0] == "join") {
            Join(args[1], args[2]);
        } else {
            std::fputs("usage: RefTreeCopy split <folder> <output folder> <part size>\n"
                       "       RefTreeCopy join <output folder>\\<name> <target folder>\n",
                       stderr);
            return 2;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "RefTreeCopy: %s\n", e.what());
        return 1;
    }
    return 0;
}
