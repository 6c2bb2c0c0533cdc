// Registration of the document type and the desktop entry for the current user.
#include "platform/DesktopIntegration.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/DataFiles.h"

extern char** environ;

namespace ixoral {

namespace fs = std::filesystem;

namespace {

std::string ReadWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// Writes `text` at `path` unless it already holds exactly that; true when written.
bool WriteIfDifferent(const fs::path& path, const std::string& text) {
  std::error_code ec;
  if (fs::is_regular_file(path, ec) && ReadWhole(path) == text) return false;
  fs::create_directories(path.parent_path(), ec);
  return WriteFileAtomically(path.string(), text);
}

// The first folder of $PATH holding an executable `name`.
std::string FindTool(const char* name) {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path ? path : "/usr/bin:/bin");
  for (std::string folder; std::getline(folders, folder, ':');) {
    if (folder.empty()) continue;
    std::string candidate = folder + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

bool RunTool(const std::string& tool, const std::string& argument) {
  std::vector<std::string> args{tool, argument};
  std::vector<char*> argv{args[0].data(), args[1].data(), nullptr};
  pid_t pid = 0;
  if (::posix_spawn(&pid, tool.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return false;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

std::string QuoteExecArgument(const std::string& path) {
  // Reserved characters make the argument quoted; inside quotes, '"', '`', '$' and '\' are
  // escaped with a backslash. A '%' is doubled in either case, as field codes use it.
  bool quote = false;
  for (const char c : path)
    if (std::string_view(" \t\n\"'\\><~|&;$*?#()`").find(c) != std::string_view::npos) quote = true;
  std::string out = quote ? "\"" : "";
  for (const char c : path) {
    if (c == '%') {
      out += "%%";
      continue;
    }
    if (quote && std::string_view("\"`$\\").find(c) != std::string_view::npos) out += '\\';
    out += c;
  }
  if (quote) out += '"';
  return out;
}

std::string DesktopEntryText(const std::string& executablePath) {
  // A desktop entry escapes backslashes once more in its string values.
  std::string exec;
  for (const char c : QuoteExecArgument(executablePath)) exec += c == '\\' ? std::string("\\\\") : std::string(1, c);
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Ixoral\n"
         "GenericName=Modeleur 3D\n"
         "Comment=Construire des scènes 3D de solides, de courbes et de textes en relief\n"
         "Icon=" +
         std::string(kDesktopId) +
         "\n"
         "Exec=" +
         exec +
         " %f\n"
         "Terminal=false\n"
         "MimeType=" +
         std::string(kDocumentMimeType) +
         ";\n"
         "Categories=Graphics;3DGraphics;\n"
         "NoDisplay=false\n";
}

std::string MimePackageText() {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
         "  <mime-type type=\"" +
         std::string(kDocumentMimeType) +
         "\">\n"
         "    <comment>Ixoral 3D scene</comment>\n"
         "    <comment xml:lang=\"fr\">Scène 3D Ixoral</comment>\n"
         "    <icon name=\"" +
         std::string(kDesktopId) +
         "\"/>\n"
         "    <glob pattern=\"*.ixr\"/>\n"
         "  </mime-type>\n"
         "</mime-info>\n";
}

std::string FindProgramIcon() {
  const std::string name = std::string(kDesktopId) + ".svg";
  std::error_code ec;
  for (const std::string& data : DataFolders()) {
    // Installed: <prefix>/share/ixoral beside <prefix>/share/icons; the source tree: data beside desktop.
    for (const fs::path& candidate : {fs::path(data).parent_path() / "icons/hicolor/scalable/apps" / name,
                                      fs::path(data).parent_path() / "desktop" / name})
      if (fs::is_regular_file(candidate, ec)) return candidate.string();
  }
  return {};
}

TDesktopRegistration RegisterDesktopIntegration(const std::string& executablePath, const std::string& dataHome,
                                                const std::string& iconSource, bool wait) {
  TDesktopRegistration r;
  if (executablePath.empty() || dataHome.empty() || dataHome[0] != '/') return r;
  const fs::path home(dataHome);
  const fs::path mime = home / "mime" / "packages" / (std::string(kDesktopId) + ".xml");
  const fs::path entry = home / "applications" / (std::string(kDesktopId) + ".desktop");
  r.MimePath = mime.string();
  r.EntryPath = entry.string();
  r.MimeWritten = WriteIfDifferent(mime, MimePackageText());
  r.EntryWritten = WriteIfDifferent(entry, DesktopEntryText(executablePath));
  std::error_code ec;
  if (!iconSource.empty() && fs::is_regular_file(iconSource, ec)) {
    const std::string icon = ReadWhole(iconSource);
    if (!icon.empty() && icon.size() < (1u << 20))
      r.IconWritten = WriteIfDifferent(home / "icons/hicolor/scalable/apps" / (std::string(kDesktopId) + ".svg"), icon);
  }
  // The two caches the desktop reads: the MIME types by pattern, and the programs by MIME type.
  std::vector<std::pair<std::string, std::string>> refreshes;
  const std::string mimeTool = r.MimeWritten ? FindTool("update-mime-database") : std::string();
  const std::string desktopTool = r.MimeWritten || r.EntryWritten ? FindTool("update-desktop-database") : std::string();
  if (!mimeTool.empty()) refreshes.emplace_back(mimeTool, (home / "mime").string());
  if (!desktopTool.empty()) refreshes.emplace_back(desktopTool, (home / "applications").string());
  if (refreshes.empty()) return r;
  if (!wait) {
    std::thread([refreshes] {
      for (const auto& [tool, folder] : refreshes) RunTool(tool, folder);
    }).detach();
    return r;
  }
  for (const auto& [tool, folder] : refreshes) {
    const bool ran = RunTool(tool, folder);
    (tool == mimeTool ? r.DatabaseUpdated : r.DesktopDatabaseUpdated) = ran;
  }
  return r;
}

}  // namespace ixoral
