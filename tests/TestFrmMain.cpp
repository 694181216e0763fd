// The main window as it starts: controls filled from the job parameters, the window's shape, the
// keyboard commands, the message loop, the version record, the GDI scope owners and screenshots
// checked at pixel level.
#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include <cmath>
#include <functional>

#include "app/ChunklerRun.h"
#include "support/PngWriter.h"
#include "support/TestSupport.h"
#include "support/UnitLanguage.h"
#include "ui/UnitFrmMain.h"

using namespace testsupport;

namespace {

void DrainQueue(bool Dispatch) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        if (Dispatch && msg.message != WM_QUIT) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
}

std::string Text(HWND Control) {
    char text[300] = {};
    GetWindowTextA(Control, text, sizeof text);
    return text;
}

// A main window made as the window run makes it, torn down (and the queue emptied) at scope end.
class TOpenWindow {
public:
    explicit TOpenWindow(const TChunklerStartParams& AParams) : Params(AParams) {
        AccelTable = CreateAccelerators();
        Form = std::make_unique<TFrmMain>();
        FrmMain = Form.get();
        Form->CreateMainWindow(Params);
        DrainQueue(true);
    }
    ~TOpenWindow() {
        FrmMain = nullptr;
        Form.reset();
        DestroyAcceleratorTable(AccelTable);
        AccelTable = nullptr;
        DrainQueue(false);
    }
    TChunklerStartParams Params;
    std::unique_ptr<TFrmMain> Form;
};

TChunklerStartParams WindowParams() {
    TChunklerStartParams params;
    params.CopyProgram = true; // always so in window mode
    return params;
}

// --- Start-up filling

TEST(FrmMainStartup, ControlsFollowTheParameters) {
    struct TCase {
        const char* Name;
        int64_t PartSize;
        bool CopyProgram, CreateBatch;
        int Selected;
        const char* SizeText;
        bool SizeEnabled;
    };
    const TCase cases[] = {
        {"default size", DefaultPartSize, true, false, 1, "", false},
        {"/SIZE726016 is bytes, not the 720 KB entry", 726016, true, true, 3, "726016", true},
        {"invalid size", 0, true, false, 3, "0", true},
        {"negative size", -5, false, true, 3, "-5", true},
        {"64-bit size", 5000000000LL, true, false, 3, "5000000000", true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TChunklerStartParams params = WindowParams();
        params.PartSize = c.PartSize;
        params.CopyProgram = c.CopyProgram;
        params.CreateBatch = c.CreateBatch;
        TOpenWindow w(params);
        TFrmMain& f = *w.Form;
        EXPECT_EQ(SendMessageA(f.CboSize, CB_GETCOUNT, 0, 0), 6);
        EXPECT_EQ(SendMessageA(f.CboSize, CB_GETCURSEL, 0, 0), c.Selected);
        EXPECT_EQ(Text(f.EdtSize), c.SizeText);
        EXPECT_EQ(IsWindowEnabled(f.EdtSize) != FALSE, c.SizeEnabled);
        EXPECT_EQ(SendMessageA(f.ChkCopyProgram, BM_GETCHECK, 0, 0), c.CopyProgram ? BST_CHECKED : BST_UNCHECKED);
        EXPECT_EQ(SendMessageA(f.ChkBatchFile, BM_GETCHECK, 0, 0), c.CreateBatch ? BST_CHECKED : BST_UNCHECKED);
        EXPECT_EQ(GetFocus(), f.EdtSource);
    }
}

TEST(FrmMainStartup, OutputFieldShowsExactlyTheGivenFolder) {
    TTempDir dir("frm");
    WriteFileBytes(dir / "data.bin", "x");
    struct TCase {
        std::string Output;
    } cases[] = {{""}, {"C:\\elsewhere"}};
    for (const TCase& c : cases) {
        TChunklerStartParams params = WindowParams();
        params.SourcePath = dir / "data.bin"; // an existing file: its folder would be proposed
        params.OutputDir = c.Output;
        TOpenWindow w(params);
        EXPECT_EQ(Text(w.Form->EdtSource), params.SourcePath);
        EXPECT_EQ(Text(w.Form->EdtOutputDir), c.Output);
    }
}

TEST(FrmMainStartup, EllipticFixedSizeWindow) {
    TOpenWindow w(WindowParams());
    const HWND wnd = w.Form->FHandle;
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(wnd, GWL_STYLE)) & ~WS_VISIBLE, 0x06CA0000u);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(wnd, GWL_EXSTYLE)) & 0x00050010u, 0x00050010u);
    RECT client{};
    GetClientRect(wnd, &client);
    EXPECT_EQ(client.right, 422);
    EXPECT_EQ(client.bottom, 230);
    EXPECT_EQ(Text(wnd), "Chunkler light");

    TGdiRegion region(CreateRectRgn(0, 0, 0, 0));
    ASSERT_NE(GetWindowRgn(wnd, region.Get()), ERROR);
    RECT outer{};
    GetWindowRect(wnd, &outer);
    const int width = outer.right - outer.left, height = outer.bottom - outer.top;
    for (POINT corner : {POINT{1, 1}, POINT{width - 2, 1}, POINT{1, height - 2}, POINT{width - 2, height - 2}})
        EXPECT_FALSE(PtInRegion(region.Get(), corner.x, corner.y)) << corner.x << "," << corner.y;
    for (POINT inside : {POINT{width / 2, height / 2}, POINT{width / 2, DlgFrameHeight + 2},
                         POINT{DlgFrameWidth + 2, height / 2}})
        EXPECT_TRUE(PtInRegion(region.Get(), inside.x, inside.y)) << inside.x << "," << inside.y;
}

