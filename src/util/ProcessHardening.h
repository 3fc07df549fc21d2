#pragma once

namespace korimbo {

// Keeps the process's memory, and with it the keys of logged-in folders, out of core dumps and away
// from other processes of the same user (ptrace, /proc/<pid>/mem): dumpable off, core size limit 0.
// Called first thing by the program and by korimbo-cli. 0, or the errno of the step that failed (the
// program runs on either way).
int ForbidCoreDumps();

} // namespace korimbo
