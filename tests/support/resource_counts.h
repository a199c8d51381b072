#pragma once
#include "win.h"

namespace qsmtest {

// Threads of this process (toolhelp snapshot).
int ThreadCount();
// Open handles of this process: GetProcessHandleCount, or, where that answers 0
// (Wine), the process's entries of the system handle table.
int HandleCount();

} // namespace qsmtest
