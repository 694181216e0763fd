// The job parameters and the engine that carries out one split or join job.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/UnitChunklerSfv.h"
#include "inventory/UnitFileInfo.h"
#include "support/UnitFileStream.h"

constexpr int64_t DefaultPartSize = 1453568;  // "1.44 MB Disk"
constexpr int64_t SmallDiskPartSize = 726016; // "720 KB Disk"
constexpr uint32_t CopyBlockSize = 131072;
constexpr int MaxPartCount = 999;

// Everything that describes one job. One instance per process, filled from the command line.
class TChunklerStartParams {
public:
    // Reads the process's own command line (GetCommandLineA).
    void ReadCommandLine();
    // The same on a given command line, program name first.
    void ReadCommandLine(const std::string& CommandLine);
    static int BoolToCheckState(bool Flag) { return Flag ? BST_CHECKED : BST_UNCHECKED; }

    std::string SourcePath;
    std::string OutputDir;
    bool CopyProgram = false;
    bool CreateBatch = false;
    int64_t PartSize = DefaultPartSize;
    bool Silent = false;
    bool Unsplit = false;
    bool NoHeader = false;
    // A split that succeeds also writes the set's checksum file.
    bool CreateSfv = false;
};

// Splits a command line as the runtime does (program name first); stops at the first empty argument.
std::vector<std::string> SplitCommandLine(const std::string& CommandLine);

// Result of a job; in a silent run also the exit code.
enum TChunklerResult : uint8_t {
    crOk = 0,
    crSourceNotFound = 1,
    crOutputNotFound = 2,
    crFolderNotAllowed = 3,
    crFolderExpected = 4,
    crRemovableOutput = 5,
    crInvalidSize = 6,
    crTooManyParts = 7,
    crInvalidHeader = 8,
    crFileError = 9,
    crNoBatchForFolder = 10, // only ever shown, never returned
    crCancelled = 11,
    crUnknownError = 12,
    crChecksumError = 13, // a part or header file differs from its checksum file
};

// All the engine needs of the window and the user in window mode. The main window implements it;
// tests answer it with a script. A silent job never calls it.
class TChunklerHooks {
public:
    virtual ~TChunklerHooks() = default;
    virtual HWND OwnerWindow() = 0;
    virtual void ShowWaitCursor() = 0;
    virtual void HideWaitCursor() = 0;
    // True when the user asked to cancel (Escape) and confirmed it.
    virtual bool CheckUserCancel(const std::string& Caption) = 0;
    virtual void SetProgressMax(int64_t Total) = 0;
    virtual void SetProgress(int64_t Done) = 0;
    // A message box (MessageBoxA); returns the button pressed (IDOK, IDYES, IDNO).
    virtual int ShowMessage(HWND Owner, const std::string& Text, const std::string& Caption, UINT Type);
    // The open-file dialog preset with PresetPath; False when the user cancelled it.
    virtual bool OpenFileDialog(HWND Owner, const std::string& PresetPath, std::string& ChosenPath);
};

// Message boxes without owner and the plain open-file dialog: for a window-mode job without a window.
class TPlainWin32Hooks : public TChunklerHooks {
public:
    HWND OwnerWindow() override { return nullptr; }
    void ShowWaitCursor() override {}
    void HideWaitCursor() override {}
    bool CheckUserCancel(const std::string&) override { return false; }
    void SetProgressMax(int64_t) override {}
    void SetProgress(int64_t) override {}
};

// A silent job shows nothing and asks nothing: every question counts as answered Yes.
class TSilentHooks : public TPlainWin32Hooks {
public:
    int ShowMessage(HWND, const std::string&, const std::string&, UINT) override { return IDYES; }
    bool OpenFileDialog(HWND, const std::string&, std::string&) override { return false; }
};

class TChunkler {
public:
    // Window: the user's side of a window-mode job; nullptr gives plain Win32 boxes and dialogs.
    explicit TChunkler(TChunklerHooks* Window = nullptr);
    TChunkler(const TChunkler&) = delete;
    TChunkler& operator=(const TChunkler&) = delete;

    TChunklerResult Execute(TChunklerStartParams& AParams);
    // Shows the text of Code in a warning box (window mode only, and only codes that have a text).
    void ShowResult(TChunklerResult Code);

    // Used by the drivers; reachable for tests.
    TChunklerResult CheckParams(bool ForSplit);
    int64_t PartCount(int64_t Bytes) const;

    TChunklerStartParams* Params = nullptr; // not owned
    std::unique_ptr<TFileInfos> FileInfos;
    std::string Caption;
    // The part or header file that crChecksumError names.
    std::string DamagedPartName;

private:
    // Drivers (UnitChunkler.cpp): run after CheckParams has passed.
    TChunklerResult Split();
    TChunklerResult Join();
    // No job, or a silent one: nothing may be shown or asked.
    bool IsSilent() const;
    // The window's hooks, or the silent ones when IsSilent.
    TChunklerHooks& Hooks();
    // A message box with the job's caption, owned by the window.
    int ShowMessage(const std::string& Text, UINT Type);
    // 999 x PartSize, or the largest Int64 when that product leaves the range.
    int64_t PartLimit() const;
    void ShowSplitSummary();

