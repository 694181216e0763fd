// The main window in the test's own process: start-up filling, shape and painting on screenshots, keys,
// dropped files, the size and output fields, the guards of a running job, the window run; and the
// version record of the built program.
#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include <cstring>
#include <functional>
#include <thread>

#include "app/ChunklerRun.h"
#include "support/DialogDriver.h"
#include "support/PngWriter.h"
#include "support/TestSupport.h"
#include "support/UnitLanguage.h"
#include "ui/UnitFrmMain.h"

using namespace testsupport;

namespace {

void Pump(bool Dispatch = true) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        if (Dispatch && msg.message != WM_QUIT) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
}

// A drop handle as the shell hands it over: DROPFILES followed by the ANSI names, double-terminated.
HDROP MakeDrop(const std::vector<std::string>& Paths) {
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
    return static_cast<HDROP>(mem);
}

// The window with the engine's message boxes recorded and answered Yes (or OK).
struct TAnsweredFrmMain : TFrmMain {
    int ShowMessage(HWND, const std::string& Text, const std::string&, UINT Type) override {
        Boxes.push_back(Text);
        return (Type & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
    }
    std::vector<std::string> Boxes;
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
        Pump(false);
    }
    TChunklerStartParams Params;
    std::unique_ptr<TAnsweredFrmMain> Form = std::make_unique<TAnsweredFrmMain>();
};

// --- Screenshots: the whole window, looked at in client coordinates.

struct TShot {
    TPicture Picture;
    POINT Client; // the client origin in the picture
    uint32_t At(int X, int Y) const { return Picture.At(Client.x + X, Client.y + Y); }
    int Count(RECT Area, const std::function<bool(uint32_t)>& Test) const {
        int count = 0;
        for (int y = Area.top; y < Area.bottom; ++y)
            for (int x = Area.left; x < Area.right; ++x)
                count += Test(At(x, y)) ? 1 : 0;
        return count;
    }
};

TShot Capture(HWND Wnd, const std::string& Name) {
    SetWindowPos(Wnd, HWND_TOPMOST, 300, 200, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    for (int i = 0; i < 5; ++i, Sleep(100))
        Pump();
    RECT outer{};
    GetWindowRect(Wnd, &outer);
    POINT client{0, 0};
    ClientToScreen(Wnd, &client);
    return {CaptureScreen(outer, Name), {client.x - outer.left, client.y - outer.top}};
}

uint32_t SysRgb(int Index) {
    const COLORREF c = GetSysColor(Index);
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}
bool Near(uint32_t Pixel, uint32_t Expected, int Tolerance) {
    for (int shift : {0, 8, 16})
        if (std::abs(static_cast<int>((Pixel >> shift) & 0xFF) - static_cast<int>((Expected >> shift) & 0xFF)) >
            Tolerance)
            return false;
    return true;
}
bool Dark(uint32_t Pixel) { return Near(Pixel, 0, 100); }
bool ArcGreen(uint32_t Pixel) { return Pixel == 0x78C078; }

// The badge's painting, where it does not depend on the language's texts.
void CheckBadge(const TShot& Shot, HWND Wnd) {
    // Only the ellipse belongs to the window: the client corners are cut away.
    POINT corner{1, 1}, centre{211, 115};
    ClientToScreen(Wnd, &corner);
    ClientToScreen(Wnd, &centre);
    EXPECT_NE(WindowFromPoint(corner), Wnd);
    EXPECT_EQ(GetAncestor(WindowFromPoint(centre), GA_ROOT), Wnd);
    // Along the middle line the gradient runs from the button face to light blue.
    EXPECT_TRUE(Near(Shot.At(35, 115), SysRgb(COLOR_BTNFACE), 8)) << std::hex << Shot.At(35, 115);
    EXPECT_TRUE(Near(Shot.At(398, 115), 0xA6CAF0, 8)) << std::hex << Shot.At(398, 115);
    // The rim: dark at the bottom and lower right, light at the upper left, never the other way round.
    const auto shadow = [](uint32_t p) { return p == SysRgb(COLOR_BTNSHADOW) || p == SysRgb(COLOR_3DDKSHADOW); };
    const auto light = [](uint32_t p) { return p == SysRgb(COLOR_BTNHIGHLIGHT) || p == SysRgb(COLOR_3DLIGHT); };
    for (RECT dark : {RECT{205, 224, 218, 230}, RECT{390, 140, 422, 170}}) {
        EXPECT_GT(Shot.Count(dark, shadow), 5) << dark.left;
        EXPECT_EQ(Shot.Count(dark, light), 0) << dark.left;
    }
    EXPECT_GT(Shot.Count({0, 40, 40, 70}, light), 5);
    EXPECT_EQ(Shot.Count({0, 40, 40, 70}, shadow), 0);
    // The output folder's label left of its field, nothing left of the label, and the blue link.
    EXPECT_GT(Shot.Count({55, 58, 160, 74}, Dark), 8);
    EXPECT_EQ(Shot.Count({20, 58, 50, 74}, Dark), 0);
    EXPECT_GT(Shot.Count({154, 198, 268, 216}, [](uint32_t p) { return Near(p, 0x0000FF, 60); }), 8);
}

// --- One window shared by the tests of the suite

class MainWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Window = std::make_unique<TOpenWindow>(TChunklerStartParams{}); }
    static void TearDownTestSuite() { Window.reset(); }
    static TAnsweredFrmMain& Form() { return *Window->Form; }
    static void ChooseSize(int Index, const std::string& Text) {
        SendMessageA(Form().CboSize, CB_SETCURSEL, static_cast<WPARAM>(Index), 0);
        SendMessageA(Form().FHandle, WM_COMMAND, MAKEWPARAM(0, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(Form().CboSize));
        SetWindowTextA(Form().EdtSize, Text.c_str());
    }
    static inline std::unique_ptr<TOpenWindow> Window;
};

