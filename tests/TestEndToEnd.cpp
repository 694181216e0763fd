// The real Chunkler.exe in its window, driven from outside as a person would use it: fields typed,
// sizes chosen, buttons pressed, questions read and answered, files compared afterwards.
#include <gtest/gtest.h>

#include <map>

#include "support/DialogDriver.h"
#include "support/PngWriter.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

// The controls of the main window, told apart by their fixed client positions.
enum TControl { EdtSource, EdtOutputDir, CboSize, EdtSize, BtnSplit, BtnJoin, BtnClose };
const std::map<TControl, POINT> ControlPositions = {
    {EdtSource, {83, 30}}, {EdtOutputDir, {162, 56}}, {CboSize, {222, 98}}, {EdtSize, {319, 98}},
    {BtnSplit, {98, 168}}, {BtnJoin, {175, 168}},     {BtnClose, {252, 168}},
};

class TChunklerWindow {
public:
    TChunklerWindow() {
        std::string cmd = "\"" + ChunklerExe() + "\"";
        std::string desktop = UseOwnDesktop();
        STARTUPINFOA si{};
        si.cb = sizeof si;
        si.lpDesktop = desktop.data();
        if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &FProcess))
            return;
        for (int i = 0; i < 1000 && !Main; ++i, Sleep(20))
            EnumWindows(FindMain, reinterpret_cast<LPARAM>(this));
        if (Main)
            EnumChildWindows(Main, FindControl, reinterpret_cast<LPARAM>(this));
    }
    ~TChunklerWindow() {
        if (FProcess.hProcess && WaitForSingleObject(FProcess.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(FProcess.hProcess, 99);
        CloseHandle(FProcess.hProcess);
        CloseHandle(FProcess.hThread);
    }
    TChunklerWindow(const TChunklerWindow&) = delete;
    TChunklerWindow& operator=(const TChunklerWindow&) = delete;

    DWORD Pid() const { return FProcess.dwProcessId; }
    HWND operator[](TControl Control) const { return Controls.at(Control); }
    void SetText(TControl Control, const std::string& Text) const {
        SendMessageA(Controls.at(Control), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Text.c_str()));
    }
    std::string Text(TControl Control) const { return WindowText(Controls.at(Control)); }
    void ChooseSize(int Index) const {
        SendMessageA(Controls.at(CboSize), CB_SETCURSEL, static_cast<WPARAM>(Index), 0);
        SendMessageA(Main, WM_COMMAND, MAKEWPARAM(0, CBN_SELCHANGE), reinterpret_cast<LPARAM>(Controls.at(CboSize)));
    }
    void Press(TControl Button) const { PostMessageA(Controls.at(Button), BM_CLICK, 0, 0); }
    HWND Focus() const {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(FProcess.dwThreadId, &info);
        return info.hwndFocus;
    }
    // The next message box or dialog; its caption and text are checked by the caller.
    TDialogInfo NextDialog(DWORD TimeoutMs = 20000) const {
        HWND box = WaitForDialog(Pid(), TimeoutMs);
        Sleep(50);
        return box ? DescribeDialog(box) : TDialogInfo{};
    }
    void Answer(const TDialogInfo& Box, int Button) const {
        PressDialogButton(Box.Wnd, Button);
        WaitWindowGone(Box.Wnd, 5000);
    }
    DWORD WaitExit(DWORD TimeoutMs) const {
        DWORD code = 0xFFFFFFFF;
        if (WaitForSingleObject(FProcess.hProcess, TimeoutMs) == WAIT_OBJECT_0)
            GetExitCodeProcess(FProcess.hProcess, &code);
        return code;
    }

    HWND Main = nullptr;
    std::map<TControl, HWND> Controls;

private:
    static BOOL CALLBACK FindMain(HWND Wnd, LPARAM Param) {
        auto* self = reinterpret_cast<TChunklerWindow*>(Param);
        char name[32] = {};
        DWORD pid = 0;
        GetWindowThreadProcessId(Wnd, &pid);
        GetClassNameA(Wnd, name, sizeof name);
        if (pid == self->Pid() && std::string(name) == "Chunkler" && IsWindowVisible(Wnd))
            self->Main = Wnd;
        return self->Main == nullptr;
    }
    static BOOL CALLBACK FindControl(HWND Wnd, LPARAM Param) {
        auto* self = reinterpret_cast<TChunklerWindow*>(Param);
        RECT r{};
        GetWindowRect(Wnd, &r);
        MapWindowPoints(nullptr, self->Main, reinterpret_cast<POINT*>(&r), 2);
        for (const auto& [control, pos] : ControlPositions)
            if (r.left == pos.x && r.top == pos.y)
                self->Controls[control] = Wnd;
        return TRUE;
    }

    PROCESS_INFORMATION FProcess{};
};

