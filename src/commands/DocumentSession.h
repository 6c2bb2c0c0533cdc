// The document the modeller works on: its scene's undo history, whether the scene differs from
// what was last opened or saved, opening a document without ever leaving the scene half read,
// and this run's recovery copy with the rules of when it is written.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "commands/History.h"
#include "commands/Recovery.h"
#include "document/SceneDocument.h"
#include "scene/Scene.h"

namespace ixoral {

// When this run's recovery copy is written: on the timer's tick while the scene holds changes
// that no copy has yet, and at once after a change of kRecoveryLargeChange objects or more
// since the last copy.
class TRecoverySchedule {
 public:
  bool DueOnTick(bool modified, uint64_t version) const { return modified && version != FVersion; }
  bool DueAfterChange(bool modified, uint64_t version, int objects) const {
    return DueOnTick(modified, version) &&
           (objects - FObjects >= kRecoveryLargeChange || FObjects - objects >= kRecoveryLargeChange);
  }
  // A copy of the scene as it is (version, object count) now exists, or none is needed.
  void Covered(uint64_t version, int objects) {
    FVersion = version;
    FObjects = objects;
  }

 private:
  uint64_t FVersion = 0;
  int FObjects = 0;
};

// A document read on a thread of its own into a scene of its own, while the thread that started
// it goes on with its events; that thread takes the scene in at the end (TDocumentSession's
// FinishOpen). The reader shares nothing with the user's scene: the meshes it keeps go through the
// mesh store's lock, the fonts of text solids through the glyph caches' lock, and the textures are
// loaded on the user's device only as the scene is taken in.
class TDocumentLoad {
 public:
  // Starts reading `path`; the views are the user's, kept where the document carries none.
  TDocumentLoad(std::string path, const std::array<TVue, 4>& views);
  ~TDocumentLoad();  // waits for the read
  TDocumentLoad(const TDocumentLoad&) = delete;
  TDocumentLoad& operator=(const TDocumentLoad&) = delete;

  const std::string& Path() const { return FPath; }
  // Whether the read has ended, waiting up to `wait` for it.
  bool Ended(std::chrono::milliseconds wait = std::chrono::milliseconds(0)) const;
  // The newest progress the reader reported since the last call, told to `progress` on the
  // calling thread (reports in between are dropped: only the newest is worth showing).
  void ForwardProgress(const TDocumentProgress& progress);
  // Once ended: how the read went, and the scene it filled.
  TResult Result();
  TScene& Loaded() { return FLoaded; }
  // The thread the reader ran on (set once it started).
  std::thread::id ReaderThread() const;

 private:
  std::string FPath;
  TScene FLoaded;
  std::future<TResult> FRead;
  mutable std::mutex FLock;  // what follows, written by the reader
  std::string FMessage;
  int FPercent = 0;
  uint64_t FReports = 0, FForwarded = 0;
  std::thread::id FReader;
};

class TDocumentSession {
 public:
  explicit TDocumentSession(TScene& scene) : FScene(scene) {}
  TDocumentSession(const TDocumentSession&) = delete;
  TDocumentSession& operator=(const TDocumentSession&) = delete;

  TScene& Scene() { return FScene; }
  THistory& History() { return FHistory; }
  const THistory& History() const { return FHistory; }

  // Whether the scene changed since it was last saved, opened or made new.
  bool Modified() const { return FHistory.State() != FSavedState; }
  // The scene now counts as saved (or, with false, as changed: a recovered scene).
  void MarkSaved(bool saved = true) { FSavedState = saved ? FHistory.State() : ~uint64_t{0}; }

  // Reads the document at `path` into a scene of its own. Only a document read whole replaces
  // what the scene holds, and only once `mayReplace` agrees (the save question); until then the
  // scene, its history and its file name are untouched. Succeeds when the scene now holds the
  // document; fails with the reader's message for a document refused, and with nothing to tell
  // when `mayReplace` said no.
  TResult Open(const std::string& path, const std::function<bool()>& mayReplace,
               const TDocumentProgress& progress = {});
  // Open in two halves, for a caller that keeps its events turning while the document is read:
  // StartOpen begins the read on a thread of its own (false while another is under way), and
  // FinishOpen, once Load()->Ended(), does what Open does after the read. Until then nothing of
  // the session or its scene changes.
  bool StartOpen(const std::string& path);
  bool Loading() const { return FLoad != nullptr; }
  TDocumentLoad* Load() { return FLoad.get(); }
  TResult FinishOpen(const std::function<bool()>& mayReplace);

  // --- this run's recovery copy ---
  // The session writes this run's copy from now on (null: none, the folder being unusable).
  void AttachRecovery(std::unique_ptr<TRecovery> recovery);
  TRecovery* Recovery() { return FRecovery.get(); }
  // The timer's tick (`tick`) or a change just made: writes the copy when it is due. False when
  // nothing was due or a write could not start.
  bool WriteRecoveryIfDue(bool tick);
  // Told when this run's copies stop being written (with the reason) and when they are written
  // again (null): once each time, however many writes fail meanwhile. Failed writes are tried
  // again at the next tick.
  std::function<void(const TError* trouble)> OnRecoveryTrouble;
  // Saved, opened or new: a scene with nothing unsaved needs no copy.
  void Settled();
  // A copy of the scene as it is now was just written (a recovered scene's own).
  void CopyWritten() { FSchedule.Covered(FHistory.Version(), FScene.ObjectCount()); }
  // A normal end: this run's copy goes.
  void Close();

 private:
  TScene& FScene;
  std::unique_ptr<TDocumentLoad> FLoad;
  THistory FHistory;
  uint64_t FSavedState = 0;
  std::unique_ptr<TRecovery> FRecovery;
  TRecoverySchedule FSchedule;
  bool FRecoveryFailing = false;
  // Hears how the last write ended, and tells of a change between failing and writing.
  void CheckLastWrite();
};

}  // namespace ixoral