TEST_F(MainWindow, BadgeAndHalfProgressArc) {
    const TShot idle = Capture(Form().FHandle, "FrmMain_idle");
    CheckBadge(idle, Form().FHandle);
    EXPECT_EQ(idle.Count({0, 0, 422, 230}, ArcGreen), 0);

    Form().SetProgressMax(1000);
    Form().SetProgress(500);
    const TShot half = Capture(Form().FHandle, "FrmMain_progress50");
    // From the upper left down the left side to the lowest point of its ellipse, and no further.
    EXPECT_GT(half.Count({4, 110, 14, 120}, ArcGreen), 5);
    EXPECT_GT(half.Count({200, 219, 212, 226}, ArcGreen), 5);
    EXPECT_EQ(half.Count({216, 150, 420, 226}, ArcGreen), 0);
    EXPECT_EQ(half.Count({150, 0, 420, 40}, ArcGreen), 0);
    Form().SetProgressMax(0);
}

std::vector<WPARAM> ReceivedCommands;
WNDPROC PreviousProc = nullptr;
LRESULT CALLBACK RecordCommands(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
    if (Msg != WM_COMMAND || LParam != 0)
        return CallWindowProcA(PreviousProc, Wnd, Msg, WParam, LParam);
    ReceivedCommands.push_back(LOWORD(WParam));
    return 0;
}

TEST_F(MainWindow, KeysInAChildBecomeCommandsOfTheMainWindow) {
    const HWND wnd = Form().FHandle;
    PreviousProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordCommands)));
    const struct {
        WPARAM Key;
        bool Shift;
        WPARAM Command; // 0: not translated
    } cases[] = {{VK_RETURN, false, cmdEnter}, {VK_TAB, false, cmdNextControl}, {VK_TAB, true, cmdPrevControl},
                 {VK_RETURN, true, 0}, {VK_ESCAPE, false, cmdEscape}}; // Shift is released by the last
    for (const auto& c : cases) {
        BYTE keys[256] = {};
        keys[VK_SHIFT] = c.Shift ? 0x80 : 0;
        SetKeyboardState(keys);
        ReceivedCommands.clear();
        MSG msg{Form().EdtSource, WM_KEYDOWN, c.Key, 1, 0, {}};
        EXPECT_EQ(TranslateAcceleratorA(wnd, AccelTable, &msg) != 0, c.Command != 0) << c.Key << " " << c.Shift;
        EXPECT_EQ(ReceivedCommands, c.Command ? std::vector<WPARAM>{c.Command} : std::vector<WPARAM>{});
    }
    SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PreviousProc));
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
    SendMessageA(Form().FHandle, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({dir / "a.bin", dir / "sub"})), 0);
    EXPECT_EQ(WindowText(Form().EdtSource), dir / "a.bin");
    EXPECT_EQ(WindowText(Form().EdtOutputDir), dir.Path()) << "the source's folder proposed";
    TMessage onOutput{WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({dir / "sub", dir / "a.bin"})), 0, 0};
    Form().DropFilesOnOutputDir(onOutput);
    EXPECT_EQ(WindowText(Form().EdtOutputDir), dir / "sub");
    EXPECT_EQ(WindowText(Form().EdtSource), dir / "a.bin");
}

