// Finding a help page and saying why it cannot be shown.
#include "commands/Help.h"

#include <filesystem>

#include "platform/DataFiles.h"

namespace ixoral {

namespace fs = std::filesystem;

namespace {

bool IsPlainFileName(const std::string& page) {
  return !page.empty() && page.find('/') == std::string::npos && page != "." && page != "..";
}

}  // namespace

std::string HelpPagePath(const std::string& page) { return HelpPagePathIn(FindDataFile(kHelpFolder), page); }

std::string HelpPagePathIn(const std::string& folder, const std::string& page) {
  if (folder.empty()) return {};
  std::error_code ec;
  if (IsPlainFileName(page)) {
    const fs::path wanted = fs::path(folder) / page;
    if (fs::is_regular_file(wanted, ec)) return wanted.string();
  }
  const fs::path index = fs::path(folder) / kHelpIndex;
  return fs::is_regular_file(index, ec) ? index.string() : std::string{};
}

bool OpenHelp(const std::string& page, IPrompt& prompt,
              const std::function<bool(const std::string& path)>& openInBrowser,
              const std::optional<std::string>& folder) {
  const std::string path = folder ? HelpPagePathIn(*folder, page) : HelpPagePath(page);
  if (path.empty()) {
    std::string searched;
    if (folder && !folder->empty()) searched += "  " + *folder + "\n";
    if (!folder)
      for (const std::string& f : DataFolders()) searched += "  " + (fs::path(f) / kHelpFolder).string() + "\n";
    prompt.Error(kMsgHelpMissing + searched);
    return false;
  }
  if (openInBrowser && openInBrowser(path)) return true;
  prompt.Error(kMsgHelpNoBrowser + path);
  return false;
}

}  // namespace ixoral
