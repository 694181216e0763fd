// The main window's handling of user input, inside the test's own process: what cannot cross
// processes (dropped files) and what is easiest to observe from inside (fields, focus, the job's
// message pump and its guards against re-entry).
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "support/DialogDriver.h"
#include "support/TestSupport.h"
#include "ui/UnitFrmMain.h"

using namespace testsupport;

namespace {

class FrmMainInput : public ::testing::Test {
protected:
    void SetUp() override {
        UseOwnDesktop();
        Params.CopyProgram = false;
        AccelTable = CreateAccelerators();
        Form = std::make_unique<TFrmMain>();
        FrmMain = Form.get();
        Form->CreateMainWindow(Params);
        Wnd = Form->FHandle;
        Pump();
    }
    void TearDown() override {
        Form.reset();
        FrmMain = nullptr;
        DestroyAcceleratorTable(AccelTable);
        AccelTable = nullptr;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    // What the message loop of a window run does with the queue, until it is empty.
    static void Pump() {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            if (!TranslateAcceleratorA(FrmMain->FHandle, AccelTable, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
    }
    void Click(HWND Control) { SendMessageA(Wnd, WM_COMMAND, 0, reinterpret_cast<LPARAM>(Control)); }
    void ChooseSize(int Index, const std::string& Text) {
        SendMessageA(Form->CboSize, CB_SETCURSEL, static_cast<WPARAM>(Index), 0);
        SendMessageA(Wnd, WM_COMMAND, MAKEWPARAM(0, CBN_SELCHANGE), reinterpret_cast<LPARAM>(Form->CboSize));
        SetWindowTextA(Form->EdtSize, Text.c_str());
    }
    static std::string Text(HWND Control) {
        char text[300] = {};
        GetWindowTextA(Control, text, sizeof text);
        return text;
    }

    TChunklerStartParams Params;
    std::unique_ptr<TFrmMain> Form;
    HWND Wnd = nullptr;
};

// A drop handle as the shell hands it over: DROPFILES followed by the ANSI names, double-terminated.
HDROP MakeDrop(const std::vector<std::string>& Paths) {
    size_t chars = 1;
    for (const std::string& path : Paths)
        chars += path.size() + 1;
    HGLOBAL mem = GlobalAlloc(GHND, sizeof(DROPFILES) + chars);
    auto* header = static_cast<DROPFILES*>(GlobalLock(mem));
    header->pFiles = sizeof(DROPFILES);
    char* names = reinterpret_cast<char*>(header + 1);
    for (const std::string& path : Paths) {
        std::memcpy(names, path.c_str(), path.size() + 1);
        names += path.size() + 1;
    }
    GlobalUnlock(mem);
    return static_cast<HDROP>(mem);
}

TEST_F(FrmMainInput, SizeChoiceGivesPartSizeAndEnablesTheSizeFieldForNumbers) {
    struct TCase {
        int Index;
        const char* Text;
        int64_t Expected;
    } cases[] = {
        {0, "5", 726016},
        {1, "5", 1453568},
        {2, "5", 681574400},
        {3, "$400", 1024},
        {3, "", 0},
        {3, "12abc", 0},
        {3, "9232604641496271", 9232604641496271},
        {3, "9232604641496272", 0},
        {3, "-5", -5},
        {4, "2", 2048},
        {4, "9007199254740990", 0}, // fits in 64 bits, but above the limit for 999 parts
        {4, "9007199254740991", 0},
        {4, "-1", -1024},
        {4, "-9007199254740992", INT64_MIN},
        {4, "-9007199254740993", 0}, // the product would leave the 64-bit range
        {5, "650", 681574400},
        {5, "8796093022207", 0},
        {5, "-8796093022209", 0},
        {-1, "5", 0},
    };
    for (const TCase& c : cases) {
        ChooseSize(c.Index, c.Text);
        EXPECT_EQ(Form->GetPartSize(), c.Expected) << "entry " << c.Index << " with \"" << c.Text << "\"";
        EXPECT_EQ(IsWindowEnabled(Form->EdtSize) != FALSE, c.Index >= 3) << "entry " << c.Index;
    }
}

TEST_F(FrmMainInput, DroppedFilesFillTheFieldTheyLandOnWithTheFirstItemOnly) {
    TTempDir dir("drop");
    BuildTree(dir.Path(), {{"a.bin", "x"}, {"b.bin", "y"}, {"sub\\", ""}});
    // On the window: the source field, and the source's folder proposed as output.
    SendMessageA(Wnd, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({dir / "a.bin", dir / "b.bin", dir / "sub"})),
                 0);
    EXPECT_EQ(Text(Form->EdtSource), dir / "a.bin");
    EXPECT_EQ(Text(Form->EdtOutputDir), dir.Path());
    // On the output field (handed on by the message loop): the output field only.
    TMessage onOutput{WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({dir / "sub", dir / "a.bin"})), 0, 0};
    Form->DropFilesOnOutputDir(onOutput);
    EXPECT_EQ(Text(Form->EdtOutputDir), dir / "sub");
    EXPECT_EQ(Text(Form->EdtSource), dir / "a.bin");
    // An empty drop changes nothing.
    SendMessageA(Wnd, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({})), 0);
    EXPECT_EQ(Text(Form->EdtSource), dir / "a.bin");
}

TEST_F(FrmMainInput, OutputFolderIsSuggestedOnlyForAnExistingSourceOffRemovableDrives) {
    TTempDir dir("suggest");
    BuildTree(dir.Path(), {{"data\\", ""}, {"data\\file.bin", "x"}});
    std::string floppy = TestDriveRoot('R') + "hf_suggest";
    BuildTree(floppy, {{"file.bin", "x"}});
    struct TCase {
        std::string Output, Source, Expected;
    } cases[] = {
        {"", dir / "data\\file.bin", dir / "data"},
        {"", dir / "data\\\\", dir.Path()},
        {"", dir / "missing.bin", ""},
        {"", "C:\\", ""},
        {"kept", dir / "data\\file.bin", "kept"},
        {"", floppy + "\\file.bin", ""},
        {"", floppy, ""},
    };
    for (const TCase& c : cases) {
        SetWindowTextA(Form->EdtSource, "");
        SetWindowTextA(Form->EdtOutputDir, c.Output.c_str());
        SetWindowTextA(Form->EdtSource, c.Source.c_str());
        EXPECT_EQ(Text(Form->EdtOutputDir), c.Expected) << "source " << c.Source;
    }
    RemoveTree(floppy);

    // Typed key by key: the first text that names an existing folder decides, later ones do not.
    SetWindowTextA(Form->EdtSource, (dir.Path() + "\\").c_str());
    SetWindowTextA(Form->EdtOutputDir, "");
    SendMessageA(Form->EdtSource, EM_SETSEL, 1000, 1000);
    for (char ch : std::string("data\\file.bin"))
        SendMessageA(Form->EdtSource, WM_CHAR, static_cast<WPARAM>(ch), 0);
    EXPECT_EQ(Text(Form->EdtSource), dir / "data\\file.bin");
    EXPECT_EQ(Text(Form->EdtOutputDir), dir.Path());
}

TEST_F(FrmMainInput, TabVisitsEveryEnabledControlInCreationOrder) {
    std::vector<HWND> all = {Form->EdtSource,      Form->BtnBrowseFile,  Form->BtnBrowseSourceDir,
                             Form->EdtOutputDir,   Form->BtnBrowseOutputDir, Form->CboSize,
                             Form->EdtSize,        Form->ChkCopyProgram, Form->ChkBatchFile,
                             Form->BtnSplit,       Form->BtnJoin,        Form->BtnClose,
                             Form->LblHomePage};
    for (int index : {1, 3}) { // the size field is disabled for "1.44 MB Disk", enabled for "Bytes"
        ChooseSize(index, "");
        std::vector<HWND> expected = all;
        if (index == 1)
            std::erase(expected, Form->EdtSize);
        for (bool backwards : {false, true}) {
            SetFocus(Form->EdtSource);
            std::vector<HWND> visited;
            for (size_t i = 0; i < expected.size(); ++i) {
                // The accelerator's command, as Tab and Shift+Tab deliver it.
                SendMessageA(Wnd, WM_COMMAND, backwards ? cmdPrevControl : cmdNextControl, 0);
                Pump();
                visited.push_back(GetFocus());
            }
            std::vector<HWND> order(expected.begin() + 1, expected.end());
            order.push_back(expected.front()); // wraps round to the start
            if (backwards) {
                order.assign(expected.rbegin(), expected.rend() - 1);
                order.push_back(expected.front());
            }
            EXPECT_EQ(visited, order) << "entry " << index << (backwards ? " backwards" : " forwards");
        }
    }
}

TEST_F(FrmMainInput, FailedCheckShowsItsBoxOverTheWindowAndFocusesItsField) {
    TTempDir dir("focus");
    BuildTree(dir.Path(), {{"data.bin", PatternBytes(5000)}, {"dir\\", ""}, {"dir\\x", "x"}, {"out\\", ""}});
    struct TCase {
        bool Join;
        std::string Source, Output;
        int SizeIndex;
        const char* SizeText;
        HWND TFrmMain::*Field;
        const char* Box;
    } cases[] = {
        {false, dir / "missing", dir / "out", 1, "", &TFrmMain::EdtSource, "File or Directory not found!"},
        {false, dir / "data.bin", dir / "missing", 1, "", &TFrmMain::EdtOutputDir, "File or Directory not found!"},
        {true, dir / "dir", dir / "out", 1, "", &TFrmMain::EdtSource, "Directories not allowed here!"},
        {false, dir / "data.bin", dir / "data.bin", 1, "", &TFrmMain::EdtOutputDir, "Directory expected!"},
        {false, dir / "data.bin", "R:\\", 1, "", &TFrmMain::EdtOutputDir, "cannot write directly to removable"},
        {false, dir / "data.bin", dir / "out", 3, "", &TFrmMain::EdtSize, "Invalid size!"},
        {false, dir / "data.bin", dir / "out", 4, "-9007199254740993", &TFrmMain::EdtSize, "Invalid size!"},
    };
    TDialogAnswerer answerer;
    size_t boxes = 0;
    for (const TCase& c : cases) {
        SetWindowTextA(Form->EdtSource, c.Source.c_str());
        SetWindowTextA(Form->EdtOutputDir, c.Output.c_str());
        ChooseSize(c.SizeIndex, c.SizeText);
        SetFocus(Form->BtnClose);
        Click(c.Join ? Form->BtnJoin : Form->BtnSplit);
        EXPECT_EQ(GetFocus(), Form.get()->*c.Field) << c.Box;
        auto seen = answerer.Seen();
        ASSERT_EQ(seen.size(), ++boxes) << c.Box;
        EXPECT_NE(seen.back().Text.find(c.Box), std::string::npos) << seen.back().Text;
        EXPECT_EQ(seen.back().Caption, c.Join ? "Join" : "Split");
        EXPECT_EQ(seen.back().Owner, Wnd);
    }
    // Enter acts on the focused control: nothing in an edit field, a join on the Join button.
    SetFocus(Form->EdtSource);
    SendMessageA(Wnd, WM_COMMAND, cmdEnter, 0);
    Pump();
    EXPECT_EQ(answerer.Seen().size(), boxes);
    SetWindowTextA(Form->EdtSource, (dir / "dir").c_str());
    SetFocus(Form->BtnJoin);
    SendMessageA(Wnd, WM_COMMAND, cmdEnter, 0);
    Pump();
    ASSERT_EQ(answerer.Seen().size(), boxes + 1);
    EXPECT_EQ(answerer.Seen().back().Caption, "Join");
    EXPECT_EQ(GetFocus(), Form->EdtSource);
}

TEST_F(FrmMainInput, CancelPollDropsClicksAndQueuedCommandsAndAsksOnEscape) {
    std::atomic<int> answer{IDNO};
    TDialogAnswerer answerer([&](const TDialogInfo&) { return answer.load(); });
    // Escape while idle is forgotten at the next poll.
    SendMessageA(Wnd, WM_COMMAND, cmdEscape, 0);
    EXPECT_FALSE(Form->CheckUserCancel("Split"));
    // Clicks and commands are dropped (a job would ask its question); Tab still moves the focus.
    SetFocus(Form->EdtSource);
    PostMessageA(Form->BtnSplit, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessageA(Form->BtnSplit, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    PostMessageA(Wnd, WM_COMMAND, 0, reinterpret_cast<LPARAM>(Form->BtnSplit));
    PostMessageA(Form->EdtSource, WM_KEYDOWN, VK_TAB, 1);
    EXPECT_FALSE(Form->CheckUserCancel("Split"));
    EXPECT_EQ(GetFocus(), Form->BtnBrowseFile);
    EXPECT_TRUE(answerer.Seen().empty());
    // Escape leads to the question; No goes on, Yes cancels.
    for (int reply : {IDNO, IDYES}) {
        answer = reply;
        PostMessageA(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 1);
        EXPECT_EQ(Form->CheckUserCancel("Join"), reply == IDYES);
    }
    auto seen = answerer.Seen();
    ASSERT_EQ(seen.size(), 2u);
    for (const TDialogInfo& box : seen) {
        EXPECT_EQ(box.Text, "Do you really want to cancel?");
        EXPECT_EQ(box.Caption, "Join");
        EXPECT_EQ(box.Owner, Wnd);
    }
}

TEST_F(FrmMainInput, ProgressMovesOnlyByMoreThanAHundredthOfTheTotal) {
    struct TStep {
        int64_t Max; // -1: SetProgress(Pos) only
        int64_t Pos, Expected;
    } steps[] = {
        {1000, 0, 0}, {-1, 10, 0}, {-1, 11, 11}, {-1, 21, 11}, {-1, 22, 22}, {-1, 5000, 1000},
        {-1, 995, 1000}, {0, 0, 0}, {50, 0, 0}, {-1, 1, 1}, // small totals move with every byte
    };
    for (const TStep& s : steps) {
        if (s.Max >= 0)
            Form->SetProgressMax(s.Max);
        else
            Form->SetProgress(s.Pos);
        EXPECT_EQ(Form->FProgressPos, s.Expected) << "max " << s.Max << " pos " << s.Pos;
    }
}

// While a job copies, a button pressed with the space bar, Alt+F4 (the system menu's Close) or a
// quit message must neither start a second job nor lose the end of the program.
TEST_F(FrmMainInput, JobIsNotReenteredAndCloseOrQuitEndItCleanly) {
    TTempDir dir("reenter");
    BuildTree(dir.Path(), {{"data.bin", PatternBytes((32 << 20) + 1000)}});
    const DWORD uiThread = GetCurrentThreadId();
    enum TDisruption { dsSpaceOnSplit, dsAltF4, dsQuit };
    for (TDisruption what : {dsSpaceOnSplit, dsQuit, dsAltF4}) { // Alt+F4 last: it ends the window
        SCOPED_TRACE(what);
        const std::string out = dir / ("out" + std::to_string(what));
        CreateDirectoryA(out.c_str(), nullptr);
        SetWindowTextA(Form->EdtSource, (dir / "data.bin").c_str());
        SetWindowTextA(Form->EdtOutputDir, out.c_str());
        ChooseSize(5, "1");
        TDialogAnswerer answerer;
        std::thread disrupt([&] {
            for (int i = 0; i < 2000 && !FileExists(out + "\\data.bin.002"); ++i)
                Sleep(5);
            if (what == dsSpaceOnSplit) {
                PostMessageA(Form->BtnSplit, WM_KEYDOWN, VK_SPACE, 1);
                PostMessageA(Form->BtnSplit, WM_KEYUP, VK_SPACE, 0xC0000001);
            } else if (what == dsAltF4) {
                PostMessageA(Wnd, WM_SYSCOMMAND, SC_CLOSE, 0);
            } else {
                PostThreadMessageA(uiThread, WM_QUIT, 7, 0);
            }
        });
        SetFocus(Form->BtnSplit);
        Click(Form->BtnSplit);
        disrupt.join();
        auto seen = answerer.Seen();
        ASSERT_FALSE(seen.empty());
        EXPECT_NE(seen[0].Text.find("There are 33 parts"), std::string::npos);
        MSG quit{};
        bool quitQueued = PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
        if (what == dsSpaceOnSplit) {
            ASSERT_EQ(seen.size(), 2u) << "one question and one summary, no second job";
            EXPECT_NE(seen[1].Text.find("created 32 partfile(s)"), std::string::npos) << seen[1].Text;
            EXPECT_FALSE(quitQueued);
        } else {
            // Stopped without the cancel question and without a summary, the end of the program kept.
            EXPECT_EQ(seen.size(), 1u);
            EXPECT_FALSE(FileExists(out + "\\data.bin.033"));
            EXPECT_TRUE(quitQueued);
            EXPECT_EQ(quit.wParam, what == dsQuit ? 7u : 0u);
            EXPECT_EQ(IsWindow(Wnd) != FALSE, what == dsQuit) << "Alt+F4 closes the window after the job";
        }
        EXPECT_FALSE(Form->FJobRunning);
    }
}

} // namespace
