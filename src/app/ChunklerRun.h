// The two run modes of the program; each returns the process exit code.
#pragma once

#include "engine/UnitChunkler.h"

// One job from the command line, without any window or message box.
int RunSilent(TChunklerStartParams& Params);

// The main window and its message loop until the window is closed.
int RunWindow(TChunklerStartParams& Params);
