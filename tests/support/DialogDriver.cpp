#include "support/DialogDriver.h"

namespace testsupport {

namespace {

std::string ClassOf(HWND Wnd) {
    char name[64] = {};
    GetClassNameA(Wnd, name, sizeof name);
    return name;
}

struct TSearch {
    DWORD ProcessId;
    HWND Exclude;
    HWND Found;
};

BOOL CALLBACK FindDialog(HWND Wnd, LPARAM Param) {
    auto* search = reinterpret_cast<TSearch*>(Param);
    DWORD pid = 0;
    GetWindowThreadProcessId(Wnd, &pid);
    if (pid == search->ProcessId && Wnd != search->Exclude && IsWindowVisible(Wnd) && ClassOf(Wnd) == "#32770")
        search->Found = Wnd;
    return search->Found == nullptr;
}

BOOL CALLBACK CollectStaticText(HWND Wnd, LPARAM Param) {
    auto* text = reinterpret_cast<std::string*>(Param);
    const std::string part = _stricmp(ClassOf(Wnd).c_str(), "Static") == 0 ? WindowText(Wnd) : "";
    if (!part.empty())
        *text += (text->empty() ? "" : "\n") + part;
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
    SendMessageTimeoutA(Wnd, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                        nullptr);
    return text;
}

TDialogInfo WaitForDialog(DWORD ProcessId, DWORD TimeoutMs, HWND Exclude) {
    TSearch search{ProcessId, Exclude, nullptr};
    for (const DWORD start = GetTickCount();; Sleep(20)) {
        EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
        if (search.Found || GetTickCount() - start >= TimeoutMs)
            break;
    }
    TDialogInfo info;
    if (!search.Found)
        return info;
    Sleep(50); // let the dialog finish laying out its texts
    info = {search.Found, GetWindow(search.Found, GW_OWNER), WindowText(search.Found), ""};
    EnumChildWindows(search.Found, CollectStaticText, reinterpret_cast<LPARAM>(&info.Text));
    return info;
}

void AnswerDialog(HWND Dialog, int Id) {
    PostMessageA(Dialog, WM_COMMAND, MAKEWPARAM(Id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(Dialog, Id)));
    for (int i = 0; i < 250 && IsWindow(Dialog) && IsWindowVisible(Dialog); ++i)
        Sleep(20);
}

TDialogAnswerer::TDialogAnswerer()
    : FThread([this] {
          UseOwnDesktop();
          HWND last = nullptr;
          while (!FStop) {
              const TDialogInfo box = WaitForDialog(GetCurrentProcessId(), 50, last);
              if (box.Wnd == nullptr)
                  continue;
              {
                  std::lock_guard<std::mutex> lock(FLock);
                  FSeen.push_back(box);
              }
              AnswerDialog(box.Wnd, GetDlgItem(box.Wnd, IDYES) ? IDYES : IDOK);
              last = box.Wnd;
          }
      }) {}

TDialogAnswerer::~TDialogAnswerer() {
    FStop = true;
    FThread.join();
}

std::vector<TDialogInfo> TDialogAnswerer::Seen() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FSeen;
}

} // namespace testsupport
