// The per-user settings store: string values under sub-keys of "Software\Quillbeck\Ixoral", kept in
// one file under the XDG configuration folder in place of the registry.
//
// Key paths are compared without regard to case ("\options" and "\Options" are one key); value
// names are used as written. Every change rewrites the file atomically (temporary file in the same
// folder, flushed, then renamed), so a crash or a full disk never leaves a half-written store.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/Prompt.h"

namespace ixoral {

inline constexpr const char* kSettingsBaseKey = "Software\\Quillbeck\\Ixoral";
inline constexpr const char* kMsgReadFailed = "Impossible de lire la valeur dans le registre";
inline constexpr const char* kMsgWriteFailed = "Impossible d'écrire la valeur dans le registre";
inline constexpr const char* kMsgDeleteFailed = "Impossible de supprimer la valeur dans le registre";

class TSettingsStore {
 public:
  // `filePath` is the store file; `prompt` (may be null) shows the three failure messages.
  TSettingsStore(std::string filePath, IPrompt* prompt);

  // $XDG_CONFIG_HOME (default ~/.config) + "/Quillbeck/Ixoral/settings.ini".
  static std::string DefaultPath();

  // Sub-keys are appended to the base key as written, e.g. "\options" or "\Parametres\3".
  // A missing key or value reads as the empty text; an unreadable one shows the read message.
  std::string ReadString(const std::string& subKey, const std::string& name);
  // Creates missing keys; shows the write message when the store cannot be written.
  void WriteString(const std::string& subKey, const std::string& name, const std::string& text);
  // A missing key or value is no error.
  void DeleteValue(const std::string& subKey, const std::string& name);

  // The per-user association of ".ixr" documents with the program, written at every start.
  void RegisterFileAssociation(const std::string& executablePath);

  // The same operations on paths relative to the root of the store rather than the base key.
  std::string ReadRootString(const std::string& keyPath, const std::string& name);
  void WriteRootValues(const std::string& keyPath,
                       const std::vector<std::pair<std::string, std::string>>& values);

  const std::string& FilePath() const { return FPath; }

  // Bounds on what the store reads: a larger file is not a settings file the program wrote.
  static constexpr size_t kMaxFileSize = 4 << 20;

 private:
  struct TKey {
    std::string Path;    // as first written
    std::string Folded;  // lower-cased, slashes collapsed: the comparison form
    std::vector<std::pair<std::string, std::string>> Values;  // undecoded: decoded on read
  };
  enum class TLoad { Ok, Missing, Unreadable };

  TLoad Load(std::vector<TKey>& keys) const;
  bool Save(const std::vector<TKey>& keys) const;
  static std::string Fold(const std::string& path);
  static std::string FullPath(const std::string& subKey);
  void ShowError(const char* message) const;

  std::string FPath;
  IPrompt* FPrompt;
};

}  // namespace ixoral
