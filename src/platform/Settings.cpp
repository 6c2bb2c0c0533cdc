// The settings store file: an INI-like text whose sections are key paths and whose entries are
// percent-escaped "name=value" lines, rewritten whole and atomically on every change, and kept in
// memory between changes, indexed by folded key path and value name.
#include "platform/Settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "platform/AtomicFile.h"
#include "platform/DataFiles.h"
#include "platform/DesktopIntegration.h"
#include "platform/Encoding.h"

namespace ixoral {
namespace fs = std::filesystem;

namespace {

// Escapes '%', control characters and, where they would be read as syntax, '=' '[' ']' ';'.
std::string Escape(const std::string& s, bool isName) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    const bool special = c < 0x20 || c == 0x7F || c == '%' || (isName && c == '=') || (c == ']' && isName) ||
                         (i == 0 && (c == '[' || c == ';'));
    if (special) {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::optional<std::string> Unescape(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '%') {
      if (static_cast<unsigned char>(s[i]) < 0x20) return std::nullopt;
      out += s[i];
      continue;
    }
    if (i + 2 >= s.size()) return std::nullopt;
    const int hi = hex(s[i + 1]), lo = hex(s[i + 2]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  if (!IsValidUtf8(out)) return std::nullopt;
  return out;
}

}  // namespace

TSettingsStore::TSettingsStore(std::string filePath, TSettingsFailureHandler onFailure)
    : FPath(std::move(filePath)), FOnFailure(std::move(onFailure)) {}

std::string TSettingsStore::DefaultPath() {
  return XdgUserFolder("XDG_CONFIG_HOME", "/.config") + "/Quillbeck/Ixoral/settings.ini";
}

std::string TSettingsStore::Fold(const std::string& path) {
  std::string out;
  for (char c : AsciiLower(path)) {
    if (c == '\\' && (out.empty() || out.back() == '\\')) continue;
    out += c;
  }
  while (!out.empty() && out.back() == '\\') out.pop_back();
  return out;
}

std::string TSettingsStore::FullPath(const std::string& subKey) {
  std::string path = kSettingsBaseKey;
  if (!subKey.empty() && subKey[0] != '\\') path += '\\';
  return path + subKey;
}

void TSettingsStore::Tell(const std::string& message, const std::error_code& failure) const {
  if (FOnFailure) FOnFailure(TError(message, ReasonOf(failure)));
}

void TSettingsStore::TellWriteFailure(const char* message, const std::error_code& failure) {
  const std::error_code cause = failure ? failure : std::make_error_code(std::errc::io_error);
  if (cause == FToldWrite) return;  // the user knows already: the same cause fails every write
  FToldWrite = cause;
  Tell(message, cause);
}

bool TSettingsStore::TStamp::operator==(const TStamp& o) const {
  return Exists == o.Exists && Device == o.Device && Inode == o.Inode && Size == o.Size &&
         Modified.tv_sec == o.Modified.tv_sec && Modified.tv_nsec == o.Modified.tv_nsec;
}

TSettingsStore::TStamp TSettingsStore::StampOf(const struct stat& st) {
  TStamp stamp;
  stamp.Exists = true;
  stamp.Device = st.st_dev;
  stamp.Inode = st.st_ino;
  stamp.Size = st.st_size;
  stamp.Modified = st.st_mtim;
  return stamp;
}

namespace {

// Whether a failure to reach the file means only that there is no store yet.
bool NoStoreYet(int error) { return error == ENOENT || error == ENOTDIR; }

}  // namespace

bool TSettingsStore::Refresh() {
  struct stat st {};
  TStamp now;
  if (::stat(FPath.c_str(), &st) == 0) now = StampOf(st);
  if (FRead && now == FStamp) return !FUnusable;

  // 0, or why the file cannot be the store: it is then neither read nor ever replaced.
  int cause = 0;
  std::string text;
  bool exists = true;
  const int fd = ::open(FPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ++FFileReads;
  if (fd < 0) {
    cause = errno;
    exists = false;
  } else if (::fstat(fd, &st) != 0) {
    cause = errno;
  } else {
    now = StampOf(st);
    if (S_ISDIR(st.st_mode))
      cause = EISDIR;
    else if (!S_ISREG(st.st_mode))
      cause = EINVAL;
    else if (static_cast<uintmax_t>(st.st_size) > kMaxFileSize)
      cause = EFBIG;
    // Read to the end, whatever the size said: the file may grow meanwhile, never past the bound.
    char buffer[65536];
    while (!cause) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) cause = errno;
      if (n <= 0) break;
      text.append(buffer, static_cast<size_t>(n));
      if (text.size() > kMaxFileSize) cause = EFBIG;
    }
  }
  if (fd >= 0) ::close(fd);
  FRead = true;
  if (!exists && NoStoreYet(cause)) {
    FStamp = {};
    FKeys.clear();
    FIndex.clear();
    FUnusable = false;
    return true;
  }
  FStamp = now;
  if (cause) {
    // What the run wrote so far stays in memory; the file is told once for each cause.
    FUnusable = true;
    if (FToldUnusable.insert(cause).second)
      Tell(kMsgSettingsUnreadable + FPath, std::error_code(cause, std::generic_category()));
    return false;
  }
  FUnusable = false;
  Parse(text);
  return true;
}

void TSettingsStore::SetValue(TKey& key, const std::string& name, std::string raw) {
  const auto [at, added] = key.Index.emplace(name, key.Values.size());
  if (added)
    key.Values.emplace_back(name, std::move(raw));
  else
    key.Values[at->second].second = std::move(raw);
}

TSettingsStore::TKey* TSettingsStore::FindKey(const std::string& keyPath) {
  const auto at = FIndex.find(Fold(keyPath));
  return at == FIndex.end() ? nullptr : &FKeys[at->second];
}

TSettingsStore::TKey& TSettingsStore::KeyAt(const std::string& keyPath) {
  const auto [at, added] = FIndex.emplace(Fold(keyPath), FKeys.size());
  if (added) FKeys.push_back({keyPath, {}, {}});
  return FKeys[at->second];
}

void TSettingsStore::Parse(const std::string& text) {
  FKeys.clear();
  FIndex.clear();
  TKey* current = nullptr;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      const size_t close = line.rfind(']');
      current = nullptr;
      if (close == std::string::npos || close == 1) continue;  // damaged header: skip its values
      if (auto path = Unescape(line.substr(1, close - 1))) current = &KeyAt(*path);
      continue;
    }
    const size_t eq = line.find('=');
    if (!current || eq == std::string::npos || eq == 0) continue;
    if (auto name = Unescape(line.substr(0, eq))) SetValue(*current, *name, line.substr(eq + 1));
  }
}

