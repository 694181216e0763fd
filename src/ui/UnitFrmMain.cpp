// The main window: class registration, creation and filling of the controls, message routing and
// teardown.
#include "ui/UnitFrmMain.h"

#include <array>
#include <utility>

#include "support/UnitImport.h"
#include "support/UnitLanguage.h"

int DlgFrameHeight = 0;
int DlgFrameWidth = 0;
int CaptionHeight = 0;

TFrmMain* FrmMain = nullptr;
HACCEL AccelTable = nullptr;

namespace {

constexpr const char* WindowClassName = "Chunkler";

std::exception_ptr WindowException;

HINSTANCE ModuleInstance() {
    return GetModuleHandleA(nullptr);
}

HBITMAP LoadButtonBitmap(const char* Name) {
    return static_cast<HBITMAP>(
        LoadImageA(ModuleInstance(), Name, IMAGE_BITMAP, 16, 16, LR_LOADTRANSPARENT | LR_LOADMAP3DCOLORS));
}

HICON LoadMainIcon(int Size) {
    return static_cast<HICON>(
        LoadImageA(ModuleInstance(), "MAINICON", IMAGE_ICON, Size, Size, LR_DEFAULTCOLOR));
}

// The show command the process was started with.
int StartupShowCommand() {
    STARTUPINFOA info{};
    info.cb = sizeof info;
    GetStartupInfoA(&info);
    return (info.dwFlags & STARTF_USESHOWWINDOW) ? info.wShowWindow : SW_SHOWDEFAULT;
}

const std::array<const char*, 6> SizeChoices = {"720 KB Disk", "1.44 MB Disk", "650 MB CD",
                                                "Bytes",       "KB",           "MB"};

struct TControlDef {
    HWND TFrmMain::*Field;
    const char* ClassName;
    DWORD ExStyle;
    DWORD Style;
    int X, Y, W, H;
    int Caption; // catalogue entry, or -1 for none
};
const TControlDef Controls[] = {
    {&TFrmMain::EdtSource, "EDIT", WS_EX_CLIENTEDGE, ES_AUTOHSCROLL, 83, 30, 205, 21, -1},
    {&TFrmMain::BtnBrowseFile, "BUTTON", 0, BS_BITMAP, 293, 30, 23, 21, -1},
    {&TFrmMain::BtnBrowseSourceDir, "BUTTON", 0, BS_BITMAP, 316, 30, 23, 21, -1},
    {&TFrmMain::EdtOutputDir, "EDIT", WS_EX_CLIENTEDGE | WS_EX_ACCEPTFILES, ES_AUTOHSCROLL, 162, 56, 177, 21,
     -1},
    {&TFrmMain::BtnBrowseOutputDir, "BUTTON", 0, BS_BITMAP, 344, 56, 23, 21, -1},
    {&TFrmMain::CboSize, "COMBOBOX", WS_EX_CLIENTEDGE, CBS_DROPDOWNLIST | WS_VSCROLL, 222, 98, 92, 120, -1},
    {&TFrmMain::EdtSize, "EDIT", WS_EX_CLIENTEDGE, ES_AUTOHSCROLL, 319, 98, 64, 21, -1},
    {&TFrmMain::ChkCopyProgram, "BUTTON", 0, BS_AUTOCHECKBOX, 55, 126, 13, 13, -1},
    {&TFrmMain::ChkBatchFile, "BUTTON", 0, BS_AUTOCHECKBOX, 73, 144, 13, 13, -1},
    {&TFrmMain::BtnSplit, "BUTTON", 0, BS_PUSHBUTTON, 98, 168, 72, 24, MsgSplit},
    {&TFrmMain::BtnJoin, "BUTTON", 0, BS_PUSHBUTTON, 175, 168, 72, 24, MsgJoin},
    {&TFrmMain::BtnClose, "BUTTON", 0, BS_PUSHBUTTON, 252, 168, 72, 24, MsgClose},
    {&TFrmMain::LblHomePage, "STATIC", WS_EX_TRANSPARENT, SS_BITMAP | SS_NOTIFY, 154, 196, 114, 21, -1},
};

} // namespace

