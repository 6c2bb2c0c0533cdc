// The settings store file: an INI-like text whose sections are key paths and whose entries are
// percent-escaped "name=value" lines, rewritten whole and atomically on every change.
#include "platform/Settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

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

void TSettingsStore::Tell(const char* message, const std::error_code& failure) const {
  if (FOnFailure) FOnFailure(TError(message, ReasonOf(failure)));
}

TSettingsStore::TLoad TSettingsStore::Load(std::vector<TKey>& keys) const {
  keys.clear();
  std::error_code ec;
  const auto status = fs::status(FPath, ec);
  if (ec || !fs::exists(status)) return TLoad::Missing;
  if (!fs::is_regular_file(status)) return TLoad::Unreadable;
  const auto size = fs::file_size(FPath, ec);
  if (ec || size > kMaxFileSize) return TLoad::Unreadable;
  std::ifstream in(FPath, std::ios::binary);
  if (!in) return TLoad::Unreadable;
  std::string line;
  TKey* current = nullptr;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      const size_t close = line.rfind(']');
      current = nullptr;
      if (close == std::string::npos || close == 1) continue;  // damaged header: skip its values
      auto path = Unescape(line.substr(1, close - 1));
      if (!path) continue;
      const std::string folded = Fold(*path);
      for (auto& k : keys)
        if (k.Folded == folded) current = &k;
      if (!current) {
        keys.push_back({*path, folded, {}});
        current = &keys.back();
      }
      continue;
    }
    const size_t eq = line.find('=');
    if (!current || eq == std::string::npos || eq == 0) continue;
    auto name = Unescape(line.substr(0, eq));
    if (!name) continue;
    std::string raw = line.substr(eq + 1);
    bool replaced = false;
    for (auto& [n, v] : current->Values)
      if (n == *name) v = raw, replaced = true;
    if (!replaced) current->Values.emplace_back(*name, std::move(raw));
  }
  if (in.bad()) return TLoad::Unreadable;
  return TLoad::Ok;
}

bool TSettingsStore::Save(const std::vector<TKey>& keys, std::error_code& failure) const {
  std::ostringstream out;
  out << "; Ixoral settings: key paths in brackets, then name=value lines (percent-escaped)\n";
  for (const auto& k : keys) {
    if (k.Values.empty()) continue;
    out << '[' << Escape(k.Path, true) << "]\n";
    for (const auto& [n, v] : k.Values) out << Escape(n, true) << '=' << v << '\n';
  }
  const std::string text = out.str();

  const fs::path target(FPath);
  if (target.has_parent_path()) {
    fs::create_directories(target.parent_path(), failure);
    if (failure) return false;
  }
  return WriteFileAtomically(FPath, text, TFileMode::Private, &failure);
}

std::string TSettingsStore::ReadRootString(const std::string& keyPath, const std::string& name) {
  std::vector<TKey> keys;
  const TLoad load = Load(keys);
  if (load == TLoad::Missing) return {};
  if (load == TLoad::Unreadable) {
    Tell(kMsgReadFailed);
    return {};
  }
  const std::string folded = Fold(keyPath);
  for (const auto& k : keys) {
    if (k.Folded != folded) continue;
    for (const auto& [n, v] : k.Values) {
      if (n != name) continue;
      if (auto value = Unescape(v)) return *value;
      Tell(kMsgReadFailed);  // a value the program could not have written
      return {};
    }
  }
  return {};
}

void TSettingsStore::WriteRootValues(const std::string& keyPath,
                                     const std::vector<std::pair<std::string, std::string>>& values) {
  std::vector<TKey> keys;
  if (Load(keys) == TLoad::Unreadable) {  // never replace a store we could not read
    Tell(kMsgWriteFailed);
    return;
  }
  const std::string folded = Fold(keyPath);
  TKey* key = nullptr;
  for (auto& k : keys)
    if (k.Folded == folded) key = &k;
  if (!key) {
    keys.push_back({keyPath, folded, {}});
    key = &keys.back();
  }
  for (const auto& [name, text] : values) {
    const std::string raw = Escape(text, false);
    bool replaced = false;
    for (auto& [n, v] : key->Values)
      if (n == name) v = raw, replaced = true;
    if (!replaced) key->Values.emplace_back(name, raw);
  }
  if (std::error_code failure; !Save(keys, failure)) Tell(kMsgWriteFailed, failure);
}

std::string TSettingsStore::ReadString(const std::string& subKey, const std::string& name) {
  return ReadRootString(FullPath(subKey), name);
}

void TSettingsStore::WriteString(const std::string& subKey, const std::string& name, const std::string& text) {
  WriteRootValues(FullPath(subKey), {{name, text}});
}

void TSettingsStore::DeleteValue(const std::string& subKey, const std::string& name) {
  std::vector<TKey> keys;
  const TLoad load = Load(keys);
  if (load == TLoad::Missing) return;
  if (load == TLoad::Unreadable) {
    Tell(kMsgDeleteFailed);
    return;
  }
  const std::string folded = Fold(FullPath(subKey));
  for (auto& k : keys) {
    if (k.Folded != folded) continue;
    for (auto it = k.Values.begin(); it != k.Values.end(); ++it) {
      if (it->first != name) continue;
      k.Values.erase(it);
      if (std::error_code failure; !Save(keys, failure)) Tell(kMsgDeleteFailed, failure);
      return;
    }
  }
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
