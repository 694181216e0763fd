// Chunkler.exe in its window, driven from outside as a person would use it: fields typed, sizes
// chosen, buttons pressed, questions read and answered, files compared afterwards.
#include <gtest/gtest.h>

#include "support/DialogDriver.h"
#include "support/PngWriter.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

// The controls used, as points inside them in client coordinates.
enum TControl { EdtSource, EdtOutputDir, CboSize, EdtSize, BtnSplit, BtnJoin, BtnClose, ControlCount };
const POINT Positions[ControlCount] = {{90, 35}, {170, 60}, {230, 102}, {325, 102}, {105, 172}, {180, 172}, {260, 172}};

RECT Bounds(HWND First, HWND Second = nullptr) {
    RECT all{}, r{};
    GetWindowRect(First, &all);
    if (Second && GetWindowRect(Second, &r))
        UnionRect(&all, &all, &r);
    return all;
}

// One run of the program shared by the suite, in the order of its tests; the last one closes it.
class EndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string cmd = "\"" + ChunklerExe() + "\"";
        std::string desktop = UseOwnDesktop();
        STARTUPINFOA si{};
        si.cb = sizeof si;
        si.lpDesktop = desktop.data();
        if (CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &Process))
            for (int i = 0; i < 1000 && !(Main && IsWindowVisible(Main)); ++i, Sleep(20))
                Main = FindWindowA("Chunkler", nullptr);
    }
    static void TearDownTestSuite() {
        if (Process.hProcess && WaitForSingleObject(Process.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(Process.hProcess, 99);
        CloseHandle(Process.hProcess);
        CloseHandle(Process.hThread);
    }
    void SetUp() override {
        ASSERT_NE(Main, nullptr) << "no Chunkler window";
        ASSERT_NE(Control(BtnClose), Main) << "no control where expected";
    }

    static HWND Control(TControl Which) { return ChildWindowFromPoint(Main, Positions[Which]); }
    static void Set(TControl Which, const std::string& Text) {
        SendMessageA(Control(Which), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Text.c_str()));
    }
    static void ChooseSize(int Index, const std::string& Text) {
        SendMessageA(Control(CboSize), CB_SETCURSEL, static_cast<WPARAM>(Index), 0);
        SendMessageA(Main, WM_COMMAND, MAKEWPARAM(0, CBN_SELCHANGE), reinterpret_cast<LPARAM>(Control(CboSize)));
        Set(EdtSize, Text);
    }
    static void Press(TControl Button) { PostMessageA(Control(Button), BM_CLICK, 0, 0); }
    static TDialogInfo Next(DWORD TimeoutMs = 20000) { return WaitForDialog(Process.dwProcessId, TimeoutMs); }
    static HWND Focus() {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(Process.dwThreadId, &info);
        return info.hwndFocus;
    }

    static inline PROCESS_INFORMATION Process{};
    static inline HWND Main = nullptr;
};

TEST_F(EndToEnd, FailedCheckLeavesTheFocusInItsField) {
    TTempDir dir("e2efocus");
    BuildTree(dir.Path(), {{"data.bin", "x"}, {"sub\\", ""}});
    const struct {
        std::string Source, Output;
        const char* Size;
        TControl Field;
    } cases[] = {
        {dir / "missing", dir / "sub", "1000", EdtSource},
        {dir / "data.bin", "R:\\", "1000", EdtOutputDir}, // a diskette
        {dir / "data.bin", dir / "sub", "0", EdtSize},
    };
    for (const auto& c : cases) {
        Set(EdtSource, c.Source);
        Set(EdtOutputDir, c.Output);
        ChooseSize(3, c.Size);
        Press(BtnSplit);
        const TDialogInfo box = Next();
        ASSERT_NE(box.Wnd, nullptr) << c.Source;
        AnswerDialog(box.Wnd, IDOK);
        for (int i = 0; i < 100 && Focus() != Control(c.Field); ++i)
            Sleep(20);
        EXPECT_EQ(Focus(), Control(c.Field)) << box.Text;
    }
}

