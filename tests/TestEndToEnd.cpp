// Chunkler.exe in its window, driven from outside as a person would use it: fields typed, sizes chosen,
// buttons pressed, questions read and answered, files compared afterwards.
#include <gtest/gtest.h>

#include "support/TestSupport.h"

using namespace testsupport;

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
    // The next message box (the only dialogs on this desktop are the program's): its caption and text, and
    // its owner. Answer presses a button as a click does.
    const auto next = [&](int Answer, const std::string& Expected) {
        HWND box = nullptr;
        for (int i = 0; i < 1000 && !(box && IsWindowVisible(box)); ++i, Sleep(20))
            box = FindWindowA("#32770", nullptr);
        EXPECT_EQ(WindowText(box) + "|" + WindowText(GetDlgItem(box, 0xFFFF)), Expected);
        EXPECT_EQ(GetWindow(box, GW_OWNER), main);
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(Answer, BN_CLICKED), LPARAM(GetDlgItem(box, Answer)));
        for (int i = 0; i < 250 && IsWindow(box); ++i)
            Sleep(20);
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

    EXPECT_EQ(FindWindowA("#32770", nullptr), nullptr);

    PostMessageA(ChildWindowFromPoint(main, close), BM_CLICK, 0, 0);
    DWORD code = 99;
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code) && code == 0) << code;
    if (code == STILL_ACTIVE)
        TerminateProcess(pi.hProcess, 99);
}