// The screen under Rect, as the virtual display shows it, written to the artefacts folder.
void Screenshot(RECT Rect, const std::string& Name) {
    TPicture pic;
    pic.Width = Rect.right - Rect.left;
    pic.Height = Rect.bottom - Rect.top;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), pic.Width, -pic.Height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, pic.Width, pic.Height, screen, Rect.left, Rect.top, SRCCOPY);
    GdiFlush();
    const auto* px = static_cast<const uint32_t*>(bits);
    pic.Pixels.assign(px, px + static_cast<size_t>(pic.Width) * pic.Height);
    for (uint32_t& p : pic.Pixels)
        p &= 0xFFFFFF;
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    EXPECT_TRUE(WritePng(ArtifactsDir() + "\\" + Name, pic)) << Name;
}

RECT Bounds(std::initializer_list<HWND> Windows) {
    RECT all{}, r{};
    for (HWND w : Windows)
        if (GetWindowRect(w, &r))
            UnionRect(&all, &all, &r);
    return all;
}

bool Contains(const std::string& Text, const std::string& Part) { return Text.find(Part) != std::string::npos; }

// Waits until Path holds exactly Expected (the job writes it while the test looks).
bool WaitForContent(const std::string& Path, const std::string& Expected, DWORD TimeoutMs = 30000) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < TimeoutMs; Sleep(50))
        if (FileExists(Path) && FileSize(Path) == static_cast<int64_t>(Expected.size()) &&
            ReadFileBytes(Path) == Expected)
            return true;
    return false;
}

