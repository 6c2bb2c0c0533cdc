// The per-user settings store: string values under sub-keys of "Software\Quillbeck\Ixoral", kept in
// one file under the XDG configuration folder in place of the registry.
//
// Key paths are compared without regard to case ("\options" and "\Options" are one key); value
// names are used as written. Every change rewrites the file atomically (temporary file in the same
// folder, flushed, then renamed), so a crash or a full disk never leaves a half-written store.
#pragma once

#include <functional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/Result.h"

namespace ixoral {

inline constexpr const char* kSettingsBaseKey = "Software\\Quillbeck\\Ixoral";
inline constexpr const char* kMsgReadFailed = "Impossible de lire la valeur dans le registre";
inline constexpr const char* kMsgWriteFailed = "Impossible d'écrire la valeur dans le registre";
inline constexpr const char* kMsgDeleteFailed = "Impossible de supprimer la valeur dans le registre";

// Told of a failure of the store the moment it happens: one of the three messages above, with the
// system's reason when the file could not be written. The program shows it to the user.
using TSettingsFailureHandler = std::function<void(const TError&)>;

class TSettingsStore {
 public:
  // `filePath` is the store file; `onFailure` (may be empty: failures go untold) hears of every
  // read, write or delete that failed.
  explicit TSettingsStore(std::string filePath, TSettingsFailureHandler onFailure = {});

  // $XDG_CONFIG_HOME (default ~/.config) + "/Quillbeck/Ixoral/settings.ini".
  static std::string DefaultPath();

  // Sub-keys are appended to the base key as written, e.g. "\options" or "\Parametres\3".
  // A missing key or value reads as the empty text; an unreadable one tells the read message.
  std::string ReadString(const std::string& subKey, const std::string& name);
  // Creates missing keys; tells the write message when the store cannot be written.
  void WriteString(const std::string& subKey, const std::string& name, const std::string& text);
  // A missing key or value is no error.
  void DeleteValue(const std::string& subKey, const std::string& name);

  // The per-user association of ".ixr" documents with the program, written at every start.
  void RegisterFileAssociation(const std::string& executablePath);

  // The same operations on paths relative to the root of the store rather than the base key.
  std::string ReadRootString(const std::string& keyPath, const std::string& name);
  void WriteRootValues(const std::string& keyPath, const std::vector<std::pair<std::string, std::string>>& values);

  const std::string& FilePath() const { return FPath; }

  // Bounds on what the store reads: a larger file is not a settings file the program wrote.
  static constexpr size_t kMaxFileSize = 4 << 20;

 private:
  struct TKey {
    std::string Path;                                         // as first written
    std::string Folded;                                       // lower-cased, slashes collapsed: the comparison form
    std::vector<std::pair<std::string, std::string>> Values;  // undecoded: decoded on read
  };
  enum class TLoad { Ok, Missing, Unreadable };

  TLoad Load(std::vector<TKey>& keys) const;
  bool Save(const std::vector<TKey>& keys, std::error_code& failure) const;
  static std::string Fold(const std::string& path);
  static std::string FullPath(const std::string& subKey);
  void Tell(const char* message, const std::error_code& failure = {}) const;

  std::string FPath;
  TSettingsFailureHandler FOnFailure;
};

}  // namespace ixoral
