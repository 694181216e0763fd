// What the main window does with the user's input: commands, focus movement, dropped files, the
// browse dialogs, the size and output fields, the start of a job, and the operations the engine
// calls on the window while that job runs.
//
// Re-entrancy. A job runs inside the WM_COMMAND handler and pumps the queue itself (CheckUserCancel,
// and the modal boxes and dialogs of the engine). The poll drops queued WM_COMMAND messages, but some
// commands bypass the queue: a push button activated with the space bar sends its click straight to
// the window, and Alt+F4 or the system menu's Close arrive as WM_CLOSE. While FJobRunning is set:
//   - Split, Join and the three browse buttons are ignored (one job at a time, and no dialog that
//     would change the fields under the running job);
//   - Close, Alt+F4 and the system menu's Close become a close request: the job is cancelled at its
//     next poll without the cancel question (the user asked to leave), and the window is destroyed
//     once the job has returned and its result has been shown;
//   - a WM_QUIT taken from the queue by the poll also cancels the job and is posted again after it,
//     so the message loop still ends.

#include <windows.h>
#include <commdlg.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cmath>
#include <limits>
#include <memory>

#include "inventory/UnitFileInfo.h"
#include "support/UnitImport.h"
#include "support/UnitLanguage.h"
#include "ui/UnitFrmMain.h"

namespace {

constexpr int FieldTextSize = 260; // the text fields are read with at most 259 characters
constexpr int SizeTextSize = 100;
constexpr int64_t KB = 1024;
constexpr int64_t MB = 1024 * KB;
constexpr int64_t MaxInt64 = std::numeric_limits<int64_t>::max();
constexpr int64_t PartSizeLimit = MaxInt64 / MaxPartCount; // 999 parts still add up

std::string GetText(HWND Wnd, int BufferSize = FieldTextSize) {
    std::string text(static_cast<size_t>(BufferSize), '\0');
    int len = GetWindowTextA(Wnd, text.data(), BufferSize);
    text.resize(len > 0 ? static_cast<size_t>(len) : 0);
    return text;
}

// A path field's text as it holds it, a name outside the ANSI code page included.
std::wstring GetPathText(HWND Edit) {
    std::wstring text(FieldTextSize, L'\0');
    const int len = GetWindowTextW(Edit, text.data(), FieldTextSize);
    text.resize(len > 0 ? static_cast<size_t>(len) : 0);
    return text;
}

// The first dropped item into Target; only the first of several is used.
void TakeFirstDroppedItem(HDROP Drop, HWND Target) {
    // Finished on every path out: the handle belongs to the receiver.
    const TScopedHandle<HDROP, &DragFinish> finish(Drop);
    if (DragQueryFileW(Drop, 0xFFFFFFFF, nullptr, 0) == 0)
        return;
    wchar_t path[MAX_PATH] = {};
    if (DragQueryFileW(Drop, 0, path, MAX_PATH) > 0)
        SetWindowTextW(Target, path);
}

struct TMallocRelease {
    void operator()(IMalloc* Malloc) const { Malloc->Release(); }
};

// N times Unit, or 0 when N is at or above MaxInt64 / Unit or the product would fall below the 64-bit
// range (negative sizes are refused by the engine anyway; they only must not overflow here).
int64_t ScaleSize(int64_t N, int64_t Unit) {
    if (N >= MaxInt64 / Unit || N < std::numeric_limits<int64_t>::min() / Unit)
        return 0;
    return N * Unit;
}

} // namespace