TEST(EndToEnd, SplitAndJoinAsAPersonWould) {
    TTempDir dir("e2e");
    const std::string data = PatternBytes(3000000, 7);
    BuildTree(dir.Path(), {{"src\\", ""}, {"src\\data.bin", data, MakeFileTime(2001, 2, 3, 4, 5, 6, 0)},
                           {"restore\\", ""}, {"restore2\\", ""}, {"restore3\\", ""}, {"disk2\\", ""}});
    TChunklerWindow app;
    ASSERT_NE(app.Main, nullptr) << "no Chunkler window";
    ASSERT_EQ(app.Controls.size(), ControlPositions.size());

    // The source typed in; its folder is proposed as output. The size field follows the size choice.
    app.SetText(EdtSource, dir / "src\\data.bin");
    EXPECT_EQ(app.Text(EdtOutputDir), dir / "src");
    app.ChooseSize(3);
    EXPECT_TRUE(IsWindowEnabled(app[EdtSize]));
    app.ChooseSize(1); // "1.44 MB Disk"
    EXPECT_FALSE(IsWindowEnabled(app[EdtSize]));

    app.Press(BtnSplit);
    TDialogInfo box = app.NextDialog();
    EXPECT_EQ(box.Caption, "Split");
    EXPECT_EQ(box.Owner, app.Main);
    EXPECT_EQ(box.Text, "There are 3 parts to create. You can press the <ESC> key to interrupt the job. "
                        "Do you want to continue?");
    Screenshot(Bounds({app.Main, box.Wnd}), "message-box-over-window.png");
    app.Answer(box, IDYES);
    box = app.NextDialog();
    EXPECT_TRUE(Contains(box.Text, "Chunkler has succesfully created 3 partfile(s) and 1 headerfile(s)."))
        << box.Text;
    EXPECT_TRUE(Contains(box.Text, "Note: Sometimes preformatted floppy disks have damaged sectors")) << box.Text;
    app.Answer(box, IDOK);
    EXPECT_EQ(FileSize(dir / "src\\data.bin.001"), 1453568);
    EXPECT_EQ(FileSize(dir / "src\\data.bin.003"), 92864);
    EXPECT_TRUE(FileExists(dir / "src\\data.bin.h001"));
    EXPECT_TRUE(FileExists(dir / "src\\Chunkler.exe")) << "the copy box starts checked";

    // Joined from the last part into another folder.
    app.SetText(EdtOutputDir, "");
    app.SetText(EdtSource, dir / "src\\data.bin.003");
    app.SetText(EdtOutputDir, dir / "restore");
    app.Press(BtnJoin);
    box = app.NextDialog();
    EXPECT_EQ(box.Caption, "Join");
    EXPECT_EQ(box.Text, "The parts will be rejoined. You can press the <ESC> key to interrupt the job. "
                        "Do you want to continue?");
    app.Answer(box, IDYES);
    EXPECT_TRUE(WaitForContent(dir / "restore\\data.bin", data));
    const FILETIME restored = GetLastWriteTime(dir / "restore\\data.bin");
    const FILETIME original = GetLastWriteTime(dir / "src\\data.bin");
    EXPECT_EQ(CompareFileTime(&restored, &original), 0) << "the stored last-write time";

    // Parts 2 and 3 on the "next diskette": asked for, then found through the open-file dialog...
    MoveFileA((dir / "src\\data.bin.002").c_str(), (dir / "disk2\\data.bin.002").c_str());
    MoveFileA((dir / "src\\data.bin.003").c_str(), (dir / "disk2\\data.bin.003").c_str());
    for (const char* restore : {"restore2", "restore3"}) {
        const bool browse = std::string(restore) == "restore2";
        app.SetText(EdtSource, dir / "src\\data.bin.h001");
        app.SetText(EdtOutputDir, dir / restore);
        app.Press(BtnJoin);
        app.Answer(app.NextDialog(), IDYES);
        box = app.NextDialog();
        EXPECT_EQ(box.Text, "The file \"data.bin.002\" is required.\r\nPlease insert the next diskette and press "
                            "OK. You can also press OK and browse for the file yourself.");
        app.Answer(box, IDOK);
        TDialogInfo dialog = app.NextDialog();
        // The file name field: the only edit of the dialog (inside a combo box on newer systems).
        HWND name = nullptr;
        EnumChildWindows(dialog.Wnd, [](HWND Wnd, LPARAM Found) -> BOOL {
            char cls[16] = {};
            GetClassNameA(Wnd, cls, sizeof cls);
            if (_stricmp(cls, "Edit") != 0)
                return TRUE;
            *reinterpret_cast<HWND*>(Found) = Wnd;
            return FALSE;
        }, reinterpret_cast<LPARAM>(&name));
        ASSERT_NE(name, nullptr) << "no file name field in the open-file dialog";
        if (browse) {
            SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>((dir / "disk2\\data.bin.002").c_str()));
            app.Answer(dialog, IDOK);
            EXPECT_TRUE(WaitForContent(dir / "restore2\\data.bin", data));
        } else {
            // ...or not found: the dialog cancelled, the part reported missing.
            app.Answer(dialog, IDCANCEL);
            box = app.NextDialog();
            EXPECT_EQ(box.Text, "File \"data.bin.002\" missed!");
            app.Answer(box, IDOK);
        }
    }
    EXPECT_TRUE(FindDialogs(app.Pid()).empty());

    app.Press(BtnClose);
    EXPECT_EQ(app.WaitExit(10000), 0u);
}