bool TSettingsStore::Save(std::error_code& failure) {
  std::string text = "; Ixoral settings: key paths in brackets, then name=value lines (percent-escaped)\n";
  for (const auto& k : FKeys) {
    if (k.Values.empty()) continue;
    text += '[' + Escape(k.Path, true) + "]\n";
    for (const auto& [n, v] : k.Values) text += Escape(n, true) + '=' + v + '\n';
  }
  const fs::path target(FPath);
  if (target.has_parent_path()) {
    fs::create_directories(target.parent_path(), failure);
    if (failure) return false;
  }
  if (!WriteFileAtomically(FPath, text, TFileMode::Private, &failure)) return false;
  // What is on disk is now what is in memory: no need to read it back.
  struct stat st {};
  FRead = ::stat(FPath.c_str(), &st) == 0;
  if (FRead) FStamp = StampOf(st);
  return true;
}

std::string TSettingsStore::ReadRootString(const std::string& keyPath, const std::string& name) {
  Refresh();  // an unusable file leaves the defaults and what this run wrote
  const TKey* key = FindKey(keyPath);
  if (!key) return {};
  const auto at = key->Index.find(name);
  if (at == key->Index.end()) return {};
  if (auto value = Unescape(key->Values[at->second].second)) return *value;
  // A value the program could not have written: told once, then read as missing.
  if (FToldDamaged.insert(Fold(keyPath) + '\n' + name).second) Tell(kMsgReadFailed);
  return {};
}

void TSettingsStore::WriteRootValues(const std::string& keyPath,
                                     const std::vector<std::pair<std::string, std::string>>& values) {
  const bool usable = Refresh();
  TKey& key = KeyAt(keyPath);
  for (const auto& [name, text] : values) SetValue(key, name, Escape(text, false));
  if (!usable) return;  // never replace a store we could not read; that was told already
  if (std::error_code failure; !Save(failure))
    TellWriteFailure(kMsgWriteFailed, failure);
  else
    FToldWrite.clear();
}

std::string TSettingsStore::ReadString(const std::string& subKey, const std::string& name) {
  return ReadRootString(FullPath(subKey), name);
}

void TSettingsStore::WriteString(const std::string& subKey, const std::string& name, const std::string& text) {
  WriteRootValues(FullPath(subKey), {{name, text}});
}

void TSettingsStore::DeleteValue(const std::string& subKey, const std::string& name) {
  const bool usable = Refresh();
  TKey* key = FindKey(FullPath(subKey));
  if (!key) return;
  const auto at = key->Index.find(name);
  if (at == key->Index.end()) return;
  key->Values.erase(key->Values.begin() + static_cast<std::ptrdiff_t>(at->second));
  key->Index.clear();
  for (size_t i = 0; i < key->Values.size(); ++i) key->Index.emplace(key->Values[i].first, i);
  if (!usable) return;
  if (std::error_code failure; !Save(failure))
    TellWriteFailure(kMsgDeleteFailed, failure);
  else
    FToldWrite.clear();
}

void TSettingsStore::RegisterFileAssociation(const std::string& executablePath) {
  const std::string exe = fs::path(executablePath).filename().string();
  const std::string ext = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.ixr";
  WriteRootValues(ext, {{"Application", exe}});
  WriteRootValues(ext + "\\OpenWithList", {{"a", exe}, {"b", "Ide.exe"}, {"MRUList", "ab"}});
  WriteRootValues("\\Ixoralfile\\shell\\Open\\command", {{"command", executablePath + " %1"}});
  // The desktop's own association: the document type and an entry that opens it with this program.
  RegisterDesktopIntegration(executablePath, XdgUserFolder("XDG_DATA_HOME", "/.local/share"), FindProgramIcon());
}

}  // namespace ixoral