void TFrmMain::WMCommand(TMessage& Message) {
    const auto control = reinterpret_cast<HWND>(Message.LParam);
    const WORD id = LOWORD(Message.WParam), notification = HIWORD(Message.WParam);
    // A keyboard command comes without a control; a control's notification (0 for a click) with it. A job
    // pumps messages while it runs, so what would start another job or a dialog waits for its end.
    const struct {
        HWND Control;
        WORD Id;           // a keyboard command, where Control is none
        WORD Notification; // 0: any
        bool WhenIdle;
        void (TFrmMain::*Handler)();
    } handlers[] = {
        {nullptr, cmdEnter, 0, false, &TFrmMain::ClickFocused},
        {nullptr, cmdNextControl, 0, false, &TFrmMain::FocusNext},
        {nullptr, cmdPrevControl, 0, false, &TFrmMain::FocusPrevious},
        {nullptr, cmdEscape, 0, false, &TFrmMain::RequestCancel},
        {BtnClose, 0, 0, false, &TFrmMain::Close},
        {BtnSplit, 0, 0, true, &TFrmMain::StartSplit},
        {BtnJoin, 0, 0, true, &TFrmMain::StartJoin},
        {BtnBrowseFile, 0, 0, true, &TFrmMain::BrowseFile},
        {BtnBrowseSourceDir, 0, 0, true, &TFrmMain::BrowseSourceFolder},
        {BtnBrowseOutputDir, 0, 0, true, &TFrmMain::BrowseOutputFolder},
        {LblHomePage, 0, 0, false, &TFrmMain::OpenHomePage},
        {CboSize, 0, CBN_SELCHANGE, false, &TFrmMain::UpdateSizeEdit},
        {EdtSource, 0, EN_CHANGE, false, &TFrmMain::SuggestOutputDir},
        {EdtOutputDir, 0, EN_CHANGE, false, &TFrmMain::OutputDirChosen},
    };
    for (const auto& h : handlers) {
        if (h.Control != control || (!control && h.Id != id) ||
            (h.Notification && h.Notification != notification))
            continue;
        if (!(h.WhenIdle && FJobRunning))
            (this->*h.Handler)();
        return;
    }
}

// Posted, so that the click is handled after this message, as a click of the focused control.
void TFrmMain::ClickFocused() {
    PostMessageA(FHandle, WM_COMMAND, 0, reinterpret_cast<LPARAM>(GetFocus()));
}

void TFrmMain::FocusNext() {
    PostMessageA(FHandle, WM_NEXTDLGCTL, 0, 0);
}

void TFrmMain::FocusPrevious() {
    PostMessageA(FHandle, WM_NEXTDLGCTL, 1, 0);
}

void TFrmMain::RequestCancel() {
    FCancelRequested = true;
}

void TFrmMain::StartSplit() {
    FParams->Unsplit = false;
    StartJob();
}

void TFrmMain::StartJoin() {
    FParams->Unsplit = true;
    StartJob();
}

void TFrmMain::BrowseSourceFolder() {
    BrowseFolder(false);
}

void TFrmMain::BrowseOutputFolder() {
    BrowseFolder(true);
}

// Typed, dropped or browsed: the user's own choice from now on. The window's own suggestion passes here
// too, and SuggestOutputDir marks it again right after.
void TFrmMain::OutputDirChosen() {
    FOutputSuggested = false;
}

// Alt+F4 and the system menu's Close: the default processing would destroy the window under a
// running job.
void TFrmMain::WMClose(TMessage&) {
    Close();
}

void TFrmMain::Close() {
    if (FJobRunning) {
        FCloseRequested = true;
        FCancelRequested = true;
    } else {
        DestroyWindow(FHandle);
    }
}

void TFrmMain::WMNextDlgCtl(TMessage& Message) {
    // No control has WS_GROUP, so the whole window is one group and this walks all of them in
    // creation order, skipping hidden and disabled ones.
    SetFocus(GetNextDlgGroupItem(FHandle, GetFocus(), Message.WParam != 0));
}

void TFrmMain::WMDropFiles(TMessage& Message) {
    TakeFirstDroppedItem(reinterpret_cast<HDROP>(Message.WParam), EdtSource);
}

void TFrmMain::DropFilesOnOutputDir(TMessage& Message) {
    TakeFirstDroppedItem(reinterpret_cast<HDROP>(Message.WParam), EdtOutputDir);
}

