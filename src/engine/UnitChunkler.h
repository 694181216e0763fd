// The job parameters and the engine that carries out one split or join job.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/UnitChunklerResult.h"
#include "inventory/UnitFileInfo.h"
#include "support/UnitFileStream.h"

constexpr int64_t DefaultPartSize = 1453568;  // "1.44 MB Disk"
constexpr int64_t SmallDiskPartSize = 726016; // "720 KB Disk"
constexpr int MaxPartCount = 999;

// Everything that describes one job. One instance per process, filled from the command line.
class TChunklerStartParams {
public:
    // Reads the process's own command line as the system gives it (GetCommandLineW).
    void ReadCommandLine();
    // The same on a given command line, program name first.
    void ReadCommandLine(const std::wstring& CommandLine);
    // Sets SourcePath, or OutputDir for Output, from a path as the system hands it over ("/" taken as "\").
    void SetPath(bool Output, const std::wstring& Path);
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
    // The source and the output folder as they were given, where the ANSI code page cannot hold their
    // names (SourcePath and OutputDir then read "?" for the letters it lacks); empty otherwise. A job ends
    // on such a name before it starts.
    std::wstring WideSourcePath, WideOutputDir;
    // A split that succeeds also writes recovery files that rebuild any RecoverCount of its part and header
    // files (1 to 99; 0 for none, -1 for a /RECOVER switch with another number, which no split accepts).
    int RecoverCount = 0;

private:
    // One switch, upper-cased and without its "/"; other names are no switch of this program's.
    void ReadSwitch(const std::string& Name);
};

// Splits a command line as the runtime does (program name first); stops at the first empty argument.
std::vector<std::wstring> SplitCommandLine(const std::wstring& CommandLine);

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

// A silent job shows nothing and asks nothing: every question counts as answered Yes.
class TSilentHooks : public TChunklerHooks {
public:
    HWND OwnerWindow() override { return nullptr; }
    void ShowWaitCursor() override {}
    void HideWaitCursor() override {}
    bool CheckUserCancel(const std::string&) override { return false; }
    void SetProgressMax(int64_t) override {}
    void SetProgress(int64_t) override {}
    int ShowMessage(HWND, const std::string&, const std::string&, UINT) override { return IDYES; }
    bool OpenFileDialog(HWND, const std::string&, std::string&) override { return false; }
};

class TCopyBlock;
class TSetRecovery;
class TPartSetWriter;
class TPartSetReader;
class TRestoredFile;
class TWaitingFiles;
struct TLocated;

class TChunkler {
public:
    // User: the user's side of a window-mode job (the window, or a test's script); a silent job, or one
    // without a user, shows nothing and asks nothing.
    explicit TChunkler(TChunklerHooks* User = nullptr);
    TChunkler(const TChunkler&) = delete;
    TChunkler& operator=(const TChunkler&) = delete;

    TChunklerResult Execute(TChunklerStartParams& AParams);
    // Shows the text of Code in a warning box (window mode only, and only codes that have a text); for the
    // code the job ended with, the text its phase found for it.
    void ShowResult(TChunklerResult Code);

    // Every failing check assigns its code, so the last failing one decides: source, output folder, part
    // size, recovery count, names the code page cannot hold.
    TJobResult CheckParams(bool ForSplit);
    int64_t PartCount(int64_t Bytes) const;

    TChunklerStartParams* Params = nullptr; // not owned
    std::unique_ptr<TFileInfos> FileInfos;
    std::string Caption;
    // Makes the stream of every file the job writes.
    TStreamMaker MakeStream = &TFileStreamLite::CreateWrite;

private:
    // Drivers (UnitChunkler.cpp): run after CheckParams has passed.
    TJobResult Split();
    TJobResult Join();
    // The source and the output folder, each made absolute and without trailing backslashes.
    TChunklerResult CheckSource(bool ForSplit);
    TChunklerResult CheckOutputDir();
    // No job, a silent one, or no user: nothing may be shown or asked.
    bool IsSilent() const;
    // The user's hooks, or the silent ones when IsSilent.
    TChunklerHooks& Hooks();
    // A message box with the job's caption, owned by the window.
    int ShowMessage(const std::string& Text, UINT Type);
    // 999 x PartSize, or the largest Int64 when that product leaves the range.
    int64_t PartLimit() const;
    void ShowSplitSummary(int HeaderFiles);
    // What the listing of a split leaves out: the output folder, and the older set it replaces.
    std::function<bool(const std::string&)> LeftOutOfSplit() const;
    // The overwrite question for an existing part, header, batch, checksum or restored file; True for
    // Yes. A silent job answers Yes.
    bool MayReplace(const std::string& FileName);
    // True when the user cancelled with Escape and confirmed it.
    bool Cancelled();

    // Splitting, batch file and program copy (UnitChunklerSplit.cpp)
    // The set written, and its header files for the summary.
    struct TWrittenSet {
        TJobResult Result;
        int HeaderFiles = 0;
    };
    TWrittenSet WriteParts(TSetRecovery* Recovery);
    // The content of every file into data parts.
    TChunklerResult WriteDataParts(TPartSetWriter& Set);
    // The header text into header files.
    TChunklerResult WriteHeaderFiles(TPartSetWriter& Set);
    void CopyProgramFile();
    // Clears CreateBatch, saying why, for a name that no batch file can rebuild.
    void CheckBatchName();

    // Joining (UnitChunklerJoin.cpp)
    TJobResult JoinParts();
    // Collects the header files into one text and rebuilds FileInfos from it.
    TJobResult ReadHeader(TPartSetReader& Parts);
    // Recreates folders and files of FileInfos from the parts in order.
    TJobResult CopyParts(TPartSetReader& Parts);
    // The next Size bytes of the set into File.
    TJobResult RestoreFile(TPartSetReader& Parts, TCopyBlock& Block, TWaitingFiles& Waiting,
                           TRestoredFile& File, int64_t Size);
    // Where FileName is when it is not in Folder: the user is asked to insert the disk that holds it, then
    // to show where it is; a silent job gives crSourceNotFound at once.
    TLocated LocatePartFile(const std::string& Folder, const std::string& FileName);

    TChunklerHooks* const FUser;
    TSilentHooks FSilent;
    // What the job ended with, as its phase found it, for ShowResult.
    TJobResult FResult;
};
