// The main window in process, and Chunkler.exe in its window driven from outside as a person would use it.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <cstring>

#include "app/ChunklerRun.h"
#include "support/TestSupport.h"
#include "support/UnitLanguage.h"
#include "ui/UnitFrmMain.h"

using namespace testsupport;

namespace {

// The queue handled as the window run's message loop handles it.
void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        if (msg.message != WM_QUIT && !TranslateAcceleratorA(FrmMain->FHandle, AccelTable, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
}

// A drop handle as the shell hands it over: DROPFILES followed by the wide names, double-terminated.
WPARAM MakeDrop(const std::string& First, const std::string& Second) {
    const std::wstring names = Wide(First) + L'\0' + Wide(Second) + L'\0' + L'\0';
    HGLOBAL mem = GlobalAlloc(GHND, sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
    auto* header = static_cast<DROPFILES*>(GlobalLock(mem));
    *header = {.pFiles = sizeof(DROPFILES), .fWide = TRUE};
    std::memcpy(header + 1, names.data(), names.size() * sizeof(wchar_t));
    GlobalUnlock(mem);
    return WPARAM(mem);
}

// A main window made as the window run makes it, its boxes answered from a script; torn down at scope end.
struct TOpenWindow : TFrmMain {
    TOpenWindow() {
        UseOwnDesktop();
        AccelTable = CreateAccelerators();
        FrmMain = this;
        CreateMainWindow(Params);
        Pump();
    }
    ~TOpenWindow() override {
        DestroyWindow(FHandle);
        Pump();
        FrmMain = nullptr;
        DestroyAcceleratorTable(std::exchange(AccelTable, nullptr));
    }
    int ShowMessage(HWND, const std::string& Text, const std::string& Caption, UINT Type) override {
        return Script.ShowMessage(nullptr, Text, Caption, Type);
    }
    void ChooseSize(int Index, const std::string& Text) {
        SendMessageA(CboSize, CB_SETCURSEL, WPARAM(Index), 0);
        SendMessageA(FHandle, WM_COMMAND, MAKEWPARAM(0, CBN_SELCHANGE), LPARAM(CboSize));
        SetWindowTextA(EdtSize, Text.c_str());
    }
    TChunklerStartParams Params;
    TScriptedHooks Script; // answers the boxes
};

} // namespace

class MainWindow : public ::testing::Test {
protected:
    MainWindow() { Form = &Window; }
    TOpenWindow Window;
    static inline TOpenWindow* Form = nullptr; // this test's own window, for helpers that capture nothing
};

// The window's painting as on screen: the ellipse, the gradient, the rim light at the upper left and dark at
// the bottom, and the progress arc at half from the upper left down to the lowest point of its ellipse.
TEST_F(MainWindow, PaintsTheBadge) {
    std::vector<uint32_t> pixels(422 * 230);
    const auto sys = [](int Index) {
        const COLORREF c = GetSysColor(Index);
        return uint32_t(GetRValue(c)) << 16 | GetGValue(c) << 8 | GetBValue(c);
    };
    // The pixels of Area within Tolerance of one of Colors; the display may round the gradient.
    const auto count = [&](RECT Area, std::initializer_list<uint32_t> Colors, int Tolerance = 0) {
        int n = 0;
        for (int y = Area.top; y < Area.bottom; ++y)
            for (int x = Area.left; x < Area.right; ++x)
                for (uint32_t c : Colors) {
                    const uint32_t p = pixels[size_t(y) * 422 + x];
                    int off = 0;
                    for (int shift : {0, 8, 16})
                        off = std::max(off, std::abs(int((p >> shift) & 0xFF) - int((c >> shift) & 0xFF)));
                    n += off <= Tolerance ? 1 : 0;
                }
        return n;
    };
    const auto capture = [&] {
        SetWindowPos(Form->FHandle, HWND_TOPMOST, 300, 200, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        for (int i = 0; i < 5; ++i, Sleep(100))
            Pump();
        const HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
        TGdiBitmap bitmap(CreateCompatibleBitmap(screen, 422, 230));
        POINT client{0, 0};
        ClientToScreen(Form->FHandle, &client);
        DeleteObject(SelectObject(memory, bitmap.Get()));
        BitBlt(memory, 0, 0, 422, 230, screen, client.x, client.y, SRCCOPY);
        DeleteDC(memory);
        BITMAPINFO info{{sizeof(BITMAPINFOHEADER), 422, -230, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
        GetDIBits(screen, bitmap.Get(), 0, 230, pixels.data(), &info, DIB_RGB_COLORS);
        ReleaseDC(nullptr, screen);
    };
    const auto shadow = {sys(COLOR_BTNSHADOW), sys(COLOR_3DDKSHADOW)},
               light = {sys(COLOR_BTNHIGHLIGHT), sys(COLOR_3DLIGHT)};
    capture();
    POINT corner{1, 1}, centre{211, 115};
    ClientToScreen(Form->FHandle, &corner);
    ClientToScreen(Form->FHandle, &centre);
    EXPECT_NE(WindowFromPoint(corner), Form->FHandle);
    EXPECT_EQ(GetAncestor(WindowFromPoint(centre), GA_ROOT), Form->FHandle);
    EXPECT_TRUE(count({35, 115, 36, 116}, {sys(COLOR_BTNFACE)}, 8) &&
                count({398, 115, 399, 116}, {0xA6CAF0}, 8));
    for (RECT r : {RECT{205, 224, 218, 230}, RECT{390, 140, 422, 170}, RECT{0, 40, 40, 70}})
        EXPECT_TRUE(count(r, r.left ? shadow : light) > 5 && count(r, r.left ? light : shadow) == 0)
            << r.left;
    EXPECT_EQ(count({0, 0, 422, 230}, {0x78C078}), 0);
    Form->SetProgressMax(1000);
    Form->SetProgress(500);
    capture();
    Form->SetProgressMax(0);
    EXPECT_TRUE(count({4, 110, 14, 120}, {0x78C078}) > 5 && count({200, 219, 212, 226}, {0x78C078}) > 5);
    EXPECT_TRUE(count({216, 150, 420, 226}, {0x78C078}) == 0 && count({150, 0, 420, 40}, {0x78C078}) == 0);
}

// Tab walks the controls, Enter presses a button, a failed check focuses its field. The suggested output
// folder follows the source typed ("/" as "\") or dropped; one the user gave stays; of several dropped, the
// first counts. A job names a dropped name outside the ANSI code page, which Unicode edits keep whole.
TEST_F(MainWindow, KeysTypingAndDropsFillTheFields) {
    const auto key = [](HWND To, WPARAM Key, bool Shift) {
        BYTE keys[256] = {};
        keys[VK_SHIFT] = Shift ? 0x80 : 0;
        SetKeyboardState(keys);
        SetFocus(To);
        PostMessageA(To, WM_KEYDOWN, Key, 1);
        Pump();
        return GetFocus();
    };
    const auto type = [](HWND Edit, const std::string& Keys) { // answers the output field's text
        SetWindowTextA(Edit, "");
        for (char c : Keys)
            SendMessageA(Edit, WM_CHAR, WPARAM(static_cast<unsigned char>(c)), 0);
        return WindowText(Form->EdtOutputDir);
    };
    EXPECT_EQ(key(Form->EdtSource, VK_TAB, false), Form->BtnBrowseFile);
    EXPECT_EQ(key(Form->BtnBrowseFile, VK_TAB, true), Form->EdtSource);
    TTempDir dir;
    BuildTree(dir.Path(), {{"work\\", ""}, {"work\\report.doc", "report"}});
    const std::string doc = dir / "work\\report.doc", work = dir / "work";
    for (const auto& [source, output, size, field] :
         {std::tuple{dir / "missing", dir.Path(), "1000", Form->EdtSource},
          {doc, "R:\\", "1000", Form->EdtOutputDir}, // a diskette
          {doc, dir / "missing", "1000", Form->EdtOutputDir},
          {doc, dir.Path(), "0", Form->EdtSize}}) {
        SetWindowTextA(Form->EdtSource, source.c_str());
        SetWindowTextA(Form->EdtOutputDir, output.c_str());
        Form->ChooseSize(3, size);
        Form->Script.Messages.clear();
        EXPECT_EQ(key(Form->BtnSplit, VK_RETURN, false), field) << output;
        EXPECT_EQ(Form->Script.Messages.size(), 1u);
    }
    SetWindowTextA(Form->EdtOutputDir, "");
    EXPECT_EQ(type(Form->EdtSource, dir.Path() + "/work/report.doc"), work);
    EXPECT_EQ(type(Form->EdtSource, "Z:\\tmp"), "Z:\\");
    PostMessageA(Form->FHandle, WM_DROPFILES, MakeDrop(doc, dir.Path()), 0);
    Pump();
    EXPECT_EQ(WindowText(Form->EdtSource) + "|" + WindowText(Form->EdtOutputDir), doc + "|" + work);
    EXPECT_EQ(type(Form->EdtOutputDir, dir.Path()), dir.Path());
    EXPECT_EQ(type(Form->EdtSource, doc), dir.Path());
    TMessage onOutput{WM_DROPFILES, MakeDrop(work, doc), 0, 0};
    Form->DropFilesOnOutputDir(onOutput);
    EXPECT_EQ(WindowText(Form->EdtSource) + "|" + WindowText(Form->EdtOutputDir), doc + "|" + work);
    EXPECT_TRUE(IsWindowUnicode(Form->EdtSource) && IsWindowUnicode(Form->EdtOutputDir));
    ASSERT_TRUE(CreateDirectoryW(Wide(dir / "报告").c_str(), nullptr));
    for (auto drop : {&TFrmMain::WMDropFiles, &TFrmMain::DropFilesOnOutputDir}) {
        SetWindowTextA(Form->EdtSource, doc.c_str());
        TMessage message{WM_DROPFILES, MakeDrop(dir / "报告", ""), 0, 0};
        (Form->*drop)(message);
        SendMessageA(Form->FHandle, WM_COMMAND, 0, LPARAM(Form->BtnSplit));
        EXPECT_EQ(Form->Script.Texts().back(),
                  "Folder \"" + dir / "??" + "\" cannot be read: Invalid name.\r\n");
    }
    RemoveDirectoryW(Wide(dir / "报告").c_str());
}

// A running job pumps messages: Space on Split starts no second job, Escape asks whether to cancel, a quit
// message, Alt+F4 or Close stop the job unasked and the end of the program is not lost.
TEST_F(MainWindow, RunningJobIsNotReenteredAndStopsForEscapeQuitAndClose) {
    TTempDir dir;
    BuildTree(dir.Path(), {{"data.bin", PatternBytes(5000)}});
    const HWND wnd = Form->FHandle;
    enum { EscapeNo, EscapeYes, Quit, AltF4 };
    for (int what : {EscapeNo, EscapeYes, Quit, AltF4}) {
        SCOPED_TRACE(what);
        const std::string out = dir.Path() + "/out" + std::to_string(what); // "/" as "\", in both fields
        CreateDirectoryA(out.c_str(), nullptr);
        SetWindowTextA(Form->EdtSource, (dir.Path() + "/data.bin").c_str());
        SetWindowTextA(Form->EdtOutputDir, out.c_str());
        Form->ChooseSize(3, "1000");
        Form->Script.Messages.clear();
        Form->Script.Answers = {IDYES, what == EscapeYes ? IDYES : IDNO}; // part count, then cancel question
        if (what == Quit)
            PostThreadMessageA(GetCurrentThreadId(), WM_QUIT, 7, 0);
        if (what == AltF4)
            PostMessageA(wnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        if (what == EscapeNo || what == EscapeYes)
            PostMessageA(Form->EdtSource, WM_KEYDOWN, VK_ESCAPE, 1);
        PostMessageA(Form->BtnSplit, WM_KEYDOWN, VK_SPACE, 1);
        PostMessageA(Form->BtnSplit, WM_KEYUP, VK_SPACE, 0xC0000001);
        SetFocus(Form->BtnSplit);
        SendMessageA(wnd, WM_COMMAND, 0, LPARAM(Form->BtnSplit));
        // The part count question, after Escape the cancel question, and the summary of a completed job.
        const bool escape = what <= EscapeYes, completes = what == EscapeNo;
        const auto texts = Form->Script.Texts();
        EXPECT_EQ(texts.size(), 1u + escape + completes);
        EXPECT_EQ(texts.size() > 1 && texts[1] == "Do you really want to cancel?", escape);
        EXPECT_EQ(FileExists(out + "\\data.bin.005"), completes);
        MSG msg{};
        EXPECT_EQ(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE,
                  what == Quit || what == AltF4);
        EXPECT_EQ(msg.wParam, what == Quit ? 7u : 0u);
        EXPECT_EQ(IsWindow(wnd) != FALSE, what != AltF4);
    }
}

// The locale chooses the German table, in Windows-1252.
TEST(MainWindowGerman, TextsInGerman) {
    EXPECT_EQ(FormatMsg(MsgSizeLabel) + FormatMsg(MsgFileMissing, {"x.002"}),
              "Gr\xF6sseDatei \"x.002\" fehlt!");
    EXPECT_NE(FormatMsg(MsgInsertNextDisk).find("ben\xF6tigt.\r\nBitte"), std::string::npos);
    TOpenWindow f;
    EXPECT_EQ(WindowText(f.BtnSplit) + WindowText(f.BtnJoin) + WindowText(f.BtnClose),
              "SplittenUnsplittenSchliessen");
}

// The program on a desktop of its own, started with a file, a folder and /RECOVER: its window fills the
// fields, a split asks, writes recovery files and sums up as ever, and Close ends the program with code 0.
TEST(EndToEnd, SplitThroughTheWindow) {
    TTempDir dir;
    BuildTree(dir.Path(), {{"src\\", ""}, {"src\\data.bin", PatternBytes(3000000, 7)}});
    std::string desktop = UseOwnDesktop(), cmd = ChunklerExe() + " /RECOVER \"" + dir.Path() +
                                                 "/src/data.bin\" \"" + dir.Path() + "/src\"";
    STARTUPINFOA si{.cb = sizeof(STARTUPINFOA), .lpDesktop = desktop.data()};
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    THandle process(pi.hProcess), thread(pi.hThread);
    HWND main = nullptr;
    for (int i = 0; i < 1000 && !(main && IsWindowVisible(main)); ++i, Sleep(20))
        main = FindWindowA("Chunkler", nullptr);
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
    // Split at (105, 172) and Close at (260, 172), found where a person sees them; "1.44 MB Disk" is preset.
    ASSERT_NE(ChildWindowFromPoint(main, {260, 172}), main) << "no Chunkler window with its controls";
    PostMessageA(ChildWindowFromPoint(main, {105, 172}), BM_CLICK, 0, 0);
    next(IDYES,
         "Split|There are 3 parts to create. You can press the <ESC> key to interrupt the job. Do you want "
         "to continue?");
    next(IDOK,
         "Split|Chunkler has succesfully created 3 partfile(s) and 1 headerfile(s). The last partfile and "
         "the first headerfile fit on the same disk.\r\nNote: Sometimes preformatted floppy disks have "
         "damaged sectors, so please make sure, you can read back the copied files from the disks!");
    EXPECT_EQ(FileSize(dir / "src\\data.bin.003"), 92864);
    EXPECT_TRUE(FileExists(dir / "src\\data.bin.par2")) << "the window's split takes /RECOVER";
    EXPECT_EQ(FindWindowA("#32770", nullptr), nullptr);
    PostMessageA(ChildWindowFromPoint(main, {260, 172}), BM_CLICK, 0, 0);
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 10000), WAIT_OBJECT_0);
    DWORD code = 99;
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code) && code == 0) << code;
    TerminateProcess(pi.hProcess, 99); // nothing to do once it has ended
}
