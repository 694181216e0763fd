// The main window in the test's own process: its painted badge, keys, dropped files, the size field, the
// start-up filling, the guards of a running job, the window run, and the German texts.
#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <cstring>
#include <deque>
#include <functional>
#include <thread>

#include "app/ChunklerRun.h"
#include "support/TestSupport.h"
#include "support/UnitLanguage.h"
#include "ui/UnitFrmMain.h"

using namespace testsupport;

namespace {

void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        if (msg.message != WM_QUIT) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
}

// A drop handle as the shell hands it over: DROPFILES followed by the ANSI names, double-terminated.
WPARAM MakeDrop(const std::vector<std::string>& Paths) {
    size_t size = sizeof(DROPFILES) + 1;
    for (const std::string& path : Paths)
        size += path.size() + 1;
    HGLOBAL mem = GlobalAlloc(GHND, size);
    auto* header = static_cast<DROPFILES*>(GlobalLock(mem));
    header->pFiles = sizeof(DROPFILES);
    char* names = reinterpret_cast<char*>(header + 1);
    for (const std::string& path : Paths)
        names = std::strcpy(names, path.c_str()) + path.size() + 1;
    GlobalUnlock(mem);
    return reinterpret_cast<WPARAM>(mem);
}

// The window with its message boxes recorded and answered from a script (then Yes, or OK).
struct TAnsweredFrmMain : TFrmMain {
    int ShowMessage(HWND, const std::string& Text, const std::string&, UINT Type) override {
        Boxes.push_back(Text);
        int answer = (Type & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
        if (!Answers.empty())
            answer = Answers.front(), Answers.pop_front();
        return answer;
    }
    std::vector<std::string> Boxes;
    std::deque<int> Answers;
};

// A main window made as the window run makes it, torn down (and the queue emptied) at scope end.
struct TOpenWindow {
    explicit TOpenWindow(const TChunklerStartParams& AParams) : Params(AParams) {
        UseOwnDesktop();
        AccelTable = CreateAccelerators();
        FrmMain = Form.get();
        Form->CreateMainWindow(Params);
        Pump();
    }
    ~TOpenWindow() {
        FrmMain = nullptr;
        Form.reset();
        DestroyAcceleratorTable(AccelTable);
        AccelTable = nullptr;
        Pump();
    }
    TChunklerStartParams Params;
    std::unique_ptr<TAnsweredFrmMain> Form = std::make_unique<TAnsweredFrmMain>();
};

// The whole window as it is on screen, looked at in client coordinates (0x00RRGGBB).
struct TShot {
    std::vector<uint32_t> Pixels;
    int Width;
    POINT Client;
    uint32_t At(int X, int Y) const { return Pixels[size_t(Client.y + Y) * Width + Client.x + X] & 0xFFFFFF; }
    int Count(RECT Area, const std::function<bool(uint32_t)>& Test) const {
        int count = 0;
        for (int y = Area.top; y < Area.bottom; ++y)
            for (int x = Area.left; x < Area.right; ++x)
                count += Test(At(x, y)) ? 1 : 0;
        return count;
    }
};

TShot Capture(HWND Wnd) {
    SetWindowPos(Wnd, HWND_TOPMOST, 300, 200, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    for (int i = 0; i < 5; ++i, Sleep(100))
        Pump();
    RECT r{};
    GetWindowRect(Wnd, &r);
    POINT client{0, 0};
    ClientToScreen(Wnd, &client);
    const int w = r.right - r.left, h = r.bottom - r.top;
    TShot shot{std::vector<uint32_t>(size_t(w) * h), w, {client.x - r.left, client.y - r.top}};
    const HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
    {
        TGdiBitmap bitmap(CreateCompatibleBitmap(screen, w, h));
        {
            TSelectGuard select(memory, bitmap.Get());
            BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
        }
        BITMAPINFO info{{sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
        GetDIBits(memory, bitmap.Get(), 0, UINT(h), shot.Pixels.data(), &info, DIB_RGB_COLORS);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return shot;
}

uint32_t SysRgb(int Index) {
    const COLORREF c = GetSysColor(Index);
    return uint32_t(GetRValue(c)) << 16 | GetGValue(c) << 8 | GetBValue(c);
}
bool Near(uint32_t Pixel, uint32_t Expected, int Tolerance) {
    for (int shift : {0, 8, 16})
        if (std::abs(int((Pixel >> shift) & 0xFF) - int((Expected >> shift) & 0xFF)) > Tolerance)
            return false;
    return true;
}

// The badge's painting, where it does not depend on the language's texts.
void CheckBadge(HWND Wnd) {
    const TShot shot = Capture(Wnd);
    // Only the ellipse belongs to the window: the client corners are cut away.
    POINT corner{1, 1}, centre{211, 115};
    ClientToScreen(Wnd, &corner);
    ClientToScreen(Wnd, &centre);
    EXPECT_NE(WindowFromPoint(corner), Wnd);
    EXPECT_EQ(GetAncestor(WindowFromPoint(centre), GA_ROOT), Wnd);
    // Along the middle line the gradient runs from the button face to light blue.
    EXPECT_TRUE(Near(shot.At(35, 115), SysRgb(COLOR_BTNFACE), 8)) << std::hex << shot.At(35, 115);
    EXPECT_TRUE(Near(shot.At(398, 115), 0xA6CAF0, 8)) << std::hex << shot.At(398, 115);
    // The rim: dark at the bottom and lower right, light at the upper left, never the other way round.
    const auto shadow = [](uint32_t p) { return p == SysRgb(COLOR_BTNSHADOW) || p == SysRgb(COLOR_3DDKSHADOW); };
    const auto light = [](uint32_t p) { return p == SysRgb(COLOR_BTNHIGHLIGHT) || p == SysRgb(COLOR_3DLIGHT); };
    for (RECT dark : {RECT{205, 224, 218, 230}, RECT{390, 140, 422, 170}})
        EXPECT_TRUE(shot.Count(dark, shadow) > 5 && shot.Count(dark, light) == 0) << dark.left;
    EXPECT_TRUE(shot.Count({0, 40, 40, 70}, light) > 5 && shot.Count({0, 40, 40, 70}, shadow) == 0);
    // The output folder's label left of its field, nothing left of the label, and the blue link.
    const auto dark = [](uint32_t p) { return Near(p, 0, 100); };
    EXPECT_GT(shot.Count({55, 58, 160, 74}, dark), 8);
    EXPECT_EQ(shot.Count({20, 58, 50, 74}, dark), 0);
    EXPECT_GT(shot.Count({154, 198, 268, 216}, [](uint32_t p) { return Near(p, 0x0000FF, 60); }), 8);
}

} // namespace

// --- One window shared by the tests of the suite

class MainWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Window = std::make_unique<TOpenWindow>(TChunklerStartParams{}); }
    static void TearDownTestSuite() { Window.reset(); }
    static TAnsweredFrmMain& Form() { return *Window->Form; }
    static void ChooseSize(int Index, const std::string& Text) {
        SendMessageA(Form().CboSize, CB_SETCURSEL, WPARAM(Index), 0);
        SendMessageA(Form().FHandle, WM_COMMAND, MAKEWPARAM(0, CBN_SELCHANGE), LPARAM(Form().CboSize));
        SetWindowTextA(Form().EdtSize, Text.c_str());
    }
    static inline std::unique_ptr<TOpenWindow> Window;
};

TEST_F(MainWindow, BadgeAndHalfProgressArc) {
    const auto green = [](uint32_t p) { return p == 0x78C078; };
    CheckBadge(Form().FHandle);
    EXPECT_EQ(Capture(Form().FHandle).Count({0, 0, 422, 230}, green), 0);
    Form().SetProgressMax(1000);
    Form().SetProgress(500);
    const TShot half = Capture(Form().FHandle);
    // From the upper left down the left side to the lowest point of its ellipse, and no further.
    EXPECT_GT(half.Count({4, 110, 14, 120}, green), 5);
    EXPECT_GT(half.Count({200, 219, 212, 226}, green), 5);
    EXPECT_EQ(half.Count({216, 150, 420, 226}, green), 0);
    EXPECT_EQ(half.Count({150, 0, 420, 40}, green), 0);
    Form().SetProgressMax(0);
}

// Keys in a child become the main window's commands; Tab and Shift+Tab walk the controls in order.
TEST_F(MainWindow, KeysBecomeCommandsAndTabWalksTheControls) {
    const struct {
        WPARAM Key;
        bool Shift;
        WORD Command; // 0: not translated
    } cases[] = {{VK_RETURN, false, cmdEnter},
                 {VK_TAB, false, cmdNextControl},
                 {VK_TAB, true, cmdPrevControl},
                 {VK_RETURN, true, 0},
                 {VK_ESCAPE, false, cmdEscape}}; // Shift is released by the last
    static std::vector<WORD> received;
    static WNDPROC previous = nullptr;
    const auto record = [](HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) -> LRESULT {
        if (Msg != WM_COMMAND || LParam != 0)
            return CallWindowProcA(previous, Wnd, Msg, WParam, LParam);
        received.push_back(LOWORD(WParam));
        return 0;
    };
    const HWND wnd = Form().FHandle;
    previous = WNDPROC(SetWindowLongPtrA(wnd, GWLP_WNDPROC, LONG_PTR(+record)));
    for (const auto& c : cases) {
        BYTE keys[256] = {};
        keys[VK_SHIFT] = c.Shift ? 0x80 : 0;
        SetKeyboardState(keys);
        received.clear();
        MSG msg{Form().EdtSource, WM_KEYDOWN, c.Key, 1, 0, {}};
        EXPECT_EQ(TranslateAcceleratorA(wnd, AccelTable, &msg) != 0, c.Command != 0) << c.Key << " " << c.Shift;
        EXPECT_EQ(received, c.Command ? std::vector<WORD>{c.Command} : std::vector<WORD>{});
    }
    SetWindowLongPtrA(wnd, GWLP_WNDPROC, LONG_PTR(previous));
    SetFocus(Form().EdtSource);
    for (auto [command, focus] : {std::pair{cmdNextControl, Form().BtnBrowseFile}, {cmdNextControl, Form().BtnBrowseSourceDir},
                                  {cmdPrevControl, Form().BtnBrowseFile}}) {
        SendMessageA(wnd, WM_COMMAND, command, 0);
        Pump();
        EXPECT_EQ(GetFocus(), focus);
    }
}

TEST_F(MainWindow, SizeChoiceAndFieldGiveThePartSize) {
    const struct {
        int Index;
        const char* Text;
        int64_t Expected;
    } cases[] = {
        {0, "5", 726016},
        {3, "$400", 1024},
        {3, "12abc", 0},
        {3, "9232604641496271", 9232604641496271},
        {3, "9232604641496272", 0}, // 999 such parts would leave the 64-bit range
        {4, "2", 2048},
        {4, "9007199254740990", 0},
        {4, "-9007199254740993", 0},
        {5, "650", 681574400},
        {5, "8796093022207", 0},
    };
    for (const auto& c : cases) {
        ChooseSize(c.Index, c.Text);
        EXPECT_EQ(Form().GetPartSize(), c.Expected) << c.Index << " " << c.Text;
        EXPECT_EQ(IsWindowEnabled(Form().EdtSize) != FALSE, c.Index >= 3) << c.Index;
    }
}

TEST_F(MainWindow, DroppedFilesFillTheFieldTheyLandOnWithTheFirstItemOnly) {
    TTempDir dir("drop");
    BuildTree(dir.Path(), {{"a.bin", "x"}, {"sub\\", ""}});
    SetWindowTextA(Form().EdtOutputDir, "");
    SendMessageA(Form().FHandle, WM_DROPFILES, MakeDrop({dir / "a.bin", dir / "sub"}), 0);
    EXPECT_EQ(WindowText(Form().EdtSource), dir / "a.bin");
    EXPECT_EQ(WindowText(Form().EdtOutputDir), dir.Path()) << "the source's folder proposed";
    TMessage onOutput{WM_DROPFILES, MakeDrop({dir / "sub", dir / "a.bin"}), 0, 0};
    Form().DropFilesOnOutputDir(onOutput);
    EXPECT_EQ(WindowText(Form().EdtOutputDir), dir / "sub");
    EXPECT_EQ(WindowText(Form().EdtSource), dir / "a.bin");
}

// A job pumps messages. The space bar on Split must not start a second job; Escape asks whether to cancel;
// a quit message taken from the queue, Alt+F4 or the system menu's Close stop the job without the question,
// and the end of the program must not get lost. Alt+F4 ends the shared window, so this runs last.
TEST_F(MainWindow, RunningJobIsNotReenteredAndStopsForEscapeQuitAndClose) {
    TTempDir dir("reenter");
    BuildTree(dir.Path(), {{"data.bin", PatternBytes((32 << 20) + 1000)}});
    const DWORD uiThread = GetCurrentThreadId();
    const HWND wnd = Form().FHandle;
    enum { Space, EscapeNo, EscapeYes, Quit, AltF4 };
    for (int what : {Space, EscapeNo, EscapeYes, Quit, AltF4}) {
        SCOPED_TRACE(what);
        const std::string out = dir / ("out" + std::to_string(what));
        CreateDirectoryA(out.c_str(), nullptr);
        SetWindowTextA(Form().EdtSource, (dir / "data.bin").c_str());
        SetWindowTextA(Form().EdtOutputDir, out.c_str());
        ChooseSize(5, "1");
        Form().Boxes.clear();
        Form().Answers = {IDYES, what == EscapeYes ? IDYES : IDNO}; // the part count, then the cancel question
        std::thread disrupt([&] {
            for (int i = 0; i < 2000 && !FileExists(out + "\\data.bin.002"); ++i)
                Sleep(5);
            if (what == Quit)
                PostThreadMessageA(uiThread, WM_QUIT, 7, 0);
            if (what == AltF4)
                PostMessageA(wnd, WM_SYSCOMMAND, SC_CLOSE, 0);
            if (what == EscapeNo || what == EscapeYes)
                PostMessageA(Form().EdtSource, WM_KEYDOWN, VK_ESCAPE, 1);
            PostMessageA(Form().BtnSplit, WM_KEYDOWN, VK_SPACE, 1);
            PostMessageA(Form().BtnSplit, WM_KEYUP, VK_SPACE, 0xC0000001);
        });
        SetFocus(Form().BtnSplit);
        SendMessageA(wnd, WM_COMMAND, 0, LPARAM(Form().BtnSplit));
        disrupt.join();
        const bool completes = what == Space || what == EscapeNo;
        std::vector<std::string> boxes{"There are 33 parts to create. You can press the <ESC> key to interrupt the "
                                       "job. Do you want to continue?"};
        if (what == EscapeNo || what == EscapeYes)
            boxes.push_back("Do you really want to cancel?");
        EXPECT_EQ(Form().Boxes.size(), boxes.size() + (completes ? 1 : 0)) << "a summary unless stopped";
        Form().Boxes.resize(boxes.size());
        EXPECT_EQ(Form().Boxes, boxes);
        EXPECT_EQ(FileExists(out + "\\data.bin.033"), completes);
        MSG msg{};
        EXPECT_EQ(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE, what == Quit || what == AltF4);
        EXPECT_EQ(msg.wParam, what == Quit ? 7u : 0u);
        EXPECT_EQ(IsWindow(wnd) != FALSE, what != AltF4);
    }
}

TEST(MainWindowStartup, ControlsFollowTheParameters) {
    const struct {
        int64_t PartSize;
        bool Batch;
        int Selected;
        const char* SizeText;
    } cases[] = {
        {DefaultPartSize, false, 1, ""}, // "1.44 MB Disk", the field disabled
        {726016, true, 3, "726016"},     // "Bytes", not "720 KB Disk"
        {0, false, 3, "0"},              // an invalid size
    };
    for (const auto& c : cases) {
        TOpenWindow w({.SourcePath = "C:\\", .OutputDir = "C:\\x", .CopyProgram = true, .CreateBatch = c.Batch, .PartSize = c.PartSize});
        const TFrmMain& f = *w.Form;
        EXPECT_EQ(SendMessageA(f.CboSize, CB_GETCURSEL, 0, 0), c.Selected);
        EXPECT_EQ(WindowText(f.EdtSize), c.SizeText);
        EXPECT_EQ(IsWindowEnabled(f.EdtSize) != FALSE, c.Selected == 3);
        EXPECT_EQ(SendMessageA(f.ChkCopyProgram, BM_GETCHECK, 0, 0), BST_CHECKED);
        EXPECT_EQ(SendMessageA(f.ChkBatchFile, BM_GETCHECK, 0, 0), c.Batch ? BST_CHECKED : BST_UNCHECKED);
        EXPECT_EQ(WindowText(f.EdtSource) + "|" + WindowText(f.EdtOutputDir), "C:\\|C:\\x");
    }
}

TEST(MainWindowGerman, BadgeInGerman) {
    ASSERT_EQ(UserLanguage, "DE");
    TOpenWindow w{TChunklerStartParams{}};
    EXPECT_EQ(WindowText(w.Form->BtnSplit) + WindowText(w.Form->BtnJoin) + WindowText(w.Form->BtnClose),
              "SplittenUnsplittenSchliessen");
    CheckBadge(w.Form->FHandle);
}

// The window run: a drop on the output field, handed on by the message loop; closing the window ends the
// run with code 0.
TEST(MainWindowRun, DropOnOutputFieldThenCloseEndsWithCodeZero) {
    UseOwnDesktop();
    static int step = 0;
    static std::string fields;
    const UINT_PTR timer = SetTimer(nullptr, 0, 200, [](HWND, UINT, UINT_PTR, DWORD) {
        if (step++ == 0) {
            PostMessageA(FrmMain->EdtOutputDir, WM_DROPFILES, MakeDrop({"C:\\x"}), 0);
        } else if (step == 2) {
            fields = WindowText(FrmMain->EdtSource) + "|" + WindowText(FrmMain->EdtOutputDir);
            SendMessageA(FrmMain->FHandle, WM_COMMAND, 0, LPARAM(FrmMain->BtnClose));
        }
    });
    TChunklerStartParams params;
    EXPECT_EQ(RunWindow(params), 0);
    KillTimer(nullptr, timer);
    EXPECT_EQ(fields, "|C:\\x");
    EXPECT_EQ(FrmMain, nullptr);
}
