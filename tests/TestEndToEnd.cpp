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

// One run of the program on a desktop of its own: a split asks and sums up, a join through the
// insert-diskette box and the open-file dialog gives the file back with its time, and Close ends the program
// with code 0.
TEST(EndToEnd, SplitAndJoinThroughTheWindow) {
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
    const POINT source{90, 35}, output{170, 60}, split{105, 172}, join{180, 172}, close{260, 172};
    ASSERT_NE(ChildWindowFromPoint(main, close), main) << "no Chunkler window with its controls";

    TTempDir dir("e2e");
    const std::string data = PatternBytes(3000000, 7);
    BuildTree(dir.Path(), {{"src\\", ""},
                           {"src\\data.bin", data, MakeFileTime(2001, 2, 3, 4, 5, 6, 0)},
                           {"restore\\", ""},
                           {"disk2\\", ""}});
    set(source,
        dir / "src\\data.bin"); // the output folder is proposed for the source; "1.44 MB Disk" is preset
    PostMessageA(ChildWindowFromPoint(main, split), BM_CLICK, 0, 0);
    next(IDYES,
         "Split|There are 3 parts to create. You can press the <ESC> key to interrupt the job. Do you want "
         "to continue?");
    next(IDOK,
         "Split|Chunkler has succesfully created 3 partfile(s) and 1 headerfile(s). The last partfile and "
         "the first headerfile fit on the same disk.\r\nNote: Sometimes preformatted floppy disks have "
         "damaged sectors, so please make sure, you can read back the copied files from the disks!");
    EXPECT_EQ(FileSize(dir / "src\\data.bin.003"), 92864);

    // Parts 2 and 3 on the "next diskette".
    for (const char* part : {"data.bin.002", "data.bin.003"})
        MoveFileA((dir / "src\\" + part).c_str(), (dir / "disk2\\" + part).c_str());
    set(source, dir / "src\\data.bin.h001");
    set(output, dir / "restore");
    PostMessageA(ChildWindowFromPoint(main, join), BM_CLICK, 0, 0);
    next(IDYES,
         "Join|The parts will be rejoined. You can press the <ESC> key to interrupt the job. Do you want to "
         "continue?");
    next(IDOK,
         "Join|The file \"data.bin.002\" is required.\r\nPlease insert the next diskette and press OK. You "
         "can also press OK and browse for the file yourself.");
    const TDialogInfo open =
        WaitForDialog(pi.dwProcessId); // the open-file dialog, its file name field focused
    GUITHREADINFO info{.cbSize = sizeof(GUITHREADINFO)};
    GetGUIThreadInfo(pi.dwThreadId, &info);
    SendMessageA(info.hwndFocus, WM_SETTEXT, 0, LPARAM((dir / "disk2\\data.bin.002").c_str()));
    AnswerDialog(open.Wnd, IDOK);
    for (int i = 0; i < 600 && ReadFileBytes(dir / "restore\\data.bin") != data; ++i)
        Sleep(50);
    EXPECT_TRUE(ReadFileBytes(dir / "restore\\data.bin") == data);
    const FILETIME restored = GetLastWriteTime(dir / "restore\\data.bin"),
                   original = MakeFileTime(2001, 2, 3, 4, 5, 6, 0);
    EXPECT_EQ(CompareFileTime(&restored, &original), 0);
    EXPECT_EQ(WaitForDialog(pi.dwProcessId, 0).Wnd, nullptr);

    PostMessageA(ChildWindowFromPoint(main, close), BM_CLICK, 0, 0);
    DWORD code = 99;
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code) && code == 0) << code;
    if (code == STILL_ACTIVE)
        TerminateProcess(pi.hProcess, 99);
}
