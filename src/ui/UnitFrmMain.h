// The main window: an elliptic badge with thirteen controls, built on the plain Win32 window
// functions. It is also the engine's interface to the user while a job runs.
#pragma once

#include <windows.h>

#include <cstdint>
#include <exception>
#include <string>

#include "engine/UnitChunkler.h"
#include "ui/UnitGdi.h"

// The window's metrics, read once by the constructor; all window geometry derives from them.
extern int DlgFrameHeight;
extern int DlgFrameWidth;
extern int CaptionHeight;

// The client area, whose ellipse is the visible window.
constexpr int ClientWidth = 422;
constexpr int ClientHeight = 230;

// The keyboard commands of the accelerator table (WM_COMMAND with LParam 0).
enum : WORD {
    cmdEnter = 101,
    cmdNextControl = 102,
    cmdPrevControl = 103,
    cmdEscape = 104,
};

// One message as handed to a handler; Result is what the window procedure returns (preset 0).
struct TMessage {
    UINT Msg;
    WPARAM WParam;
    LPARAM LParam;
    LRESULT Result;
};

class TFrmMain : public TChunklerHooks {
public:
    // Registers the window class "Chunkler"; ends the process with code 255 when that fails.
    TFrmMain();
    // Detaches the region, destroys the window if it still exists; the owners free font, bitmaps, icons.
    ~TFrmMain() override;
    TFrmMain(const TFrmMain&) = delete;
    TFrmMain& operator=(const TFrmMain&) = delete;

    // Creates, shows and fills the window and its controls. Params must outlive the window.
    void CreateMainWindow(TChunklerStartParams& Params);

    // Routes a message of the main window to its handler or to DefaultHandler.
    void Dispatch(TMessage& Message);
    // WM_DESTROY posts the quit message (code 0); everything else goes to DefWindowProcA.
    void DefaultHandler(TMessage& Message);

    // --- Window, layout, painting (UnitFrmMain.cpp, UnitFrmMainPaint.cpp)
    void ApplyWindowRegion();
    void WMPaint(TMessage& Message);
    void WMNCActivate(TMessage& Message);
    void WMNCPaint(TMessage& Message);
    void PaintCaption();
    void PaintProgressArc();
    void OpenHomePage();

    // --- User input and job start (UnitFrmMainInput.cpp)
    void WMCommand(TMessage& Message);
    void WMClose(TMessage& Message);
    void WMNextDlgCtl(TMessage& Message);
    void WMDropFiles(TMessage& Message);
    // A drop on EdtOutputDir, passed on by the message loop (the edit itself ignores drops).
    void DropFilesOnOutputDir(TMessage& Message);
    void BrowseFile();
    void BrowseFolder(bool ForOutput);
    void UpdateSizeEdit();
    void SuggestOutputDir();
    // The number in EdtSize; 0 when empty or not a number.
    int64_t ReadSizeNumber();
    // The part size in bytes chosen in the window; 0 when nothing valid is chosen.
    int64_t GetPartSize();
    void StartJob();
    void FocusErrorField(TChunklerResult Code);
    // Destroys the window, or while a job runs asks it to stop and leaves the rest to StartJob.
    void Close();

    // --- TChunklerHooks: what the engine calls while a job runs
    HWND OwnerWindow() override { return FHandle; }
    void ShowWaitCursor() override;                            // UnitFrmMainInput.cpp
    void HideWaitCursor() override;                            // UnitFrmMainInput.cpp
    bool CheckUserCancel(const std::string& Caption) override; // UnitFrmMainInput.cpp
    void SetProgressMax(int64_t Max) override;                 // UnitFrmMainInput.cpp
    void SetProgress(int64_t Pos) override;                    // UnitFrmMainInput.cpp

    // --- Fields
    TIconHandle FIcon; // the class icons, freed once the class is unregistered
    TIconHandle FIconSmall;
    bool FCaptionActive = false;
    TGdiFont FFont;
    TGdiBitmap FBmpFolderOpen;
    TGdiBitmap FBmpFileOpen;
    HCURSOR FCursorWait = nullptr;
    HCURSOR FCursorHand = nullptr;
    HWND FHandle = nullptr;
    HWND EdtSource = nullptr;
    HWND BtnBrowseFile = nullptr;
    HWND BtnBrowseSourceDir = nullptr;
    HWND EdtOutputDir = nullptr;
    HWND BtnBrowseOutputDir = nullptr;
    HWND CboSize = nullptr;
    HWND EdtSize = nullptr;
    HWND ChkCopyProgram = nullptr;
    HWND ChkBatchFile = nullptr;
    HWND BtnSplit = nullptr;
    HWND BtnJoin = nullptr;
    HWND BtnClose = nullptr;
    HWND LblHomePage = nullptr;
    // Belongs to the window once set on it; never deleted by the program.
    HRGN FRegion = nullptr;
    int64_t FProgressMax = 0;
    int64_t FProgressPos = 0;
    TChunklerStartParams* FParams = nullptr; // not owned

private:
    // The handlers of WMCommand that are no message handlers themselves.
    void ClickFocused();
    void FocusNext();
    void FocusPrevious();
    void RequestCancel();
    void StartSplit();
    void StartJoin();
    void BrowseSourceFolder();
    void BrowseOutputFolder();
    void OutputDirChosen();

    // Escape was pressed since the last cancel poll.
    bool FCancelRequested = false;
    // Re-entrancy guards: a job pumps messages while it runs, so a button pressed from the keyboard or a
    // close request can arrive in the middle of it.
    bool FJobRunning = false;     // StartJob is between its start and its return
    bool FCloseRequested = false; // the window is to be destroyed once the running job has returned
    // A WM_QUIT that the job's message pump took from the queue, posted again once the job has returned so
    // that the message loop still ends.
    bool FQuitPending = false;
    int FQuitCode = 0;
    // The output field holds the window's own suggestion, which the next one may replace.
    bool FOutputSuggested = false;

    // The steps of CreateMainWindow, in their order.
    void CreateFrame();
    void CreateControls();
    void SetControlImages();
    void ShowControls();
    void FillControls(const TChunklerStartParams& Params);
    // The engine run of StartJob; anything thrown counts as a failed job.
    TChunklerResult RunJob();
};

// The window procedure of the class "Chunkler".
LRESULT CALLBACK MainWndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);

// An exception caught in MainWndProc (it must not unwind through the system's code) is kept here;
// the message loop rethrows it after DispatchMessageA returns.
void RethrowWindowException();

// The four keyboard commands: Enter 101, Tab 102, Shift+Tab 103, Escape 104.
HACCEL CreateAccelerators();

// The one main window object of a window run (not owned here; nullptr in a silent run).
extern TFrmMain* FrmMain;
// The accelerators of the window run, also used by the message pump of a running job.
extern HACCEL AccelTable;
