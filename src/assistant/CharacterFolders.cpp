#include "assistant/CharacterFolders.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>

#include "platform/DataFiles.h"

namespace ixoral {

namespace fs = std::filesystem;

namespace {

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

bool IsMerlin(const std::string& name) {
  const std::string n = Lower(name);
  return n == "merlin.acs" || n == "merlinsfx.acs";
}

bool HasCharacterExtension(const std::string& name) {
  const size_t n = std::char_traits<char>::length(kCharacterExtension);
  return name.size() > n && Lower(name.substr(name.size() - n)) == kCharacterExtension;
}

}  // namespace

std::string UserCharacterFolder() { return XdgUserFolder("XDG_DATA_HOME", "/.local/share") + "/Ixoral/chars"; }

std::vector<std::string> CharacterFolders() {
  std::vector<std::string> out{UserCharacterFolder()};
  const std::string data = DataFolder();
  if (!data.empty()) out.push_back(data + "/chars");
  return out;
}

std::string ResolveCharacterPath(const std::string& name, const std::vector<std::string>& folders) {
  const std::string file = name.empty() ? std::string(kDefaultCharacterFile) : name;
  // A plain file name: the setting may not reach outside the character folders.
  if (file.find_first_of("/\\") != std::string::npos || file == "." || file == ".." ||
      file.find('\0') != std::string::npos)
    return {};
  for (const std::string& folder : folders) {
    std::error_code ec;
    const fs::path candidate = fs::path(folder) / file;
    if (fs::is_regular_file(candidate, ec)) return candidate.string();
  }
  return {};
}

std::string ResolveCharacterPath(const std::string& name) { return ResolveCharacterPath(name, CharacterFolders()); }

std::vector<std::string> CharacterCandidates(const std::string& name, const std::vector<std::string>& folders) {
  std::vector<std::string> out;
  for (const std::string& file :
       {name.empty() ? std::string(kDefaultCharacterFile) : name, std::string(kDefaultCharacterFile)})
    for (const std::string& folder : folders) {
      const std::string path = ResolveCharacterPath(file, {folder});
      if (!path.empty() && std::find(out.begin(), out.end(), path) == out.end()) out.push_back(path);
    }
  return out;
}

std::vector<std::string> CharacterCandidates(const std::string& name) {
  return CharacterCandidates(name, CharacterFolders());
}

std::vector<std::string> ChooseCharacterNames(const std::vector<std::string>& found) {
  std::vector<std::string> out;
  bool merlinTaken = false;
  for (const std::string& name : found) {
    if (std::find(out.begin(), out.end(), name) != out.end()) continue;
    if (!out.empty() && IsMerlin(name) && merlinTaken) continue;
    merlinTaken = merlinTaken || IsMerlin(name);
    out.push_back(name);
  }
  return out;
}

std::vector<TCharacterEntry> ListCharacters(const std::vector<std::string>& folders) {
  std::vector<std::string> found;
  std::map<std::string, std::string> paths;  // the first folder holding a name gives its file
  for (const std::string& folder : folders) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
      std::error_code typeError;
      if (!it->is_regular_file(typeError)) continue;
      const std::string name = it->path().filename().string();
      if (HasCharacterExtension(name)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
      found.push_back(name);
      paths.emplace(name, (fs::path(folder) / name).string());
    }
  }
  std::vector<TCharacterEntry> out;
  for (const std::string& name : ChooseCharacterNames(found)) out.push_back({name, paths[name]});
  return out;
}

}  // namespace ixoral
