#include "app/ChunklerRun.h"

int RunSilent(TChunklerStartParams& Params) {
    int code = crUnknownError;
    try {
        auto Engine = std::make_unique<TChunkler>();
        code = Engine->Execute(Params);
    } catch (...) {
        // Nothing is shown in a silent run: the exit code is the only report.
        code = crUnknownError;
    }
    return code;
}
