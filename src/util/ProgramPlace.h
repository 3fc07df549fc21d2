#pragma once

#include <QString>

namespace korimbo {

// Where the process was started from, as it sees it. A stick mounted without execute rights runs the
// program through the host's dynamic loader, so /proc/self/exe can name the loader instead of the program.
struct ProgramPlace {
    QString announced;  // the launcher's word: kProgramFolderVariable
    QString executable; // what /proc/self/exe names (empty when it cannot be read)
    QString argument0;  // argv[0]: the loader puts the program's path there
};

// The launcher's variable that names the program's folder.
inline constexpr char kProgramFolderVariable[] = "KORIMBO_PROGRAM_FOLDER";

// The folder that holds the file `programName`: the executable's folder when the executable is the program
// itself, else the launcher's word when that folder holds the program, else argv[0]'s folder when it names
// the program. Empty when none of them does: the loader's folder is never taken.
[[nodiscard]] QString ProgramFolderOf(const ProgramPlace& place, const QString& programName);

// The place of this process.
[[nodiscard]] ProgramPlace ThisProcessPlace(const char* argument0);

} // namespace korimbo