TEST_F(MainWindow, FirstTypedSourceThatExistsProposesTheOutputFolder) {
    TTempDir dir("suggest");
    BuildTree(dir.Path(), {{"data\\", ""}, {"data\\file.bin", "x"}});
    SetWindowTextA(Form().EdtSource, (dir.Path() + "\\").c_str());
    SetWindowTextA(Form().EdtOutputDir, "");
    SendMessageA(Form().EdtSource, EM_SETSEL, 1000, 1000);
    for (char ch : std::string("data\\file.bin"))
        SendMessageA(Form().EdtSource, WM_CHAR, static_cast<WPARAM>(ch), 0);
    EXPECT_EQ(WindowText(Form().EdtSource), dir / "data\\file.bin");
    EXPECT_EQ(WindowText(Form().EdtOutputDir), dir.Path());
}

// A job pumps messages: the space bar on Split must not start a second job; a quit message taken from
// the queue, Alt+F4 or the system menu's Close must stop the job without the cancel question, and
// the end of the program must not get lost. Alt+F4 ends the shared window, so this runs last.
TEST_F(MainWindow, RunningJobIsNotReenteredAndStopsForQuitAndClose) {
    TTempDir dir("reenter");
    BuildTree(dir.Path(), {{"data.bin", PatternBytes((32 << 20) + 1000)}});
    const DWORD uiThread = GetCurrentThreadId();
    const HWND wnd = Form().FHandle;
    enum { Space, Quit, AltF4 };
    for (int what : {Space, Quit, AltF4}) {
        const std::string out = dir / ("out" + std::to_string(what));
        CreateDirectoryA(out.c_str(), nullptr);
        SetWindowTextA(Form().EdtSource, (dir / "data.bin").c_str());
        SetWindowTextA(Form().EdtOutputDir, out.c_str());
        ChooseSize(5, "1");
        Form().Boxes.clear();
        std::thread disrupt([&] {
            for (int i = 0; i < 2000 && !FileExists(out + "\\data.bin.002"); ++i)
                Sleep(5);
            if (what == Quit)
                PostThreadMessageA(uiThread, WM_QUIT, 7, 0);
            if (what == AltF4)
                PostMessageA(wnd, WM_SYSCOMMAND, SC_CLOSE, 0);
            PostMessageA(Form().BtnSplit, WM_KEYDOWN, VK_SPACE, 1);
            PostMessageA(Form().BtnSplit, WM_KEYUP, VK_SPACE, 0xC0000001);
        });
        SetFocus(Form().BtnSplit);
        SendMessageA(wnd, WM_COMMAND, 0, reinterpret_cast<LPARAM>(Form().BtnSplit));
        disrupt.join();
        ASSERT_EQ(Form().Boxes.size(), what == Space ? 2u : 1u) << "the question, and a summary unless stopped";
        EXPECT_NE(Form().Boxes[0].find("There are 33 parts"), std::string::npos) << Form().Boxes[0];
        EXPECT_EQ(FileExists(out + "\\data.bin.033"), what == Space);
        MSG msg{};
        EXPECT_EQ(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE, what != Space);
        EXPECT_EQ(msg.wParam, what == Quit ? 7u : 0u);
        EXPECT_EQ(IsWindow(wnd) != FALSE, what != AltF4);
    }
}

TEST(MainWindowStartup, ControlsFollowTheParameters) {
    TTempDir dir("start");
    WriteFileBytes(dir / "data.bin", "x");
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
        TChunklerStartParams params;
        params.CopyProgram = true; // always so in window mode
        params.CreateBatch = c.Batch;
        params.PartSize = c.PartSize;
        params.SourcePath = dir / "data.bin"; // existing, but no output folder was given
        TOpenWindow w(params);
        const TFrmMain& f = *w.Form;
        EXPECT_EQ(SendMessageA(f.CboSize, CB_GETCURSEL, 0, 0), c.Selected);
        EXPECT_EQ(WindowText(f.EdtSize), c.SizeText);
        EXPECT_EQ(IsWindowEnabled(f.EdtSize) != FALSE, c.Selected == 3);
        EXPECT_EQ(SendMessageA(f.ChkCopyProgram, BM_GETCHECK, 0, 0), BST_CHECKED);
        EXPECT_EQ(SendMessageA(f.ChkBatchFile, BM_GETCHECK, 0, 0), c.Batch ? BST_CHECKED : BST_UNCHECKED);
        EXPECT_EQ(WindowText(f.EdtOutputDir), "");
    }
}

