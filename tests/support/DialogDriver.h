// Finding, reading and answering the message boxes and dialogs of a program, as a person would: by
// window class, text and button. Works on a driven Chunkler.exe and inside the test's own process.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

struct TDialogInfo {
    HWND Wnd = nullptr; // nullptr: no dialog came
    HWND Owner = nullptr;
    std::string Caption;
    std::string Text; // the texts of its static children, joined by "\n"
};

// Moves the calling thread to a desktop of the test program's own and returns its name for
// STARTUPINFO.lpDesktop: windows of other test programs stay out of the way. Threads that look for
// the test's windows must call it too.
std::string UseOwnDesktop();
// WM_GETTEXT, which unlike GetWindowTextA also reads controls of another process.
std::string WindowText(HWND Wnd);
// The next visible top-level "#32770" window of the process other than Exclude, waiting at most
// TimeoutMs (0: look once).
TDialogInfo WaitForDialog(DWORD ProcessId, DWORD TimeoutMs, HWND Exclude = nullptr);
// Presses the button Id as a click does and waits until the dialog has gone.
void AnswerDialog(HWND Dialog, int Id);

// While the test thread runs a job whose modal boxes block it, answers every dialog of this process
// from a second thread: Yes where the box has it, else OK.
class TDialogAnswerer {
public:
    TDialogAnswerer();
    ~TDialogAnswerer();
    TDialogAnswerer(const TDialogAnswerer&) = delete;
    TDialogAnswerer& operator=(const TDialogAnswerer&) = delete;

    std::vector<TDialogInfo> Seen() const;

private:
    mutable std::mutex FLock;
    std::vector<TDialogInfo> FSeen;
    volatile bool FStop = false;
    std::thread FThread;
};

} // namespace testsupport
