// The per-user settings store: string values under sub-keys of "Software\Quillbeck\Ixoral", kept in
// one file under the XDG configuration folder in place of the registry.
//
// Key paths are compared without regard to case ("\options" and "\Options" are one key); value
// names are used as written. Every change rewrites the file atomically (temporary file in the same
// folder, flushed, then renamed), so a crash or a full disk never leaves a half-written store.
//
// The file is read once and kept in memory, and read again only when it has changed on disk (an
// other run of the program wrote it): a read is a look-up, however many keys the file holds. A
// file that cannot be read (too large, a folder in its place, refused) is told once, naming it,
// and the run goes on with the default values, keeping what it writes in memory and never
// replacing that file. A write that fails is told once for each cause, not at every change.
#pragma once

#include <sys/stat.h>

#include <functional>
#include <set>
#include <string>
#include <system_error>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/Result.h"

namespace ixoral {

inline constexpr const char* kSettingsBaseKey = "Software\\Quillbeck\\Ixoral";
inline constexpr const char* kMsgReadFailed = "Impossible de lire la valeur dans le registre";
inline constexpr const char* kMsgWriteFailed = "Impossible d'écrire la valeur dans le registre";
inline constexpr const char* kMsgDeleteFailed = "Impossible de supprimer la valeur dans le registre";
inline constexpr const char* kMsgSettingsUnreadable =
    "Impossible de lire les réglages, les valeurs par défaut sont utilisées : ";  // + the file's path

// Told of a failure of the store the moment it happens: one of the messages above, with the
// system's reason where it has one. The program shows it to the user.
using TSettingsFailureHandler = std::function<void(const TError&)>;

class TSettingsStore {
 public:
  // `filePath` is the store file; `onFailure` (may be empty: failures go untold) hears of the
  // reads, writes and deletes that failed, each cause once.
  explicit TSettingsStore(std::string filePath, TSettingsFailureHandler onFailure = {});

  // $XDG_CONFIG_HOME (default ~/.config) + "/Quillbeck/Ixoral/settings.ini".
  static std::string DefaultPath();

  // Sub-keys are appended to the base key as written, e.g. "\options" or "\Parametres\3".
  // A missing key or value reads as the empty text; a value the program could not have written
  // tells the read message (once for that value).
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
  // How many times the file was read anew: at the first use, then only after it changed on disk.
  size_t FileReads() const { return FFileReads; }

  // Bounds on what the store reads: a larger file is not a settings file the program wrote.
  static constexpr size_t kMaxFileSize = 4 << 20;

 private:
  struct TKey {
    std::string Path;                                         // as first written
    std::vector<std::pair<std::string, std::string>> Values;  // undecoded: decoded on read
    std::unordered_map<std::string, size_t> Index;            // value name -> place in Values
  };
  // What tells the file on disk from the one last read or written.
  struct TStamp {
    bool Exists = false;
    dev_t Device = 0;
    ino_t Inode = 0;
    off_t Size = 0;
    timespec Modified{};
    bool operator==(const TStamp& o) const;
  };
  static TStamp StampOf(const struct stat& st);

  // Reads the file again when it is not the one in memory. False when it cannot be used: the
  // run then goes on with what is in memory (defaults, and what it wrote since).
  bool Refresh();
  void Parse(const std::string& text);
  bool Save(std::error_code& failure);
  TKey& KeyAt(const std::string& keyPath);
  TKey* FindKey(const std::string& keyPath);
  static void SetValue(TKey& key, const std::string& name, std::string raw);
  static std::string Fold(const std::string& path);
  static std::string FullPath(const std::string& subKey);
  void Tell(const std::string& message, const std::error_code& failure = {}) const;
  void TellWriteFailure(const char* message, const std::error_code& failure);

  std::vector<TKey> FKeys;                         // in the file's order
  std::unordered_map<std::string, size_t> FIndex;  // folded key path -> place in FKeys
  TStamp FStamp;
  bool FRead = false;                  // FStamp describes the file FKeys came from
  bool FUnusable = false;              // that file could not be read: it is never replaced
  std::set<int> FToldUnusable;         // the causes already told of an unusable file
  std::error_code FToldWrite;          // the write failure last told, until a write succeeds
  std::set<std::string> FToldDamaged;  // values told as damaged ("folded key\nname")
  size_t FFileReads = 0;
  std::string FPath;
  TSettingsFailureHandler FOnFailure;
};

}  // namespace ixoral