TEST_F(EndToEnd, SplitThenJoinFromTheLastPartAndThroughTheInsertDisketteBox) {
    TTempDir dir("e2e");
    const std::string data = PatternBytes(3000000, 7);
    BuildTree(dir.Path(), {{"src\\", ""}, {"src\\data.bin", data, MakeFileTime(2001, 2, 3, 4, 5, 6, 0)},
                           {"restore\\", ""}, {"restore2\\", ""}, {"disk2\\", ""}});
    Set(EdtOutputDir, "");
    Set(EdtSource, dir / "src\\data.bin");
    ChooseSize(1, ""); // "1.44 MB Disk"
    Press(BtnSplit);
    TDialogInfo box = Next();
    EXPECT_EQ(box.Caption, "Split");
    EXPECT_EQ(box.Owner, Main);
    EXPECT_EQ(box.Text, "There are 3 parts to create. You can press the <ESC> key to interrupt the job. "
                        "Do you want to continue?");
    CaptureScreen(Bounds(Main, box.Wnd), "message-box-over-window");
    AnswerDialog(box.Wnd, IDYES);
    box = Next();
    EXPECT_NE(box.Text.find("Chunkler has succesfully created 3 partfile(s) and 1 headerfile(s)."), std::string::npos)
        << box.Text;
    EXPECT_NE(box.Text.find("Note: Sometimes preformatted floppy disks have damaged sectors"), std::string::npos);
    AnswerDialog(box.Wnd, IDOK);
    EXPECT_EQ(FileSize(dir / "src\\data.bin.003"), 92864) << "the output folder proposed for the source";

    // From the last part; then from the header file with parts 2 and 3 on the "next diskette".
    for (const char* from : {"data.bin.003", "data.bin.h001"}) {
        const bool diskette = std::string(from) == "data.bin.h001";
        const std::string into = dir / (diskette ? "restore2" : "restore");
        for (const char* part : {"data.bin.002", "data.bin.003"})
            if (diskette)
                MoveFileA((dir / "src\\" + part).c_str(), (dir / "disk2\\" + part).c_str());
        Set(EdtSource, dir / ("src\\" + std::string(from)));
        Set(EdtOutputDir, into);
        Press(BtnJoin);
        box = Next();
        EXPECT_EQ(box.Caption, "Join");
        EXPECT_EQ(box.Text, "The parts will be rejoined. You can press the <ESC> key to interrupt the job. "
                            "Do you want to continue?");
        AnswerDialog(box.Wnd, IDYES);
        if (diskette) {
            box = Next();
            EXPECT_EQ(box.Text, "The file \"data.bin.002\" is required.\r\nPlease insert the next diskette and "
                                "press OK. You can also press OK and browse for the file yourself.");
            AnswerDialog(box.Wnd, IDOK);
            box = Next(); // the open-file dialog, its file name field focused
            SendMessageA(Focus(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>((dir / "disk2\\data.bin.002").c_str()));
            AnswerDialog(box.Wnd, IDOK);
        }
        for (int i = 0; i < 600 && ReadFileBytes(into + "\\data.bin") != data; ++i)
            Sleep(50);
        EXPECT_EQ(ReadFileBytes(into + "\\data.bin"), data) << from;
        const FILETIME restored = GetLastWriteTime(into + "\\data.bin");
        const FILETIME original = GetLastWriteTime(dir / "src\\data.bin");
        EXPECT_EQ(CompareFileTime(&restored, &original), 0) << from;
    }
    EXPECT_EQ(Next(0).Wnd, nullptr);
}

TEST_F(EndToEnd, EscapeDuringALongSplitAnsweredNoThenYes) {
    TTempDir dir("e2eesc");
    BuildTree(dir.Path(), {{"big.bin", PatternBytes(96 << 20, 3)}});
    Set(EdtSource, dir / "big.bin");
    Set(EdtOutputDir, dir.Path());
    ChooseSize(3, "131072");
    Press(BtnSplit);
    AnswerDialog(Next().Wnd, IDYES); // "There are 768 parts..."
    // Each round waits until the arc has grown by a few hundredths, so that the pictures show it.
    for (int reply : {IDNO, IDYES}) {
        const std::string part = dir / (reply == IDNO ? "big.bin.025" : "big.bin.050");
        for (int i = 0; i < 1500 && !FileExists(part); ++i)
            Sleep(20);
        if (reply == IDYES)
            CaptureScreen(Bounds(Main), "window-mid-job-progress-arc");
        PostMessageA(Main, WM_KEYDOWN, VK_ESCAPE, 1);
        const TDialogInfo box = Next(5000);
        ASSERT_NE(box.Wnd, nullptr) << "no cancel question: the split ended too soon";
        EXPECT_EQ(box.Text, "Do you really want to cancel?");
        EXPECT_EQ(box.Caption, "Split");
        if (reply == IDNO)
            CaptureScreen(Bounds(Main, box.Wnd), "cancel-question-mid-job");
        AnswerDialog(box.Wnd, reply);
    }
    // Cancelled: no summary, the parts written so far kept, the last never written.
    Sleep(500);
    EXPECT_EQ(Next(0).Wnd, nullptr);
    EXPECT_TRUE(FileExists(dir / "big.bin.050"));
    EXPECT_FALSE(FileExists(dir / "big.bin.768"));
}

TEST_F(EndToEnd, CloseEndsTheProgramWithCodeZero) {
    Press(BtnClose);
    DWORD code = 99;
    EXPECT_EQ(WaitForSingleObject(Process.hProcess, 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeProcess(Process.hProcess, &code));
    EXPECT_EQ(code, 0u);
}

} // namespace
