// Chunkler.exe in its window, driven from outside as a person would use it: fields typed, sizes chosen,
// buttons pressed, questions read and answered, files compared afterwards.
#include <gtest/gtest.h>

#include "support/TestSupport.h"

using namespace testsupport;

namespace {

// The next visible "#32770" box or dialog of a process (Wnd nullptr when none came) and its texts.
struct TDialogInfo {
    HWND Wnd = nullptr, Owner = nullptr;
    std::string Caption, Text; // Text: its static children's texts, joined by "\n"
};

TDialogInfo WaitForDialog(DWORD ProcessId, DWORD TimeoutMs = 20000) {
    TDialogInfo info;
    for (const DWORD start = GetTickCount(); !info.Wnd && GetTickCount() - start <= TimeoutMs; Sleep(20))
        for (HWND wnd = nullptr; !info.Wnd && (wnd = FindWindowExA(nullptr, wnd, "#32770", nullptr));) {
            DWORD pid = 0;
            GetWindowThreadProcessId(wnd, &pid);
            info.Wnd = pid == ProcessId && IsWindowVisible(wnd) ? wnd : nullptr;
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

// Presses the button Id as a click does and waits until the dialog has gone.
void AnswerDialog(HWND Dialog, int Id) {
    PostMessageA(Dialog, WM_COMMAND, MAKEWPARAM(Id, BN_CLICKED), LPARAM(GetDlgItem(Dialog, Id)));
    for (int i = 0; i < 250 && IsWindow(Dialog) && IsWindowVisible(Dialog); ++i)
        Sleep(20);
}

} // namespace

// One run of the program on a desktop of its own: a split typed into the window asks and sums up, and
// Close ends the program with code 0. (The join's boxes and dialogs: the join suite's scripted user.)
TEST(EndToEnd, SplitThroughTheWindow) {
    std::string desktop = UseOwnDesktop(), cmd = ChunklerExe();
    STARTUPINFOA si{.cb = sizeof(STARTUPINFOA), .lpDesktop = desktop.data()};
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    THandle process(pi.hProcess), thread(pi.hThread);
    HWND main = nullptr;
    for (int i = 0; i < 1000 && !(main && IsWindowVisible(main)); ++i, Sleep(20))
        main = FindWindowA("Chunkler", nullptr);
    // The controls found where a person sees them, in client coordinates.
    const auto set = [&](POINT At, const std::string& Text) {
        SendMessageA(ChildWindowFromPoint(main, At), WM_SETTEXT, 0, LPARAM(Text.c_str()));
    };
    const auto next = [&](int Answer, const std::string& Expected) {
        const TDialogInfo box = WaitForDialog(pi.dwProcessId);
        EXPECT_EQ(box.Caption + "|" + box.Text, Expected);
        EXPECT_EQ(box.Owner, main);
        AnswerDialog(box.Wnd, Answer);
    };
    const POINT source{90, 35}, split{105, 172}, close{260, 172};
    ASSERT_NE(ChildWindowFromPoint(main, close), main) << "no Chunkler window with its controls";

    TTempDir dir("e2e");
    BuildTree(dir.Path(), {{"src\\", ""}, {"src\\data.bin", PatternBytes(3000000, 7)}});
    // The output folder is proposed for the source; "1.44 MB Disk" is preset.
    set(source, dir / "src\\data.bin");
    PostMessageA(ChildWindowFromPoint(main, split), BM_CLICK, 0, 0);
    next(IDYES,
         "Split|There are 3 parts to create. You can press the <ESC> key to interrupt the job. Do you want "
         "to continue?");
    next(IDOK,
         "Split|Chunkler has succesfully created 3 partfile(s) and 1 headerfile(s). The last partfile and "
         "the first headerfile fit on the same disk.\r\nNote: Sometimes preformatted floppy disks have "
         "damaged sectors, so please make sure, you can read back the copied files from the disks!");
    EXPECT_EQ(FileSize(dir / "src\\data.bin.003"), 92864);

    EXPECT_EQ(WaitForDialog(pi.dwProcessId, 0).Wnd, nullptr);

    PostMessageA(ChildWindowFromPoint(main, close), BM_CLICK, 0, 0);
    DWORD code = 99;
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code) && code == 0) << code;
    if (code == STILL_ACTIVE)
        TerminateProcess(pi.hProcess, 99);
}