void TFrmMain::BrowseFile() {
    std::wstring path;
    // The record as Windows 9x/NT4 knew it: older comdlg32 versions refuse the longer one.
    if (ChooseExistingFile(FHandle, OPENFILENAME_SIZE_VERSION_400W, FormatMsg(MsgSourceLabel), path))
        SetWindowTextW(EdtSource, path.c_str());
    SetFocus(BtnBrowseFile);
}

void TFrmMain::BrowseFolder(bool ForOutput) {
    IMalloc* rawMalloc = nullptr;
    if (SUCCEEDED(CoGetMalloc(MEMCTX_TASK, &rawMalloc)) && rawMalloc != nullptr) {
        std::unique_ptr<IMalloc, TMallocRelease> malloc(rawMalloc);
        char path[MAX_PATH + 1] = {};
        std::string title = FormatMsg(ForOutput ? MsgOutputDirLabel : MsgSourceLabel);
        BROWSEINFOA info{};
        info.hwndOwner = FHandle;
        info.pszDisplayName = path;
        info.lpszTitle = title.c_str();
        info.ulFlags = ForOutput ? (BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE) : BIF_RETURNONLYFSDIRS;
        if (PIDLIST_ABSOLUTE items = SHBrowseForFolderA(&info)) {
            // Only a real file system path goes into the field, never the display name of a
            // virtual folder that the buffer would otherwise still hold; wide, as it may hold a name
            // outside the ANSI code page.
            wchar_t folder[MAX_PATH] = {};
            bool isPath = SHGetPathFromIDListW(items, folder) != FALSE;
            malloc->Free(items);
            if (isPath)
                SetWindowTextW(ForOutput ? EdtOutputDir : EdtSource, folder);
        }
    }
    SetFocus(ForOutput ? BtnBrowseOutputDir : BtnBrowseSourceDir);
}

void TFrmMain::UpdateSizeEdit() {
    // "Bytes", "KB" and "MB" take a number; CB_ERR (-1) and the three fixed sizes do not.
    EnableWindow(EdtSize, SendMessageA(CboSize, CB_GETCURSEL, 0, 0) >= 3);
}

void TFrmMain::SuggestOutputDir() {
    // An output folder the user gave is never replaced; the window's own suggestion follows the source,
    // or typing a path key by key would leave the parent of the first folder that exists on the way.
    if (!FOutputSuggested && !GetText(EdtOutputDir).empty())
        return;
    std::string source;
    ToAnsiPath(GetPathText(EdtSource), source);
    source = StripTrailingBackslashes(source);
    TPathKind kind = GetPathKind(source);
    if (kind != pkFile && kind != pkFolder)
        return;
    // The engine refuses to write onto diskettes and CDs, so it would be a useless proposal there;
    // the field stays empty and the rule runs again at the next change of the source.
    std::string folder = IsOnRemovableDrive(source) ? std::string() : GetParentFolder(source);
    // A bare drive names the drive's current folder, not its root.
    if (folder.size() == 2 && folder[1] == ':')
        folder += '\\';
    SetWindowTextA(EdtOutputDir, folder.c_str());
    FOutputSuggested = true;
}

int64_t TFrmMain::ReadSizeNumber() {
    int64_t value = 0;
    if (!TryStrToInt64(GetText(EdtSize, SizeTextSize), value))
        return 0;
    return value;
}

int64_t TFrmMain::GetPartSize() {
    int64_t size = 0;
    switch (SendMessageA(CboSize, CB_GETCURSEL, 0, 0)) {
    case 0:
        size = SmallDiskPartSize;
        break;
    case 1:
        size = DefaultPartSize;
        break;
    case 2:
        size = 650 * MB;
        break;
    case 3:
        size = ReadSizeNumber();
        break;
    case 4:
        size = ScaleSize(ReadSizeNumber(), KB);
        break;
    case 5:
        size = ScaleSize(ReadSizeNumber(), MB);
        break;
    default:
        break;
    }
    return size >= PartSizeLimit ? 0 : size;
}

