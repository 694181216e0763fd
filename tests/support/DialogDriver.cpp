#include "support/DialogDriver.h"

namespace testsupport {

std::string UseOwnDesktop() {
    static const std::string name = "chk_desktop_" + std::to_string(GetCurrentProcessId());
    static HDESK desktop = CreateDesktopA(name.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    if (desktop)
        SetThreadDesktop(desktop);
    return "winsta0\\" + name;
}

std::string WindowText(HWND Wnd) {
    char text[2048] = {};
    SendMessageTimeoutA(Wnd, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                        nullptr);
    return text;
}

TDialogInfo WaitForDialog(DWORD ProcessId, DWORD TimeoutMs) {
    TDialogInfo info;
    for (const DWORD start = GetTickCount(); !info.Wnd && GetTickCount() - start <= TimeoutMs; Sleep(20)) {
        for (HWND wnd = nullptr; !info.Wnd && (wnd = FindWindowExA(nullptr, wnd, "#32770", nullptr));) {
            DWORD pid = 0;
            GetWindowThreadProcessId(wnd, &pid);
            if (pid == ProcessId && IsWindowVisible(wnd))
                info.Wnd = wnd;
        }
    }
    if (!info.Wnd)
        return info;
    Sleep(50); // let the dialog finish laying out its texts
    info.Owner = GetWindow(info.Wnd, GW_OWNER);
    info.Caption = WindowText(info.Wnd);
    for (HWND label = nullptr; (label = FindWindowExA(info.Wnd, label, "Static", nullptr));)
        if (const std::string text = WindowText(label); !text.empty())
            info.Text += (info.Text.empty() ? "" : "\n") + text;
    return info;
}

void AnswerDialog(HWND Dialog, int Id) {
    PostMessageA(Dialog, WM_COMMAND, MAKEWPARAM(Id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(Dialog, Id)));
    for (int i = 0; i < 250 && IsWindow(Dialog) && IsWindowVisible(Dialog); ++i)
        Sleep(20);
}

} // namespace testsupport
