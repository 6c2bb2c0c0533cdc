// Working folders of one run of the program under the system's temporary folder (POV-Ray renders
// in one). A run removes its folder when done; a run killed outright cannot, so each folder holds
// a lock its run keeps as long as the folder lives. The system drops the lock with the process,
// whatever ends it, and a later start removes the folders whose lock nobody holds.
#pragma once

#include <string>

namespace ixoral {

// The file inside a run folder whose lock the run holds.
inline constexpr const char* kRunFolderLock = ".ixoral-run";

class TRunFolder {
 public:
  TRunFolder() = default;
  ~TRunFolder() { Remove(); }
  TRunFolder(const TRunFolder&) = delete;
  TRunFolder& operator=(const TRunFolder&) = delete;

  // Makes "ixoral-<label>-XXXXXX", a folder only this user can enter (mode 0700), under `base`
  // (default: the system's temporary folder), and takes its lock. False when it cannot.
  bool Create(const std::string& label, const std::string& base = {});
  // Removes the folder with its content and lets go of the lock; nothing when there is none.
  void Remove();
  // The folder ("" before Create and after Remove).
  const std::string& Path() const { return FPath; }

 private:
  std::string FPath;
  int FLock = -1;
};

// Removes from `base` (default: the system's temporary folder) the folders of `label` that runs
// of this user left behind: their lock is held by no living run, or, made before runs took locks,
// they have not changed for a day. A folder of a live run, someone else's folder, and anything
// that is not a plain folder are left alone. Answers how many were removed.
int RemoveAbandonedRunFolders(const std::string& label, const std::string& base = {});

// Folders that runs share and clear by turns (each document's extracted textures): a run using one
// holds it until the run ends, with a shared lock on a file inside it, and a run clearing old ones
// removes only those nobody holds, the run itself included.
inline constexpr const char* kFolderInUseLock = ".ixoral-in-use";
// Makes `folder` if needed and holds it for the rest of this run; holding it again costs nothing.
// False when it cannot be made or locked.
bool HoldFolderInUse(const std::string& folder);
// Removes `folder` with its content unless a run holds it; answers whether it went.
bool RemoveFolderUnlessInUse(const std::string& folder);

}  // namespace ixoral