    // Splitting, batch file and program copy (UnitChunklerSplit.cpp)
    TChunklerResult WriteParts();
    // The content of every file into data parts; Done counts the bytes written. Part is left open on
    // the last data part, LeftInPart is the room left in it.
    TChunklerResult WriteDataParts(std::unique_ptr<TFileStreamLite>& Part, int64_t& LeftInPart, int64_t& Done,
                                   bool& OverwriteAll);
    // The header text into header files, the first one taking the room left on the last part.
    TChunklerResult WriteHeaderFiles(std::unique_ptr<TFileStreamLite>& Part, int64_t LeftInPart, int64_t Done,
                                     bool& OverwriteAll);
    void CopyProgramFile();
    // Closes Stream and opens the next file entry from FromIndex on; -1 (Stream nil) when none is left.
    int OpenNextSourceFile(std::unique_ptr<TFileStreamLite>& Stream, int FromIndex);
    // Closes Stream and creates data part or header file Number in it; crCancelled (Stream nil) when the
    // user keeps an existing file.
    TChunklerResult CreatePartFile(std::unique_ptr<TFileStreamLite>& Stream, bool& OverwriteAll,
                                   bool IsHeader, int Number);
    void AppendBatchLine(std::unique_ptr<TFileStreamLite>& BatchStream, int Number);
    // True when Name survives the trip to the OEM code page and back unchanged. Otherwise the command
    // interpreter would read a "?" or a look-alike letter, and "copy" would join other files or none.
    static bool OemHoldsName(const std::string& Name);
    std::string PartFileName(bool IsHeader, int Number) const;

    // Number of header files the last WriteParts created.
    int HeaderFilesWritten = 0;

    // Joining (UnitChunklerJoin.cpp)
    TChunklerResult JoinParts();
    // Collects the header files into one text and rebuilds FileInfos from it.
    TChunklerResult ReadHeader();
    // Recreates folders and files of FileInfos from the parts in order.
    TChunklerResult CopyParts();
    // Closes Stream, turns PartName into the name of header or part file Number, finds that file (asking
    // the user in window mode) and opens it in Stream; otherwise Stream stays nil and the result says why.
    TChunklerResult OpenPartFile(std::unique_ptr<TFileStreamLite>& Stream, bool IsHeader, int Number);
    // crOk when PartFolder\PartName exists or the user showed where it is (PartFolder then moves there);
    // crCancelled when the user gave up; crSourceNotFound in a silent job.
    TChunklerResult LocatePartFile();
    // Closes Stream, creates the folders from entry Index on, moves Index to the next file entry and
    // creates that restored file in Stream. Stream stays nil when no file is left (crOk, Index past the
    // end) or when the user keeps an existing file (crCancelled).
    TChunklerResult CreateOutputFile(std::unique_ptr<TFileStreamLite>& Stream, int& Index,
                                     bool& OverwriteAll);
    // True when Path names a header or part file of the set being read.
    bool IsFileOfSet(const std::string& Path) const;
    // A restored file is written under a temporary name beside its real one and takes the real name
    // only once it is complete, so a join that ends in any other way leaves an existing file as it was
    // and no half-restored one: CreateRestoredFile makes the temporary file, FinishRestoredFile closes
    // it and renames it, DropRestoredFile removes one that was not finished (its stream closed first).
    std::unique_ptr<TFileStreamLite> CreateRestoredFile(const std::string& FileName);
    void FinishRestoredFile(std::unique_ptr<TFileStreamLite>& Stream);
    void DropRestoredFile();
    std::string RestoredName, TemporaryName; // of the restored file being written; empty when none

    std::string PartFolder; // where header and part files are looked for
    std::string PartName;   // name of the header or part file wanted last

    // The checksum file (UnitChunklerSfv.cpp). Sfv follows the part and header files: every one a split
    // writes with /SFV, and those of the set's checksum file that a join reads.
    TSfvFile Sfv;
    TChunklerResult WriteSfvFile(bool& OverwriteAll);
    // Sfv for a join: the checksum file beside the file the join starts from, if there is one.
    void ReadSfvFile();
    // Reads what is left of the part or header file open in Stream for its checksum alone; False,
    // with DamagedPartName set, when it differs from the checksum file.
    bool PartIntact(TFileStreamLite& Stream, std::vector<char>& Buffer);

    // Shared by both copy phases (UnitChunkler.cpp): the overwrite rule for an existing part, header or
    // restored file (True: the file may be created).
    bool MayCreateFile(const std::string& FileName, bool& OverwriteAll);

    TChunklerHooks* Window;
    TPlainWin32Hooks PlainHooks;
    TSilentHooks SilentHooks;
};