void TFrmMain::StartJob() {
    if (FJobRunning)
        return;
    FJobRunning = true;
    const TChunklerResult code = RunJob();
    FJobRunning = false;
    if (FCloseRequested) {
        FCloseRequested = false;
        DestroyWindow(FHandle);
        return;
    }
    if (FQuitPending) {
        FQuitPending = false;
        PostQuitMessage(FQuitCode);
    }
    FocusErrorField(code);
}

TChunklerResult TFrmMain::RunJob() {
    try {
        // The window is the engine's way to the user: its boxes, its cursor, its progress arc.
        TChunkler engine(this);
        TChunklerResult code = crUnknownError;
        try {
            FParams->Silent = false;
            FParams->SetPath(false, GetPathText(EdtSource));
            FParams->SetPath(true, GetPathText(EdtOutputDir));
            FParams->PartSize = GetPartSize();
            FParams->CopyProgram = SendMessageA(ChkCopyProgram, BM_GETCHECK, 0, 0) == BST_CHECKED;
            FParams->CreateBatch = SendMessageA(ChkBatchFile, BM_GETCHECK, 0, 0) == BST_CHECKED;
            code = engine.Execute(*FParams);
        } catch (...) {
            code = crUnknownError;
        }
        engine.ShowResult(code);
        return code;
    } catch (...) {
        // Nothing may unwind through the window procedure; the job simply counts as failed.
        return crUnknownError;
    }
}

void TFrmMain::FocusErrorField(TChunklerResult Code) {
    HWND target = nullptr;
    switch (Code) {
    case crSourceNotFound:
    case crFolderNotAllowed:
        target = EdtSource;
        break;
    case crOutputNotFound:
    case crFolderExpected:
    case crRemovableOutput:
        target = EdtOutputDir;
        break;
    case crInvalidSize:
        target = EdtSize;
        break;
    default:
        break;
    }
    if (target != nullptr)
        SetFocus(target);
}

void TFrmMain::ShowWaitCursor() {
    SetCursor(FCursorWait);
}

// The pointer stays hidden until the mouse moves; then the class cursor of the window under it returns.
void TFrmMain::HideWaitCursor() {
    SetCursor(nullptr);
}

bool TFrmMain::CheckUserCancel(const std::string& Caption) {
    FCancelRequested = false;
    MSG msg{};
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Kept for the message loop, which must still see it once the job has returned.
            FQuitPending = true;
            FQuitCode = static_cast<int>(msg.wParam);
        } else if ((msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSEWHEEL) ||
                   msg.message == WM_COMMAND) {
            // Clicks and queued commands (Enter posts one) would start work in the middle of the job.
        } else if (!TranslateAcceleratorA(FHandle, AccelTable, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (GetCursor() != FCursorWait)
            SetCursor(FCursorWait);
    }
    if (FCloseRequested || FQuitPending)
        return true; // the program is being closed: no question, the job just stops
    if (!FCancelRequested)
        return false;
    return ShowMessage(FHandle, FormatMsg(MsgConfirmCancel), Caption, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void TFrmMain::SetProgressMax(int64_t Max) {
    FProgressMax = Max;
    SetProgress(0);
}

void TFrmMain::SetProgress(int64_t Pos) {
    int64_t newPos = MinInt64(FProgressMax, Pos);
    // The arc is redrawn only when it moved by more than a hundredth of the total: at most about a
    // hundred drawings per job, however small the blocks.
    double delta = std::fabs(static_cast<double>(newPos) - static_cast<double>(FProgressPos));
    if (static_cast<double>(FProgressMax) / 100.0 >= delta)
        return;
    FProgressPos = newPos;
    InvalidateRgn(FHandle, nullptr, newPos == 0);
    PaintProgressArc();
}
