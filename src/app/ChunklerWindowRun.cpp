#include "app/ChunklerRun.h"

int RunWindow(TChunklerStartParams&) { return 0; }
