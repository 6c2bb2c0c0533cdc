// Where the program finds the files it ships (sample scenes, the about box's scene, tips, the
// assistant's characters, help pages): the folder named by IXORAL_DATA_DIR, else share/ixoral
// beside the installed executable, else the data folder of the source tree the program was built
// from.
#pragma once

#include <string>
#include <vector>

namespace ixoral {

inline constexpr const char* kDataDirVariable = "IXORAL_DATA_DIR";

// The folders looked in, in order, for an executable at `executablePath`: the variable's folder
// (when `variable` is not empty), `<exe>/../share/ixoral`, then `sourceDataFolder` (when not
// empty).
std::vector<std::string> DataFolderCandidates(const std::string& executablePath, const std::string& variable,
                                              const std::string& sourceDataFolder);

// The candidate folders of this process, in the order they are looked in.
std::vector<std::string> DataFolders();

// The first candidate folder that exists, for this process; empty when none does.
std::string DataFolder();

// `relative` (for example "samples/reference.ixr") in the first candidate folder that holds it;
// empty when none does.
std::string FindDataFile(const std::string& relative);

// A per-user base folder of the XDG layout: the variable's value when it is an absolute path,
// else $HOME followed by `underHome` (for example "/.local/share"), else "/tmp".
std::string XdgUserFolder(const char* variable, const char* underHome);

// The path of the running executable, empty when it cannot be told.
std::string ExecutablePath();

}  // namespace ixoral