TEST(MainWindowGerman, BadgeInGerman) {
    ASSERT_EQ(UserLanguage, "DE");
    TOpenWindow w{TChunklerStartParams{}};
    EXPECT_EQ(WindowText(w.Form->BtnSplit), "Splitten");
    EXPECT_EQ(WindowText(w.Form->BtnJoin), "Unsplitten");
    EXPECT_EQ(WindowText(w.Form->BtnClose), "Schliessen");
    const char* locale = getenv("LC_ALL");
    CheckBadge(Capture(w.Form->FHandle, std::string("FrmMain_German_") + (locale ? locale : "de")), w.Form->FHandle);
}

// The window run: a drop on the output field, handed on by the message loop; closing the window ends
// the run with code 0.
std::function<void()> OnTimer;
void CALLBACK TimerProc(HWND, UINT, UINT_PTR, DWORD) { OnTimer(); }

TEST(MainWindowRun, DropOnOutputFieldThenCloseEndsWithCodeZero) {
    UseOwnDesktop();
    int step = 0;
    std::string output, source;
    OnTimer = [&] {
        if (step++ == 0) {
            PostMessageA(FrmMain->EdtOutputDir, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({"C:\\x"})), 0);
        } else if (step == 2) {
            output = WindowText(FrmMain->EdtOutputDir);
            source = WindowText(FrmMain->EdtSource);
            SendMessageA(FrmMain->FHandle, WM_COMMAND, 0, reinterpret_cast<LPARAM>(FrmMain->BtnClose));
        }
    };
    const UINT_PTR timer = SetTimer(nullptr, 0, 200, TimerProc);
    TChunklerStartParams params;
    EXPECT_EQ(RunWindow(params), 0);
    KillTimer(nullptr, timer);
    EXPECT_EQ(output, "C:\\x");
    EXPECT_EQ(source, "");
    EXPECT_EQ(FrmMain, nullptr);
}

TEST(ChunklerExe, VersionRecord) {
    HMODULE version = LoadLibraryA("version.dll");
    ASSERT_NE(version, nullptr);
    const auto getInfo = reinterpret_cast<BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID)>(
        reinterpret_cast<void*>(GetProcAddress(version, "GetFileVersionInfoA")));
    const auto query = reinterpret_cast<BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT)>(
        reinterpret_cast<void*>(GetProcAddress(version, "VerQueryValueA")));
    std::vector<char> data(64 * 1024);
    ASSERT_TRUE(getInfo(ChunklerExe().c_str(), 0, static_cast<DWORD>(data.size()), data.data()));
    const auto value = [&](const std::string& Path) {
        void* found = nullptr;
        UINT length = 0;
        const bool ok = query(data.data(), Path.c_str(), &found, &length);
        return ok ? std::string(static_cast<const char*>(found), length) : std::string();
    };
    const std::string root = value("\\");
    ASSERT_EQ(root.size(), sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(reinterpret_cast<const VS_FIXEDFILEINFO*>(root.data())->dwFileVersionMS, 0x00040000u);
    EXPECT_EQ(reinterpret_cast<const VS_FIXEDFILEINFO*>(root.data())->dwFileVersionLS, 0x00020000u);
    EXPECT_EQ(value("\\VarFileInfo\\Translation"), std::string("\x07\x08\xE4\x04", 4)); // 0x0807, 1252
    const std::pair<const char*, const char*> strings[] = {
        {"ProductVersion", "4.0"},
        {"FileVersion", "4.0.2.0"},
        {"FileDescription", "For saving large files to floppy disks"},
        {"ProductName", "Chunkler light"},
        {"CompanyName", "The Chunkler developers"},
    };
    for (const auto& [name, expected] : strings)
        EXPECT_STREQ(value(std::string("\\StringFileInfo\\080704E4\\") + name).c_str(), expected) << name;
    FreeLibrary(version);
}

} // namespace