TEST(EndToEnd, EscapeDuringALongSplitAsksAndNoGoesOn) {
    TTempDir dir("e2eesc");
    BuildTree(dir.Path(), {{"big.bin", PatternBytes(96 << 20, 3)}});
    TChunklerWindow app;
    ASSERT_NE(app.Main, nullptr);
    app.SetText(EdtSource, dir / "big.bin");
    app.ChooseSize(3);
    app.SetText(EdtSize, "131072");
    app.Press(BtnSplit);
    app.Answer(app.NextDialog(), IDYES); // "There are 768 parts..."
    // Each round waits until the arc has grown by a few hundredths, so that the pictures show it.
    for (int reply : {IDNO, IDYES}) {
        const std::string part = dir / (reply == IDNO ? "big.bin.025" : "big.bin.050");
        for (int i = 0; i < 1500 && !FileExists(part); ++i)
            Sleep(20);
        if (reply == IDYES)
            Screenshot(Bounds({app.Main}), "window-mid-job-progress-arc.png");
        PostMessageA(app.Main, WM_KEYDOWN, VK_ESCAPE, 1);
        TDialogInfo box = app.NextDialog(5000);
        ASSERT_NE(box.Wnd, nullptr) << "no cancel question: the split ended too soon";
        EXPECT_EQ(box.Text, "Do you really want to cancel?");
        EXPECT_EQ(box.Caption, "Split");
        if (reply == IDNO)
            Screenshot(Bounds({app.Main, box.Wnd}), "cancel-question-mid-job.png");
        app.Answer(box, reply);
    }
    // Cancelled: no summary, the parts written so far stay, the last never came.
    Sleep(500);
    EXPECT_TRUE(FindDialogs(app.Pid()).empty());
    EXPECT_TRUE(FileExists(dir / "big.bin.001"));
    EXPECT_FALSE(FileExists(dir / "big.bin.768"));
    app.Press(BtnClose);
    EXPECT_EQ(app.WaitExit(10000), 0u);
}

TEST(EndToEnd, FailedCheckLeavesTheFocusInItsField) {
    TTempDir dir("e2efocus");
    BuildTree(dir.Path(), {{"data.bin", "x"}, {"sub\\", ""}});
    TChunklerWindow app;
    ASSERT_NE(app.Main, nullptr);
    struct TCase {
        TControl Button;
        std::string Source, Output;
        const char* Size;
        TControl Field;
    } cases[] = {
        {BtnSplit, dir / "missing", dir / "sub", "1000", EdtSource},
        {BtnSplit, dir / "data.bin", dir / "missing", "1000", EdtOutputDir},
        {BtnJoin, dir / "sub", dir / "sub", "1000", EdtSource},
        {BtnSplit, dir / "data.bin", "R:\\", "1000", EdtOutputDir},
        {BtnSplit, dir / "data.bin", dir / "sub", "0", EdtSize},
    };
    app.ChooseSize(3);
    for (const TCase& c : cases) {
        app.SetText(EdtSource, c.Source);
        app.SetText(EdtOutputDir, c.Output);
        app.SetText(EdtSize, c.Size);
        app.Press(c.Button);
        TDialogInfo box = app.NextDialog();
        ASSERT_NE(box.Wnd, nullptr);
        app.Answer(box, IDOK);
        HWND focus = nullptr;
        for (int i = 0; i < 100 && (focus = app.Focus()) != app[c.Field]; ++i)
            Sleep(20);
        EXPECT_EQ(focus, app[c.Field]) << box.Text;
    }
    app.Press(BtnClose);
    EXPECT_EQ(app.WaitExit(10000), 0u);
}

} // namespace