void RethrowWindowException() {
    if (WindowException)
        std::rethrow_exception(std::exchange(WindowException, nullptr));
}

TFrmMain::TFrmMain() {
    DlgFrameHeight = GetSystemMetrics(SM_CYDLGFRAME);
    DlgFrameWidth = GetSystemMetrics(SM_CXDLGFRAME);
    CaptionHeight = GetSystemMetrics(SM_CYCAPTION);

    FFont.Reset(CreateFontA(8, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0,
                            "MS Sans Serif"));
    FBmpFolderOpen.Reset(LoadButtonBitmap("BMP_FLDROPEN"));
    FBmpFileOpen.Reset(LoadButtonBitmap("BMP_FILEOPEN"));
    FCursorWait = LoadCursorA(nullptr, IDC_WAIT);
    FCursorHand = LoadCursorA(nullptr, IDC_HAND);

    FIcon.Reset(LoadMainIcon(32));
    FIconSmall.Reset(LoadMainIcon(16));

    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.hInstance = ModuleInstance();
    windowClass.hIcon = FIcon.Get();
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    windowClass.lpszClassName = WindowClassName;
    windowClass.hIconSm = FIconSmall.Get();
    if (!RegisterClassExA(&windowClass))
        ExitProcess(255);
}

TFrmMain::~TFrmMain() {
    // A region handed to a window belongs to the system; detaching it lets the system free it.
    if (FRegion) {
        if (IsWindow(FHandle))
            SetWindowRgn(FHandle, nullptr, TRUE);
        FRegion = nullptr;
    }
    // Normally the window is gone already. If not, it must not outlive the object its procedure
    // routes to; clearing FHandle first keeps its WM_DESTROY from posting a quit message.
    if (HWND wnd = std::exchange(FHandle, nullptr); wnd && IsWindow(wnd))
        DestroyWindow(wnd);
    // Unregistering lets a later object register the class again (tests create several).
    UnregisterClassA(WindowClassName, ModuleInstance());
    // Font, bitmaps and icons are freed by their owners after this body, now that nothing uses them.
}

void TFrmMain::ApplyWindowRegion() {
    if (FRegion)
        return;
    TGdiRegion region(CreateEllipticRgn(DlgFrameWidth, DlgFrameHeight, DlgFrameWidth + ClientWidth + 1,
                                        DlgFrameHeight + CaptionHeight + ClientHeight + 1));
    // Once the window has taken the region the system frees it; until then it is ours.
    if (region && SetWindowRgn(FHandle, region.Get(), TRUE))
        FRegion = region.Release();
}

void TFrmMain::CreateMainWindow(TChunklerStartParams& Params) {
    FParams = &Params;
    CreateFrame();
    ApplyWindowRegion();
    CreateControls();
    SetControlImages();
    ShowControls();
    FillControls(Params);
}

void TFrmMain::CreateFrame() {
    FHandle = CreateWindowExA(
        WS_EX_APPWINDOW | WS_EX_CONTROLPARENT | WS_EX_ACCEPTFILES, WindowClassName, "Chunkler light",
        WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, CW_USEDEFAULT,
        CW_USEDEFAULT, ClientWidth + 2 * DlgFrameWidth, ClientHeight + CaptionHeight + 2 * DlgFrameHeight,
        nullptr, nullptr, ModuleInstance(), nullptr);
}

// Unicode controls: an ANSI edit keeps its text in the code page, so a name outside it, dropped, picked or
// given on the command line, would reach the job as "?" and be called missing.
void TFrmMain::CreateControls() {
    for (const TControlDef& def : Controls) {
        const std::wstring text = AnsiToWide(def.Caption >= 0 ? FormatMsg(def.Caption) : std::string());
        this->*def.Field = CreateWindowExW(def.ExStyle, AnsiToWide(def.ClassName).c_str(), text.c_str(),
                                           WS_CHILD | def.Style, def.X, def.Y, def.W, def.H, FHandle, nullptr,
                                           ModuleInstance(), nullptr);
    }
}

