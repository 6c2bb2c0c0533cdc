// Automatic recovery: while the scene has changes not saved, a copy of it is written now and then
// into the user's state folder, never over the user's own document, and removed when the scene
// is saved or the program closes normally. Each run owns its own copy, marked by a lock held for
// as long as the run lives: a copy whose lock is free was left by a run that did not close
// normally, and the next start offers it back.
#pragma once

#include <future>
#include <optional>
#include <string>
#include <vector>

#include "platform/Prompt.h"
#include "platform/Result.h"
#include "scene/Scene.h"

namespace ixoral {

inline constexpr const char* kMsgRecover =
    "Ixoral ne s'est pas fermé correctement. Voulez-vous récupérer la scène enregistrée automatiquement ?";
inline constexpr const char* kMsgRecoveryUnreadable =
    "La scène enregistrée automatiquement ne peut pas être lue ; elle est mise de côté sous le nom :\n";
inline constexpr const char* kMsgRecoveryFolder = "Le dossier de récupération automatique n'est pas utilisable : ";
inline constexpr const char* kMsgRecoveryWriteFailed = "La copie de récupération automatique n'a pu être écrite";
inline constexpr const char* kMsgRecoveryWritten = "La copie de récupération automatique est de nouveau écrite";
inline constexpr int kRecoveryIntervalMs = 120000;
// A change of at least this many objects is written at once.
inline constexpr int kRecoveryLargeChange = 10;
inline constexpr const char* kSetAsideSuffix = ".illisible";

// $XDG_STATE_HOME (default ~/.local/state) + "/Quillbeck/Ixoral/recovery".
std::string DefaultRecoveryFolder();

class TRecovery {
 public:
  // `run` names this run's files (the process id by default); a token drawn for each run is added,
  // so two runs never share a copy even when their process ids are the same.
  explicit TRecovery(std::string folder = DefaultRecoveryFolder(), long run = -1);
  ~TRecovery();
  TRecovery(const TRecovery&) = delete;
  TRecovery& operator=(const TRecovery&) = delete;

  // Makes the folder and takes this run's lock; false (with nothing written later) when the
  // folder cannot be used.
  bool Start();
  bool Started() const { return FLock >= 0; }
  const std::string& Folder() const { return FFolder; }
  // This run's recovery document.
  const std::string& DocumentPath() const { return FDocument; }

  // Recovery documents of runs that did not close normally (their lock is free), newest first.
  std::vector<std::string> LeftBehind() const;
  // Forgets a left-behind document: the file, its lock and its note of the original go.
  static void Remove(const std::string& document);
  // The document the scene of a recovery copy was last opened from or saved to (kept beside the
  // copy); empty when the scene had none or the note is unusable.
  static std::string OriginalDocument(const std::string& copy);
  // Keeps an unreadable left-behind document under another name, out of the way; returns it.
  static std::string SetAside(const std::string& document);

  // Writes the scene's copy: what it holds is taken now, the archive is written on a worker
  // thread and replaces the previous copy only once complete. While a write is running a new one
  // is not started (false). `wait` finishes it before returning (and answers its success).
  bool Write(TScene& scene, bool wait = false);
  // Waits for a running write.
  void WaitForWriter();
  // Whether the last finished write succeeded.
  bool LastWriteOk();
  // The outcome of the last write once it has finished, given once; nothing while it runs or
  // when it was already given.
  std::optional<TResult> TakeOutcome();
  // This run's copy goes (the scene was saved, or the program closes normally).
  void Discard();

 private:
  std::string FFolder;
  std::string FDocument;
  std::string FLockPath;
  int FLock = -1;
  std::future<TResult> FWriter;
  std::optional<TResult> FOutcome;  // finished, not yet taken
  bool FLastOk = true;
  // Collects the finished writer's outcome (waiting for it with `wait`).
  void Collect(bool wait);
};

}  // namespace ixoral
