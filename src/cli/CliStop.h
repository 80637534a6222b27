// Ctrl+C and its kin stop a run the way the window's Esc does: the rename under way completes,
// no other starts, and the rows and summary printed are the truth.
#pragma once

#include "rename/RenameRun.h"

// From now on, an interrupt (SIGINT, SIGTERM, SIGHUP; Ctrl+C, Ctrl+Break or a closed console
// on Windows) requests `stop` instead of ending the program. `stop` must outlive the program's
// run.
void StopOnInterrupt(tovana::StopRequest& stop);

// 0 when no interrupt came; else the exit status that tells the caller which one did, as a
// shell would report the program killed by it (128 + the signal's number: 130 for SIGINT, 143
// for SIGTERM).
int InterruptExitStatus();