void TFrmMain::SetControlImages() {
    // Posted, not sent: the font takes effect once the message loop runs.
    for (const TControlDef& def : Controls)
        PostMessageA(this->*def.Field, WM_SETFONT, reinterpret_cast<WPARAM>(FFont.Get()), 0);
    PostMessageA(BtnBrowseFile, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(FBmpFileOpen.Get()));
    PostMessageA(BtnBrowseSourceDir, BM_SETIMAGE, IMAGE_BITMAP,
                 reinterpret_cast<LPARAM>(FBmpFolderOpen.Get()));
    PostMessageA(BtnBrowseOutputDir, BM_SETIMAGE, IMAGE_BITMAP,
                 reinterpret_cast<LPARAM>(FBmpFolderOpen.Get()));
    // The class cursor of STATIC: the link area shows the hand.
    if (FCursorHand)
        SetClassLongPtrA(LblHomePage, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(FCursorHand));
}

void TFrmMain::ShowControls() {
    // Children are always shown plainly: a start-up command such as "minimised" or "hidden" is meant
    // for the main window and would minimise or hide the controls themselves.
    for (const TControlDef& def : Controls)
        ShowWindow(this->*def.Field, SW_SHOW);
    ShowWindow(FHandle, StartupShowCommand());
}

void TFrmMain::FillControls(const TChunklerStartParams& Params) {
    for (const char* choice : SizeChoices)
        SendMessageA(CboSize, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choice));

    // The source first: its change notification may propose an output folder, which the given
    // output folder (empty or not) then replaces.
    const auto given = [](const std::string& Path, const std::wstring& Wide) {
        return Wide.empty() ? AnsiToWide(Path) : Wide;
    };
    SetWindowTextW(EdtSource, given(Params.SourcePath, Params.WideSourcePath).c_str());
    SetWindowTextW(EdtOutputDir, given(Params.OutputDir, Params.WideOutputDir).c_str());

    if (Params.PartSize == DefaultPartSize) {
        SendMessageA(CboSize, CB_SETCURSEL, 1, 0);
    } else {
        SendMessageA(CboSize, CB_SETCURSEL, 3, 0);
        SetWindowTextA(EdtSize, IntToStrZeroPad(Params.PartSize, 0).c_str());
    }
    UpdateSizeEdit();

    SendMessageA(ChkCopyProgram, BM_SETCHECK, TChunklerStartParams::BoolToCheckState(Params.CopyProgram), 0);
    SendMessageA(ChkBatchFile, BM_SETCHECK, TChunklerStartParams::BoolToCheckState(Params.CreateBatch), 0);
    SetFocus(EdtSource);
}

void TFrmMain::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
    case WM_DROPFILES:
        WMDropFiles(Message);
        break;
    case WM_PAINT:
        WMPaint(Message);
        break;
    case WM_NCACTIVATE:
        WMNCActivate(Message);
        break;
    case WM_NCPAINT:
        WMNCPaint(Message);
        break;
    case WM_NEXTDLGCTL:
        WMNextDlgCtl(Message);
        break;
    case WM_COMMAND:
        WMCommand(Message);
        break;
    case WM_CLOSE:
        WMClose(Message);
        break;
    default:
        DefaultHandler(Message);
        break;
    }
}

void TFrmMain::DefaultHandler(TMessage& Message) {
    if (Message.Msg == WM_DESTROY)
        PostQuitMessage(0);
    else
        Message.Result = DefWindowProcA(FHandle, Message.Msg, Message.WParam, Message.LParam);
}

LRESULT CALLBACK MainWndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
    // Until CreateWindowEx has returned FHandle is 0: creation messages get default processing only.
    if (!FrmMain || !FrmMain->FHandle || Wnd != FrmMain->FHandle)
        return DefWindowProcA(Wnd, Msg, WParam, LParam);
    TMessage message{Msg, WParam, LParam, 0};
    try {
        FrmMain->Dispatch(message);
    } catch (...) {
        if (!WindowException)
            WindowException = std::current_exception();
    }
    return message.Result;
}
