#include "support/DialogDriver.h"

namespace testsupport {

namespace {

std::string ClassOf(HWND Wnd) {
    char name[64] = {};
    GetClassNameA(Wnd, name, sizeof name);
    return name;
}

struct TFindState {
    DWORD ProcessId;
    std::vector<HWND> Found;
};

BOOL CALLBACK CollectDialog(HWND Wnd, LPARAM Param) {
    auto* state = reinterpret_cast<TFindState*>(Param);
    DWORD pid = 0;
    GetWindowThreadProcessId(Wnd, &pid);
    if (pid == state->ProcessId && IsWindowVisible(Wnd) && ClassOf(Wnd) == "#32770")
        state->Found.push_back(Wnd);
    return TRUE;
}

BOOL CALLBACK CollectStaticText(HWND Wnd, LPARAM Param) {
    auto* text = reinterpret_cast<std::string*>(Param);
    if (_stricmp(ClassOf(Wnd).c_str(), "Static") == 0) {
        std::string part = WindowText(Wnd);
        if (!part.empty())
            *text += (text->empty() ? "" : "\n") + part;
    }
    return TRUE;
}

} // namespace

std::string UseOwnDesktop() {
    static const std::string name = "chk_desktop_" + std::to_string(GetCurrentProcessId());
    static HDESK desktop = CreateDesktopA(name.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    if (desktop)
        SetThreadDesktop(desktop);
    return "winsta0\\" + name;
}

std::string WindowText(HWND Wnd) {
    char text[2048] = {};
    // WM_GETTEXT, unlike GetWindowTextA, also reads controls of another process.
    SendMessageTimeoutA(Wnd, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                        nullptr);
    return text;
}

std::vector<HWND> FindDialogs(DWORD ProcessId) {
    TFindState state{ProcessId, {}};
    EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&state));
    return state.Found;
}

HWND WaitForDialog(DWORD ProcessId, DWORD TimeoutMs, HWND Exclude) {
    const DWORD start = GetTickCount();
    do {
        for (HWND wnd : FindDialogs(ProcessId))
            if (wnd != Exclude)
                return wnd;
        Sleep(20);
    } while (GetTickCount() - start < TimeoutMs);
    return nullptr;
}

TDialogInfo DescribeDialog(HWND Dialog) {
    TDialogInfo info;
    info.Wnd = Dialog;
    info.Owner = GetWindow(Dialog, GW_OWNER);
    info.Caption = WindowText(Dialog);
    EnumChildWindows(Dialog, CollectStaticText, reinterpret_cast<LPARAM>(&info.Text));
    return info;
}

void PressDialogButton(HWND Dialog, int Id) {
    PostMessageA(Dialog, WM_COMMAND, MAKEWPARAM(Id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(Dialog, Id)));
}

bool WaitWindowGone(HWND Wnd, DWORD TimeoutMs) {
    const DWORD start = GetTickCount();
    while (IsWindow(Wnd) && IsWindowVisible(Wnd)) {
        if (GetTickCount() - start >= TimeoutMs)
            return false;
        Sleep(20);
    }
    return true;
}

TDialogAnswerer::TDialogAnswerer(TDecide Decide) : FDecide(std::move(Decide)), FThread([this] { Run(); }) {}

TDialogAnswerer::~TDialogAnswerer() {
    FStop = true;
    FThread.join();
}

std::vector<TDialogInfo> TDialogAnswerer::Seen() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FSeen;
}

void TDialogAnswerer::Run() {
    UseOwnDesktop();
    HWND last = nullptr;
    while (!FStop) {
        HWND box = WaitForDialog(GetCurrentProcessId(), 50, last);
        if (box == nullptr)
            continue;
        Sleep(30); // let the box finish laying out its texts
        TDialogInfo info = DescribeDialog(box);
        {
            std::lock_guard<std::mutex> lock(FLock);
            FSeen.push_back(info);
        }
        int answer = FDecide ? FDecide(info) : (GetDlgItem(box, IDYES) ? IDYES : IDOK);
        PressDialogButton(box, answer);
        WaitWindowGone(box, 5000);
        last = box;
    }
}

} // namespace testsupport
