// Process entry: reads the command line, runs the silent job or the window, ends with the exit code.
#include <windows.h>

#include <memory>

#include "app/ChunklerRun.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    auto Params = std::make_unique<TChunklerStartParams>();
    Params->ReadCommandLine();
    const int code = Params->Silent ? RunSilent(*Params) : RunWindow(*Params);
    Params.reset();
    return code;
}