// --- Keyboard commands

std::vector<WPARAM> ReceivedCommands;
WNDPROC PreviousProc = nullptr;
LRESULT CALLBACK RecordCommands(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
    if (Msg == WM_COMMAND && LParam == 0) {
        ReceivedCommands.push_back(LOWORD(WParam));
        return 0;
    }
    return CallWindowProcA(PreviousProc, Wnd, Msg, WParam, LParam);
}

TEST(FrmMainKeys, AcceleratorsReachTheMainWindowFromAnyChild) {
    TOpenWindow w(WindowParams());
    TFrmMain& f = *w.Form;
    PreviousProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(f.FHandle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordCommands)));
    struct TCase {
        const char* Name;
        WPARAM Key;
        bool Shift, Control;
        int Command; // 0: not translated
    };
    const TCase cases[] = {
        {"Enter", VK_RETURN, false, false, cmdEnter},
        {"Tab", VK_TAB, false, false, cmdNextControl},
        {"Shift+Tab", VK_TAB, true, false, cmdPrevControl},
        {"Escape", VK_ESCAPE, false, false, cmdEscape},
        {"Shift+Enter", VK_RETURN, true, false, 0},
        {"Ctrl+Tab", VK_TAB, false, true, 0},
        {"letter A", 'A', false, false, 0},
    };
    for (HWND target : {f.EdtSource, f.BtnJoin}) {
        for (const TCase& c : cases) {
            SCOPED_TRACE(c.Name);
            BYTE keys[256] = {};
            keys[VK_SHIFT] = c.Shift ? 0x80 : 0;
            keys[VK_CONTROL] = c.Control ? 0x80 : 0;
            SetKeyboardState(keys);
            ReceivedCommands.clear();
            MSG msg{target, WM_KEYDOWN, c.Key, 1, 0, {}};
            const bool translated = TranslateAcceleratorA(f.FHandle, AccelTable, &msg) != 0;
            EXPECT_EQ(translated, c.Command != 0);
            if (c.Command != 0)
                EXPECT_EQ(ReceivedCommands, std::vector<WPARAM>{static_cast<WPARAM>(c.Command)});
            else
                EXPECT_TRUE(ReceivedCommands.empty());
        }
    }
    BYTE keys[256] = {};
    SetKeyboardState(keys);
    SetWindowLongPtrA(f.FHandle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PreviousProc));
}

// --- The window run

std::function<void()> TimerStep;
void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) {
    if (TimerStep)
        TimerStep();
}

// A drop handle as the shell makes it, holding one ANSI path.
HDROP MakeDrop(const std::string& Path) {
    const size_t size = sizeof(DROPFILES) + Path.size() + 2;
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    auto* drop = static_cast<DROPFILES*>(GlobalLock(mem));
    drop->pFiles = sizeof(DROPFILES);
    memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), Path.c_str(), Path.size());
    GlobalUnlock(mem);
    return static_cast<HDROP>(mem);
}

