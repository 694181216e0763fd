// Finding, reading and answering the message boxes and dialogs of a driven program, as a person
// would: by window class, text and button.
#pragma once

#include <windows.h>

#include <string>

namespace testsupport {

struct TDialogInfo {
    HWND Wnd = nullptr; // nullptr: no dialog came
    HWND Owner = nullptr;
    std::string Caption;
    std::string Text; // the texts of its static children, joined by "\n"
};

// Moves the calling thread to a desktop of the test program's own, where windows of other test
// programs stay out of the way, and returns its name for STARTUPINFO.lpDesktop.
std::string UseOwnDesktop();
// WM_GETTEXT, which unlike GetWindowTextA also reads controls of another process.
std::string WindowText(HWND Wnd);
// A visible top-level "#32770" window of the process, waiting at most TimeoutMs (0: look once).
TDialogInfo WaitForDialog(DWORD ProcessId, DWORD TimeoutMs);
// Presses the button Id as a click does and waits until the dialog has gone.
void AnswerDialog(HWND Dialog, int Id);

} // namespace testsupport
