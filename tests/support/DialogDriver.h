// Finding and answering the dialogs and message boxes of a running program, the way a person would:
// by window class, text and button. Works across processes (a driven Chunkler.exe) and inside the
// test's own process (boxes that a job started by the test shows).
#pragma once

#include <windows.h>

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

struct TDialogInfo {
    HWND Wnd = nullptr;
    HWND Owner = nullptr;
    std::string Caption;
    std::string Text; // the texts of its static children, joined by "\n"
};

// Moves the calling thread to a desktop of the test's own, created on first use, and returns its
// full name for STARTUPINFO.lpDesktop. Windows of other test programs then stay out of the way, and
// a shared default desktop that lost its display (a process started without DISPLAY created it)
// does not break the test. Threads that look for the test's windows must call it too.
std::string UseOwnDesktop();

// The visible top-level "#32770" windows of the process.
std::vector<HWND> FindDialogs(DWORD ProcessId);
// Waits for a visible top-level "#32770" window of the process other than Exclude; nullptr on timeout.
HWND WaitForDialog(DWORD ProcessId, DWORD TimeoutMs, HWND Exclude = nullptr);
TDialogInfo DescribeDialog(HWND Dialog);
// Presses the button Id (IDOK, IDYES, IDNO, IDCANCEL) of a dialog, as a click does.
void PressDialogButton(HWND Dialog, int Id);
// Waits until the window is gone; False on timeout.
bool WaitWindowGone(HWND Wnd, DWORD TimeoutMs);
std::string WindowText(HWND Wnd);

// Answers every dialog of this process from a second thread while the test thread runs a job (whose
// boxes are modal and block it). Decide returns the button to press; the default presses Yes when
// the box has one, else OK.
class TDialogAnswerer {
public:
    using TDecide = std::function<int(const TDialogInfo&)>;
    explicit TDialogAnswerer(TDecide Decide = nullptr);
    ~TDialogAnswerer();
    TDialogAnswerer(const TDialogAnswerer&) = delete;
    TDialogAnswerer& operator=(const TDialogAnswerer&) = delete;

    std::vector<TDialogInfo> Seen() const;

private:
    void Run();
    TDecide FDecide;
    mutable std::mutex FLock;
    std::vector<TDialogInfo> FSeen;
    volatile bool FStop = false;
    std::thread FThread;
};

} // namespace testsupport