TEST(FrmMainRun, DropOnOutputFieldThenCloseEndsWithCodeZero) {
    TChunklerStartParams params = WindowParams();
    int step = 0;
    std::string outputAfterDrop, sourceAfterDrop;
    TimerStep = [&] {
        if (!FrmMain)
            return;
        if (step++ == 0) {
            PostMessageA(FrmMain->EdtOutputDir, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop("C:\\dropped")), 0);
        } else {
            outputAfterDrop = Text(FrmMain->EdtOutputDir);
            sourceAfterDrop = Text(FrmMain->EdtSource);
            DestroyWindow(FrmMain->FHandle);
        }
    };
    const UINT_PTR timer = SetTimer(nullptr, 0, 200, OnTimer);
    const int code = RunWindow(params);
    KillTimer(nullptr, timer);
    TimerStep = nullptr;
    EXPECT_EQ(code, 0);
    EXPECT_EQ(outputAfterDrop, "C:\\dropped");
    EXPECT_EQ(sourceAfterDrop, "");
    EXPECT_EQ(FrmMain, nullptr);
    EXPECT_EQ(AccelTable, nullptr);
}

// --- Version record of the built program

TEST(FrmMainResources, VersionRecord) {
    using TSize = DWORD(WINAPI*)(LPCSTR, LPDWORD);
    using TInfo = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
    using TQuery = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);
    HMODULE version = LoadLibraryA("version.dll");
    ASSERT_NE(version, nullptr);
    auto getSize = reinterpret_cast<TSize>(reinterpret_cast<void*>(GetProcAddress(version, "GetFileVersionInfoSizeA")));
    auto getInfo = reinterpret_cast<TInfo>(reinterpret_cast<void*>(GetProcAddress(version, "GetFileVersionInfoA")));
    auto query = reinterpret_cast<TQuery>(reinterpret_cast<void*>(GetProcAddress(version, "VerQueryValueA")));
    const std::string exe = ChunklerExe();
    DWORD ignored = 0;
    const DWORD size = getSize(exe.c_str(), &ignored);
    ASSERT_GT(size, 0u) << exe;
    std::vector<char> data(size);
    ASSERT_TRUE(getInfo(exe.c_str(), 0, size, data.data()));

    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(query(data.data(), "\\", &value, &length));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00040000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00020000u);
    ASSERT_TRUE(query(data.data(), "\\VarFileInfo\\Translation", &value, &length));
    ASSERT_GE(length, 4u);
    EXPECT_EQ(static_cast<const WORD*>(value)[0], 0x0807);
    EXPECT_EQ(static_cast<const WORD*>(value)[1], 1252);
    const std::pair<const char*, const char*> strings[] = {
        {"ProductVersion", "4.0"},
        {"FileVersion", "4.0.2.0"},
        {"FileDescription", "For saving large files to floppy disks"},
        {"ProductName", "Chunkler light"},
        {"CompanyName", "The Chunkler developers"},
    };
    for (const auto& [name, expected] : strings) {
        const std::string path = std::string("\\StringFileInfo\\080704E4\\") + name;
        ASSERT_TRUE(query(data.data(), path.c_str(), &value, &length)) << name;
        EXPECT_STREQ(static_cast<const char*>(value), expected) << name;
    }
    FreeLibrary(version);
}

// --- GDI scope owners

TEST(FrmMainGdi, SelectGuardRestoresIntoItsOwnDc) {
    HDC first = CreateCompatibleDC(nullptr), second = CreateCompatibleDC(nullptr);
    const HGDIOBJ firstPen = GetCurrentObject(first, OBJ_PEN), secondPen = GetCurrentObject(second, OBJ_PEN);
    HPEN kept = nullptr;
    {
        TGdiPen red(CreatePen(PS_SOLID, 1, RGB(255, 0, 0)));
        TGdiPen blue(CreatePen(PS_SOLID, 1, RGB(0, 0, 255)));
        kept = red.Get();
        TSelectGuard inFirst(first, red.Get());
        {
            TSelectGuard inSecond(second, blue.Get());
            EXPECT_EQ(GetCurrentObject(first, OBJ_PEN), red.Get());
            EXPECT_EQ(GetCurrentObject(second, OBJ_PEN), blue.Get());
        }
        EXPECT_EQ(GetCurrentObject(second, OBJ_PEN), secondPen);
        EXPECT_EQ(GetCurrentObject(first, OBJ_PEN), red.Get());
    }
    EXPECT_EQ(GetCurrentObject(first, OBJ_PEN), firstPen);
    EXPECT_EQ(GetObjectType(kept), 0u) << "the owner deletes its pen";

    TGdiBrush released(CreateSolidBrush(RGB(1, 2, 3)));
    HBRUSH brush = released.Release();
    EXPECT_EQ(GetObjectType(brush), static_cast<DWORD>(OBJ_BRUSH)) << "Release hands the brush over undeleted";
    TGdiBrush moved(brush);
    TGdiBrush target = std::move(moved);
    EXPECT_EQ(moved.Get(), nullptr);
    target.Reset();
    EXPECT_EQ(GetObjectType(brush), 0u);
    DeleteDC(first);
    DeleteDC(second);
}

