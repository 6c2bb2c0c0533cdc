// Where the assistant's characters are found: the user's own folder first, then the folder the
// program ships them in; which file a "MsAgent" setting names; and the list the character chooser
// offers.
#pragma once

#include <string>
#include <vector>

namespace ixoral {

inline constexpr const char* kCharacterExtension = ".acs";
inline constexpr const char* kDefaultCharacterFile = "merlin.acs";

// The user's characters: $XDG_DATA_HOME (or ~/.local/share) + "/Ixoral/chars".
std::string UserCharacterFolder();
// The user's folder, then the installed data folder's "chars".
std::vector<std::string> CharacterFolders();

// The file a setting's character name stands for: the name (empty means "merlin.acs") in the
// first of `folders` that holds it. Empty for a name that would leave the folder (absolute, with
// "..", or through a folder) and for one no folder holds.
std::string ResolveCharacterPath(const std::string& name, const std::vector<std::string>& folders);
std::string ResolveCharacterPath(const std::string& name);

// Every file the setting's character name may be read from, in the order to try them: the name in
// each of `folders` that holds it, then the default character ("merlin.acs") of the folders. A
// broken character in the user's folder then gives way to the one shipped with the program.
std::vector<std::string> CharacterCandidates(const std::string& name, const std::vector<std::string>& folders);
std::vector<std::string> CharacterCandidates(const std::string& name);

// The chooser's rule over file names in the order they were found: the first is always taken; a
// later "merlin.acs" or "merlinsfx.acs" only while neither of the two is taken yet; a name already
// taken is not taken again.
std::vector<std::string> ChooseCharacterNames(const std::vector<std::string>& found);

struct TCharacterEntry {
  std::string Name;  // the file name, as the setting keeps it
  std::string Path;
};

// The character files (regular files named "*.acs", in name order within a folder) of `folders`
// taken in order, under the chooser's rule.
std::vector<TCharacterEntry> ListCharacters(const std::vector<std::string>& folders);

}  // namespace ixoral
