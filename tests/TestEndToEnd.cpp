// Chunkler.exe in its window, driven from outside as a person would use it: fields typed, sizes chosen,
// buttons pressed, questions read and answered, files compared afterwards.
#include <gtest/gtest.h>

#include "support/TestSupport.h"

using namespace testsupport;

namespace {

// The controls used, as points inside them in client coordinates.
enum TControl { EdtSource, EdtOutputDir, CboSize, EdtSize, BtnSplit, BtnJoin, BtnClose, ControlCount };
const POINT Positions[ControlCount] = {{90, 35}, {170, 60}, {230, 102}, {325, 102}, {105, 172}, {180, 172}, {260, 172}};

} // namespace

// One run of the program on a desktop of its own: a failed check leaves the focus in its field; a split
// asks and sums up; a join from the last part, and one through the insert-diskette box and the open-file
// dialog, give the file back with its time; Close ends the program with code 0.
TEST(EndToEnd, OneProgramRunFromStartToClose) {
    std::string desktop = UseOwnDesktop(), cmd = "\"Z:" + std::string(getenv("CHUNKLER_EXE")) + "\"";
    std::replace(cmd.begin(), cmd.end(), '/', '\\');
    STARTUPINFOA si{.cb = sizeof(STARTUPINFOA), .lpDesktop = desktop.data()};
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    THandle process(pi.hProcess), thread(pi.hThread);
    HWND main = nullptr;
    for (int i = 0; i < 1000 && !(main && IsWindowVisible(main)); ++i, Sleep(20))
        main = FindWindowA("Chunkler", nullptr);
    ASSERT_NE(main, nullptr) << "no Chunkler window";
    const auto control = [&](TControl Which) { return ChildWindowFromPoint(main, Positions[Which]); };
    const auto set = [&](TControl Which, const std::string& Text) {
        SendMessageA(control(Which), WM_SETTEXT, 0, LPARAM(Text.c_str()));
    };
    const auto chooseSize = [&](int Index, const std::string& Text) {
        SendMessageA(control(CboSize), CB_SETCURSEL, WPARAM(Index), 0);
        SendMessageA(main, WM_COMMAND, MAKEWPARAM(0, CBN_SELCHANGE), LPARAM(control(CboSize)));
        set(EdtSize, Text);
    };
    const auto press = [&](TControl Button) { PostMessageA(control(Button), BM_CLICK, 0, 0); };
    const auto focus = [&] {
        GUITHREADINFO info{.cbSize = sizeof(GUITHREADINFO)};
        GetGUIThreadInfo(pi.dwThreadId, &info);
        return info.hwndFocus;
    };
    ASSERT_NE(control(BtnClose), main) << "no control where expected";

    TTempDir dir("e2e");
    const std::string data = PatternBytes(3000000, 7);
    BuildTree(dir.Path(), {{"src\\", ""}, {"src\\data.bin", data, MakeFileTime(2001, 2, 3, 4, 5, 6, 0)},
                           {"restore\\", ""}, {"restore2\\", ""}, {"disk2\\", ""}});
    const std::pair<std::vector<std::string>, TControl> checks[] = {
        {{dir / "missing", dir / "disk2", "1000"}, EdtSource},
        {{dir / "src\\data.bin", "R:\\", "1000"}, EdtOutputDir}, // a diskette
        {{dir / "src\\data.bin", dir / "disk2", "0"}, EdtSize},
    };
    for (const auto& [fields, field] : checks) {
        set(EdtSource, fields[0]);
        set(EdtOutputDir, fields[1]);
        chooseSize(3, fields[2]);
        press(BtnSplit);
        const TDialogInfo box = WaitForDialog(pi.dwProcessId);
        ASSERT_NE(box.Wnd, nullptr) << fields[0];
        AnswerDialog(box.Wnd, IDOK);
        for (int i = 0; i < 100 && focus() != control(field); ++i)
            Sleep(20);
        EXPECT_EQ(focus(), control(field)) << box.Text;
    }

    set(EdtOutputDir, "");
    set(EdtSource, dir / "src\\data.bin"); // the output folder is proposed for the source
    chooseSize(1, "");                     // "1.44 MB Disk"
    press(BtnSplit);
    TDialogInfo box = WaitForDialog(pi.dwProcessId);
    EXPECT_EQ(box.Caption + "|" + box.Text, "Split|There are 3 parts to create. You can press the <ESC> key to "
                                            "interrupt the job. Do you want to continue?");
    EXPECT_EQ(box.Owner, main);
    AnswerDialog(box.Wnd, IDYES);
    box = WaitForDialog(pi.dwProcessId);
    EXPECT_TRUE(box.Text.starts_with("Chunkler has succesfully created 3 partfile(s) and 1 headerfile(s).")) << box.Text;
    AnswerDialog(box.Wnd, IDOK);
    EXPECT_EQ(FileSize(dir / "src\\data.bin.003"), 92864);

    // From the last part; then from the header file with parts 2 and 3 on the "next diskette".
    for (const std::string from : {"data.bin.003", "data.bin.h001"}) {
        const bool diskette = from == "data.bin.h001";
        const std::string into = dir / (diskette ? "restore2" : "restore");
        for (const char* part : {"data.bin.002", "data.bin.003"})
            if (diskette)
                MoveFileA((dir / "src\\" + part).c_str(), (dir / "disk2\\" + part).c_str());
        set(EdtSource, dir / ("src\\" + from));
        set(EdtOutputDir, into);
        press(BtnJoin);
        box = WaitForDialog(pi.dwProcessId);
        EXPECT_EQ(box.Caption + "|" + box.Text, "Join|The parts will be rejoined. You can press the <ESC> key to "
                                                "interrupt the job. Do you want to continue?");
        AnswerDialog(box.Wnd, IDYES);
        if (diskette) {
            box = WaitForDialog(pi.dwProcessId);
            EXPECT_EQ(box.Text, "The file \"data.bin.002\" is required.\r\nPlease insert the next diskette and press "
                                "OK. You can also press OK and browse for the file yourself.");
            AnswerDialog(box.Wnd, IDOK);
            box = WaitForDialog(pi.dwProcessId); // the open-file dialog, its file name field focused
            SendMessageA(focus(), WM_SETTEXT, 0, LPARAM((dir / "disk2\\data.bin.002").c_str()));
            AnswerDialog(box.Wnd, IDOK);
        }
        for (int i = 0; i < 600 && ReadFileBytes(into + "\\data.bin") != data; ++i)
            Sleep(50);
        EXPECT_TRUE(ReadFileBytes(into + "\\data.bin") == data) << from;
        const FILETIME restored = GetLastWriteTime(into + "\\data.bin"), original = MakeFileTime(2001, 2, 3, 4, 5, 6, 0);
        EXPECT_EQ(CompareFileTime(&restored, &original), 0) << from;
    }
    EXPECT_EQ(WaitForDialog(pi.dwProcessId, 0).Wnd, nullptr);

    press(BtnClose);
    DWORD code = 99;
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code) && code == 0) << code;
    if (code == STILL_ACTIVE)
        TerminateProcess(pi.hProcess, 99);
}