TEST(FrmMainGdi, PngEncodingChecksums) {
    // Known values of the two checksums the PNG container needs.
    EXPECT_EQ(Crc32("123456789"), 0xCBF43926u);
    EXPECT_EQ(Adler32("Wikipedia"), 0x11E60398u);
    TPicture picture{2, 1, {0xFF0000, 0x0000FF}};
    const std::string png = EncodePng(picture);
    EXPECT_EQ(png.substr(1, 3), "PNG");
    EXPECT_EQ(png.substr(png.size() - 8, 4), "IEND");
}

// --- Screenshots

// The window as the screen shows it, with the client origin inside the picture.
struct TShot {
    TPicture Picture;
    POINT Client{}; // client (0, 0) in picture coordinates
    uint32_t AtClient(int X, int Y) const { return Picture.At(Client.x + X, Client.y + Y); }
};

TShot CaptureWindow(HWND Wnd, const std::string& Name) {
    SetWindowPos(Wnd, HWND_TOPMOST, 300, 200, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    for (int i = 0; i < 5; ++i) {
        UpdateWindow(Wnd);
        DrainQueue(true);
        Sleep(100);
    }
    RECT outer{};
    GetWindowRect(Wnd, &outer);
    POINT origin{0, 0};
    ClientToScreen(Wnd, &origin);
    TShot shot;
    shot.Client = {origin.x - outer.left, origin.y - outer.top};
    shot.Picture.Width = outer.right - outer.left;
    shot.Picture.Height = outer.bottom - outer.top;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), shot.Picture.Width, -shot.Picture.Height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    TGdiBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    EXPECT_NE(bits, nullptr) << "no picture of " << shot.Picture.Width << " x " << shot.Picture.Height;
    if (bits) {
        TSelectGuard select(memory, bitmap.Get());
        BitBlt(memory, 0, 0, shot.Picture.Width, shot.Picture.Height, screen, outer.left, outer.top, SRCCOPY);
        GdiFlush();
        const auto* pixels = static_cast<const uint32_t*>(bits);
        shot.Picture.Pixels.assign(pixels, pixels + shot.Picture.Width * shot.Picture.Height);
        for (uint32_t& p : shot.Picture.Pixels)
            p &= 0xFFFFFF;
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    shot.Picture.Pixels.resize(static_cast<size_t>(shot.Picture.Width) * shot.Picture.Height); // failed: black
    EXPECT_TRUE(WritePng(ArtifactsDir() + "\\" + Name + ".png", shot.Picture));
    return shot;
}

uint32_t Rgb(COLORREF Colour) { return (GetRValue(Colour) << 16) | (GetGValue(Colour) << 8) | GetBValue(Colour); }
int Channel(uint32_t Pixel, int Shift) { return static_cast<int>((Pixel >> Shift) & 0xFF); }
bool Near(uint32_t Pixel, uint32_t Expected, int Tolerance) {
    for (int shift : {0, 8, 16})
        if (std::abs(Channel(Pixel, shift) - Channel(Expected, shift)) > Tolerance)
            return false;
    return true;
}
// How many pixels of the client rectangle [X0, X1) x [Y0, Y1) satisfy Test.
int CountIn(const TShot& Shot, int X0, int Y0, int X1, int Y1, const std::function<bool(uint32_t)>& Test) {
    int count = 0;
    for (int y = Y0; y < Y1; ++y)
        for (int x = X0; x < X1; ++x)
            count += Test(Shot.AtClient(x, y)) ? 1 : 0;
    return count;
}
bool Dark(uint32_t Pixel) { return Channel(Pixel, 0) + Channel(Pixel, 8) + Channel(Pixel, 16) < 300; }

// The badge's painting, checked where it does not depend on the language's texts.
void CheckBadge(const TShot& Shot, HWND Wnd) {
    // Only the ellipse belongs to the window: the client corners are cut away.
    POINT corner{1, 1}, centre{211, 115};
    ClientToScreen(Wnd, &corner);
    ClientToScreen(Wnd, &centre);
    EXPECT_NE(WindowFromPoint(corner), Wnd);
    EXPECT_EQ(GetAncestor(WindowFromPoint(centre), GA_ROOT), Wnd);

    // Along the middle line the gradient runs from the button face to light blue.
    const uint32_t face = Rgb(GetSysColor(COLOR_BTNFACE));
    for (int x : {30, 40})
        EXPECT_TRUE(Near(Shot.AtClient(x, 115), face, 8)) << std::hex << Shot.AtClient(x, 115);
    for (int x : {395, 400})
        EXPECT_TRUE(Near(Shot.AtClient(x, 115), 0xA6CAF0, 8)) << std::hex << Shot.AtClient(x, 115);

    // The rim: dark at the bottom, light at the upper left inside the client area.
    const uint32_t shadow = Rgb(GetSysColor(COLOR_BTNSHADOW)), darkShadow = Rgb(GetSysColor(COLOR_3DDKSHADOW));
    const uint32_t light = Rgb(GetSysColor(COLOR_BTNHIGHLIGHT)), light3d = Rgb(GetSysColor(COLOR_3DLIGHT));
    const std::function<bool(uint32_t)> isDark = [&](uint32_t p) { return p == shadow || p == darkShadow; };
    const std::function<bool(uint32_t)> isLight = [&](uint32_t p) { return p == light || p == light3d; };
    struct TBand {
        int X0, Y0, X1, Y1;
        bool Lit;
    } bands[] = {
        {205, 224, 218, 230, false}, // bottom
        {390, 140, 422, 170, false}, // right side below two fifths of the height
        {0, 180, 60, 200, false},    // left side below three fifths
        {0, 40, 40, 70, true},       // upper left
        {380, 40, 422, 70, true},    // upper right, above two fifths
    };
    for (const TBand& band : bands) {
        EXPECT_GT(CountIn(Shot, band.X0, band.Y0, band.X1, band.Y1, band.Lit ? isLight : isDark), 5)
            << band.X0 << "," << band.Y0;
        EXPECT_EQ(CountIn(Shot, band.X0, band.Y0, band.X1, band.Y1, band.Lit ? isDark : isLight), 0)
            << band.X0 << "," << band.Y0;
    }

    // The etched separator at y 86 between x 39 and 383.
    EXPECT_GT(CountIn(Shot, 100, 86, 300, 88, [&](uint32_t p) { return p == shadow || p == light; }), 300);
    // "Output directory" left of its field, and the blue link text.
    EXPECT_GT(CountIn(Shot, 55, 58, 160, 74, Dark), 8);
    EXPECT_EQ(CountIn(Shot, 20, 58, 50, 74, Dark), 0);
    EXPECT_GT(CountIn(Shot, 154, 198, 268, 216, [](uint32_t p) { return Near(p, 0x0000FF, 60); }), 8);
}

const uint32_t ArcGreen = 0x78C078;

TEST(FrmMainScreenshot, BadgeAndHalfProgressArc) {
    TOpenWindow w(WindowParams());
    const TShot idle = CaptureWindow(w.Form->FHandle, "FrmMain_idle");
    CheckBadge(idle, w.Form->FHandle);
    EXPECT_EQ(CountIn(idle, 0, 0, 422, 230, [](uint32_t p) { return p == ArcGreen; }), 0) << "no arc while idle";

    w.Form->SetProgressMax(1000);
    w.Form->SetProgress(500);
    const TShot half = CaptureWindow(w.Form->FHandle, "FrmMain_progress50");
    auto green = [](uint32_t p) { return p == ArcGreen; };
    // From the upper left down the left side to the lowest point of its ellipse, and no further.
    EXPECT_GT(CountIn(half, 4, 110, 14, 120, green), 5);
    EXPECT_GT(CountIn(half, 200, 219, 212, 226, green), 5);
    EXPECT_EQ(CountIn(half, 216, 150, 420, 226, green), 0);
    EXPECT_EQ(CountIn(half, 150, 0, 420, 40, green), 0);

    w.Form->SetProgressMax(0);
    const TShot cleared = CaptureWindow(w.Form->FHandle, "FrmMain_cleared");
    EXPECT_EQ(CountIn(cleared, 0, 0, 422, 230, green), 0) << "the arc goes with the end of the job";
}

TEST(FrmMainScreenshotGerman, BadgeInGerman) {
    ASSERT_EQ(UserLanguage, "DE");
    TOpenWindow w(WindowParams());
    EXPECT_EQ(Text(w.Form->BtnSplit), "Splitten");
    EXPECT_EQ(Text(w.Form->BtnJoin), "Unsplitten");
    EXPECT_EQ(Text(w.Form->BtnClose), "Schliessen");
    const TShot shot = CaptureWindow(w.Form->FHandle, std::string("FrmMain_German_") + (getenv("LC_ALL") ? getenv("LC_ALL") : "de"));
    CheckBadge(shot, w.Form->FHandle);
}

} // namespace
