// The window run: accelerators, the main window and the thread's message loop.
#include <memory>

#include "app/ChunklerRun.h"
#include "ui/UnitFrmMain.h"

HACCEL CreateAccelerators() {
    ACCEL entries[4] = {
        {FVIRTKEY, VK_RETURN, cmdEnter},
        {FVIRTKEY, VK_TAB, cmdNextControl},
        {FVIRTKEY | FSHIFT, VK_TAB, cmdPrevControl},
        {FVIRTKEY, VK_ESCAPE, cmdEscape},
    };
    return CreateAcceleratorTableA(entries, 4);
}

namespace {

// Runs until WM_QUIT and returns its code. Exceptions caught inside window procedures come out here.
int RunMessageLoop(TFrmMain& Window) {
    MSG msg{};
    for (;;) {
        const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0)
            return static_cast<int>(msg.wParam);
        if (got == -1)
            return crUnknownError;
        // The accelerator's command goes to the main window whichever child has the focus.
        if (!TranslateAcceleratorA(Window.FHandle, AccelTable, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            // Only the output field accepts drops besides the main window, and it ignores them.
            if (msg.message == WM_DROPFILES && msg.hwnd != Window.FHandle) {
                TMessage drop{msg.message, msg.wParam, msg.lParam, 0};
                Window.DropFilesOnOutputDir(drop);
            }
        }
        RethrowWindowException();
    }
}

} // namespace

int RunWindow(TChunklerStartParams& Params) {
    int code = crUnknownError;
    AccelTable = CreateAccelerators();
    std::unique_ptr<TFrmMain> window;
    try {
        window = std::make_unique<TFrmMain>();
        FrmMain = window.get();
        window->CreateMainWindow(Params);
        code = RunMessageLoop(*window);
    } catch (...) {
        code = crUnknownError;
    }
    DestroyAcceleratorTable(AccelTable);
    AccelTable = nullptr;
    FrmMain = nullptr;
    window.reset();
    return code;
}
