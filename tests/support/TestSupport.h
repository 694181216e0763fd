// Shared helpers: scratch folders, trees, jobs in process or through Chunkler.exe, the Linux side.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "engine/UnitChunkler.h"
#include "ui/UnitGdi.h"

inline bool operator==(const FILETIME& A, const FILETIME& B) {
    return CompareFileTime(&A, &B) == 0;
}

namespace testsupport {

// The program's own scope owner; a failed CreateFileA's INVALID_HANDLE_VALUE closes as a no-op.
using THandle = TScopedHandle<HANDLE, &CloseHandle>;

// A stand-in for the user and the main window of a window-mode job: it records every message box and
// answers the engine's questions and dialogs from a script.
struct TMessageRecord {
    std::string Text, Caption;
    UINT Type = 0;
};

class TScriptedHooks : public TChunklerHooks {
public:
    // Each box takes the next scripted answer; when none is left, Yes/No gets IDYES, any other IDOK.
    std::deque<int> Answers;
    std::vector<TMessageRecord> Messages;
    std::function<void()> OnMessage; // runs before each box is answered
    // The CancelAtPoll-th cancel poll (from 1) and every later one answer True; 0 never cancels.
    int CancelAtPoll = 0, Polls = 0;
    std::function<void()> OnPoll;
    int64_t Progress = -1; // the last SetProgress value
    int Calls = 0;         // cursor and progress range: a silent job must make none
    // Each open-file dialog takes the next answer, "" or none left meaning Cancel.
    std::deque<std::string> DialogAnswers;

