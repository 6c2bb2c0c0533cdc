// The data-file locator.
#include "platform/DataFiles.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace ixoral {

namespace fs = std::filesystem;

namespace {

std::vector<std::string> CandidatesForThisProcess() {
  const char* variable = std::getenv(kDataDirVariable);
#ifdef IXORAL_SOURCE_DATA_DIR
  const std::string source = IXORAL_SOURCE_DATA_DIR;
#else
  const std::string source;
#endif
  return DataFolderCandidates(ExecutablePath(), variable ? variable : "", source);
}

}  // namespace

std::vector<std::string> DataFolderCandidates(const std::string& executablePath, const std::string& variable,
                                              const std::string& sourceDataFolder) {
  std::vector<std::string> folders;
  if (!variable.empty()) folders.push_back(variable);
  if (!executablePath.empty())
    folders.push_back(
        (fs::path(executablePath).parent_path().parent_path() / "share" / "ixoral").lexically_normal().string());
  if (!sourceDataFolder.empty()) folders.push_back(sourceDataFolder);
  return folders;
}

std::vector<std::string> DataFolders() { return CandidatesForThisProcess(); }

std::string XdgUserFolder(const char* variable, const char* underHome) {
  if (const char* v = std::getenv(variable); v && v[0] == '/') return v;
  if (const char* home = std::getenv("HOME"); home && home[0]) return std::string(home) + underHome;
  return "/tmp";
}

std::string ExecutablePath() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : exe.string();
}

std::string DataFolder() {
  std::error_code ec;
  for (const auto& folder : CandidatesForThisProcess())
    if (fs::is_directory(folder, ec)) return folder;
  return {};
}

std::string FindDataFile(const std::string& relative) {
  // Names that climb out of the data folder are not data files.
  const fs::path rel = fs::path(relative).lexically_normal();
  if (relative.empty() || rel.is_absolute() || (!rel.empty() && *rel.begin() == "..")) return {};
  std::error_code ec;
  for (const auto& folder : CandidatesForThisProcess()) {
    const fs::path candidate = fs::path(folder) / rel;
    if (fs::exists(candidate, ec)) return candidate.string();
  }
  return {};
}

}  // namespace ixoral