    HWND OwnerWindow() override { return nullptr; }
    void ShowWaitCursor() override { ++Calls; }
    void HideWaitCursor() override { ++Calls; }
    void SetProgressMax(int64_t) override { ++Calls; }
    void SetProgress(int64_t Done) override { Progress = Done; }
    bool CheckUserCancel(const std::string&) override {
        if (OnPoll)
            OnPoll();
        return ++Polls >= CancelAtPoll && CancelAtPoll > 0;
    }
    int ShowMessage(HWND, const std::string& Text, const std::string& Caption, UINT Type) override {
        if (OnMessage)
            OnMessage();
        Messages.push_back({Text, Caption, Type});
        int answer = (Type & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
        if (!Answers.empty())
            answer = Answers.front(), Answers.pop_front();
        return answer;
    }
    bool OpenFileDialog(HWND, const std::string&, std::string& ChosenPath) override {
        const std::string answer = DialogAnswers.empty() ? "" : DialogAnswers.front();
        if (!DialogAnswers.empty())
            DialogAnswers.pop_front();
        ChosenPath = answer.empty() ? ChosenPath : answer;
        return !answer.empty();
    }
    // The texts of the boxes in order, with caption and type as "Caption Type Text" where asked; Out, where
    // it occurs, written as "<out>".
    std::vector<std::string> Texts(const std::string& Out = "\x01", bool CaptionAndType = false) const {
        std::vector<std::string> texts;
        for (const auto& m : Messages) {
            const size_t at = m.Text.find(Out);
            texts.push_back(CaptionAndType ? m.Caption + " " + std::to_string(m.Type) + " " : "");
            texts.back() +=
                at == std::string::npos ? m.Text : std::string(m.Text).replace(at, Out.size(), "<out>");
        }
        return texts;
    }
};

// Removes a file or a whole folder tree (missing is fine), or empties a folder such as a drive's root.
void RemoveTree(const std::string& Path);
void ClearFolder(const std::string& Path);

// A fresh folder below the system's temp folder, removed with everything in it on destruction.
class TTempDir {
public:
    TTempDir();
    ~TTempDir() { RemoveTree(FPath); }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    const std::string& Path() const { return FPath; }
    std::string operator/(const std::string& Relative) const { return FPath + "\\" + Relative; }

private:
    std::string FPath;
};

void WriteFileBytes(const std::string& Path, const std::string& Bytes);
std::string ReadFileBytes(const std::string& Path);            // "<missing>" when it cannot be opened
bool FileExists(const std::string& Path, bool Folder = false); // a folder when Folder is set
int64_t FileSize(const std::string& Path);                     // -1 when missing
std::string PatternBytes(size_t Count, uint32_t Seed = 1);     // deterministic pseudo-random content

FILETIME MakeFileTime(int Year, int Month, int Day, int Hour, int Minute, int Second, int Millis);
FILETIME GetLastWriteTime(const std::string& Path);
void SetLastWriteTime(const std::string& Path, const FILETIME& Time);

// One entry of a tree to build: a name ending in "\" is a folder, anything else a file.
struct TTreeEntry {
    std::string Name, Content;
    FILETIME Time{}; // zero: leave the time the system gives
    DWORD Attributes = 0;
};
void BuildTree(const std::string& Root, const std::vector<TTreeEntry>& Entries);
// Every folder and file below Root as "name size hash time" (folders: "name\ time"), sorted.
std::vector<std::string> ListTree(const std::string& Root);
std::vector<std::string> ListNames(const std::string& Folder); // not recursive, sorted

// One job without the program copy: window mode through Hooks (the result shown), silent without them.
TChunklerResult RunJob(bool Unsplit, const std::string& Source, const std::string& Output,
                       int64_t PartSize = 0, TScriptedHooks* Hooks = nullptr, TStreamMaker Streams = nullptr,
                       int RecoverCount = 0);
// Runs a program (command line in CodePage) and returns its exit code; ChunklerExe() is the program, quoted.
DWORD RunProgram(const std::string& CommandLine, const std::string& WorkingDir = "",
                 const char* Application = nullptr, UINT CodePage = CP_ACP);
std::wstring Wide(const std::string& Text, UINT CodePage = CP_UTF8); // for the wide functions
std::string ChunklerExe();

// A desktop of the test's own, away from other windows (its name for STARTUPINFO); a control's text.
std::string UseOwnDesktop();
std::string WindowText(HWND Wnd);

// One record of a header text.
inline std::string Record(const std::string& Name, const std::string& Kind = "F",
                          const std::string& Size = "1", const std::string& Time = "20030517140309250") {
    return "\t" + Name + "\t" + Kind + "\t" + Size + "\t" + Time;
}

// The program's own texts, as its users read them in English: what the tests expect, written out once.
namespace text {
const std::string NotFound = "File or Directory not found!", InvalidHeader = "Invalid headerfile!",
                  AskJoin =
                      "The parts will be rejoined. You can press the <ESC> key to interrupt the job. Do "
                      "you want to continue?",
                  WriteError = "Error writing to file!";
inline std::string Overwrite(const std::string& Path) {
    return "File \"" + Path + "\" already exists. Always overwrite existing files?";
}
inline std::string WrongSize(const std::string& Part) {
    return "Part file \"" + Part + "\" has the wrong size: it is damaged or belongs to another set!";
}
inline std::string Damaged(const std::string& Part) {
    return "Part file \"" + Part + "\" is damaged (checksum error)!";
}
// A join's boxes when Part is missing: the join question, the request for the part, and the box that follows
// when the user gives up looking for it.
inline std::vector<std::string> Missing(const std::string& Part) {
    return {AskJoin,
            "The file \"" + Part +
                "\" is required.\r\nPlease insert the next diskette and press OK. You can "
                "also press OK and browse for the file yourself.",
            "File \"" + Part + "\" missed!"};
}
} // namespace text

// The Unix path Wine maps a Windows path to, quoted for a POSIX shell, and "/bin/sh -c Script" run as a
// Linux process, returning its exit code (0xFFFFFFFF on failure).
std::string UnixPath(const std::string& WinPath);
DWORD RunUnixShell(const std::string& Script);

} // namespace testsupport
