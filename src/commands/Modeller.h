// What the modeller's main window does, without any window toolkit: the insert commands with
// their running numbers, the edit commands (cut, copy, paste, clone, delete, rename), association,
// selection from the browser, the file commands (new, open, recent files, save, save as) and the
// question asked before the window closes. Every scene change the window makes goes through here,
// so tests and the batch tool drive exactly what the window drives; the window shows what the
// scene's change notifications say.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <type_traits>
#include <string>

#include "commands/Properties.h"
#include "commands/DocumentSession.h"
#include "commands/History.h"
#include "commands/Recovery.h"
#include "commands/ToolDialogs.h"
#include "platform/Clipboard.h"
#include "platform/Prompt.h"
#include "platform/Settings.h"
#include "render/ViewInteraction.h"
#include "scene/Scene.h"

namespace ixoral {

inline constexpr const char* kCaption = "IXORAL";
inline constexpr const char* kMsgCutLinked = "Le couper d'objet liés n'est pas supporté";
inline constexpr const char* kMsgCopyLinked = "Le copier d'objets liés n'est pas supporté";
inline constexpr const char* kMsgCloneLinked = "Le cloner d'objets liés n'est pas supporté";
inline constexpr const char* kMsgDeleteQuestion = "Voulez-vous réelement supprimer ";
inline constexpr const char* kMsgDeleteGroup = " et tous ses objets associés";
inline constexpr const char* kMsgNameExists = "Le nom existe déjà, entrez un autre nom";
inline constexpr const char* kMsgNameRefused = "Le nom existe déjà ou est incorrect, entrez un autre nom";
inline constexpr const char* kMsgAssociationFailed = "L'association à échouée";
inline constexpr const char* kMsgAssociateTwo = "Sélectionnez au moins deux objets pour pouvoir les associer";
inline constexpr const char* kMsgInitFailed =
    "Erreur lors de l'initialisation :\nModifiez les paramètres d'affichage dans la boite options";
inline constexpr const char* kMsgNoDocument = "Le fichier n'existe pas : ";
inline constexpr const char* kMsgSaveChanges = "Voulez-vous enregister les modifications dans la scene ?";
inline constexpr const char* kFilterOpen = "Ixoral (*.ixr)|*.ixr|Tous (*.*)|*.*";
inline constexpr const char* kFilterSave =
    "Ixoral (*.ixr)|*.ixr|Fichiers Pov (*.pov)|*.pov|Image Bitmap (*.bmp)|*.bmp|Image Jpeg (*.jpg)|*.jpg";

// The twelve insert commands, in the order of the "&Inserer" menu.
enum class TInsertCommand {
  Cube,
  CubePerce,
  Sphere,
  Cylindre,
  Cone,
  Pyramide,
  Tore,
  Parametrique,
  Cercle,
  ParoiV,
  ParoiH,
  Texte3D
};
inline constexpr int kInsertCommandCount = 12;

struct TInsertCommandInfo {
  TInsertCommand Command;
  const char* Caption;   // menu item, with its mnemonic
  const char* BaseName;  // followed by the command's running number ("" for the 3D text)
  const char* Keyword;   // the batch tool's word for it
  const char* Hint;      // the insert button's hint once it repeats this command
  const char* Icon;      // the picture's name among the program's icons
};
const std::array<TInsertCommandInfo, kInsertCommandCount>& InsertCommands();
const TInsertCommandInfo& InsertCommandInfo(TInsertCommand command);
const TInsertCommandInfo* FindInsertCommand(const std::string& keyword);

inline constexpr const char* kFilterImport =
    "Maillages (*.stl *.obj *.gltf *.glb *.ply)|*.stl;*.obj;*.gltf;*.glb;*.ply|STL (*.stl)|*.stl|Wavefront OBJ "
    "(*.obj)|*.obj|glTF (*.gltf *.glb)|*.gltf;*.glb|PLY (*.ply)|*.ply";
inline constexpr const char* kFilterExport =
    "glTF binaire (*.glb)|*.glb|Wavefront OBJ (*.obj)|*.obj|STL binaire (*.stl)|*.stl";

// Save-as file types, as the save dialog's filter lists them.
enum class TSaveType { Document = 1, PovRay = 2, Bitmap = 3, Jpeg = 4 };

struct TChosenFile {
  std::string Path;
  TSaveType Type = TSaveType::Document;
  // The chooser already asked the user whether to replace this very file (the desktop's own
  // question): no second question.
  bool ReplaceConfirmed = false;
};

struct TResolutionChoice {
  bool KeepCurrentSize = false;
  int Resolution = 2;  // index among the export resolutions
};

// The file dialogs the commands need; the window implements them with its toolkit, tests script
// them. Each answers nothing when the user cancels.
class IFileChooser {
 public:
  virtual ~IFileChooser() = default;
  virtual std::optional<std::string> ChooseDocumentToOpen() = 0;
  virtual std::optional<TChosenFile> ChooseFileToSave() = 0;
  virtual std::optional<TResolutionChoice> ChooseResolution() = 0;
  // The file an export writes (its extension names the format, kFilterExport).
  virtual std::optional<std::string> ChooseExportFile() { return std::nullopt; }
  // The mesh files to import (kFilterImport); none when the user cancels.
  virtual std::vector<std::string> ChooseMeshFiles() { return {}; }
  // Told before each dialog the folder of the document being edited, where that dialog starts
  // (empty for a scene never saved: it starts where the last one was left).
  virtual void StartIn(const std::string& folder) { (void)folder; }
};

// Whether the clipboard's text is an object record ("SolidObject;" or "LightObject;").
bool ClipboardHoldsObject(IClipboard& clipboard);

class TModeller {
 public:
  // `renderer` and `interaction` may be null (the batch tool): picture exports then fail and the
  // active view is 0.
  TModeller(TScene& scene, IPrompt& prompt, IClipboard& clipboard, TSettingsStore* settings, IFileChooser* files,
            TSceneRenderer* renderer = nullptr, TViewInteraction* interaction = nullptr);
  TModeller(const TModeller&) = delete;
  TModeller& operator=(const TModeller&) = delete;
  ~TModeller();

  TScene& Scene() { return FScene; }
  int ActiveView() const;

  // --- inserts ---
  // Creates the object in opaque white, adds it under its base name and running number, selects
  // it (with its group) and redraws. Returns its index.
  int Insert(TInsertCommand command);
  TInsertCommand LastInsert() const { return FLastInsert; }
  int InsertCounter(TInsertCommand command) const { return FCounters[static_cast<size_t>(command)]; }

  // --- selection from the browser: `object` is the node's object, -1 for a fixed node ---
  void SelectFromBrowser(int object);

  // --- edit commands on the object of the browser's selected node (-1: none) ---
  bool Cut(int object);
  bool Copy(int object);
  // The pasted object's index, or -1. A texture the record names is kept only when it is one of
  // PastableTextures(); otherwise the object comes untextured and the user is told.
  int Paste();
  // The pictures a paste may keep as textures: those extracted from documents and those chosen
  // in the texture dialog (ApplyToolResult adds them) during this run.
  TPastableTextures& PastableTextures() { return FPastable; }
  bool Delete(int object);
  // The clone's index, or -1.
  int Clone(int object);
  // The rename dialog's answer for the current object.
  bool Rename(int object, const std::string& newName);
  // The end of an in-place edit of a node's text; false (the text goes back) when refused.
  bool RenameFromBrowser(int object, const std::string& text);

  struct TEditMenuState {
    bool ObjectCommands = false;  // cut, copy, delete, clone, rename
    bool Paste = false;
  };
  TEditMenuState EditMenuState();

  // --- association ---
  // Whether a node may be dropped onto another: `target` names a solid other than `dragged`,
  // or is "Objets" (targetIsObjects).
  bool CanDrop(int dragged, int target, bool targetIsObjects) const;
  bool Drop(int dragged, int target, bool targetIsObjects);
  bool Associate();
  bool Dissociate(int object);

  // --- property inspector ---
  // The edited fields of the inspector applied to `object` as one change of the scene.
  TPropertyApplyResult ApplyProperties(int object, const TPropertyEdits& edits);
  // A "valider" button: the three texts of "vectdir" or "vecthaut" applied to `object`.
  bool ValidateVector(int object, const std::string& key, const std::array<std::string, 3>& texts);

  // --- tool dialogs ---
  // What a tool dialog's "&OK" brings back from its preview scene (a copy of this scene, the
  // objects at the same indices).
  enum class TToolResult {
    WholeObject,  // noise, torsion: the preview object's whole state (mesh, records, placement)
    HandEdits,    // envelope, point editor: the recorded vertices merged, nothing else
    Texture,      // the picture `textureFile` becomes the object's texture
  };
  // The "&OK" of a tool dialog: the result copied into solid `object` as one change of the scene
  // (one notification, one redraw). False, the object untouched, when there is nothing to bring
  // back or the picture cannot be read (its decoder's message is shown).
  // The target names the object by identity: one deleted since the dialog opened is refused.
  bool ApplyToolResult(const TToolTarget& target, TScene& preview, TToolResult kind,
                       const std::string& textureFile = {});
  bool ApplyToolResult(int object, TScene& preview, TToolResult kind, const std::string& textureFile = {}) {
    return ApplyToolResult(ToolTargetAt(FScene, object), preview, kind, textureFile);
  }

  // --- views ---
  void ResetPosition();  // "Position initiale" on the active view
  // "Cadrer la sélection" and "Tout cadrer": the active view (and its companions) framed on the
  // selected objects, or on every shown object; nothing happens when there is nothing to frame.
  void FrameSelection();
  void FrameAll();

  // --- files ---
  std::string Caption() const;
  bool New();
  bool Open();
  // Opens the document at `path` (recent files, the command line). A document that cannot be
  // read is reported and leaves the scene as it was.
  bool OpenPath(const std::string& path);
  bool OpenRecent(int position);  // 1 ... 5
  // Files dropped on the window: one ".ixr" document (in any case) that exists is opened as
  // "Ouvrir" would (with the save question); mesh files that exist are imported as "Importer"
  // would; anything else is not taken. `Accepts` answers
  // while the files are dragged over the window.
  static bool AcceptsDroppedFiles(const std::vector<std::string>& paths);
  bool OpenDroppedFiles(const std::vector<std::string>& paths);
  bool Save();
  bool SaveAs();
  // Asked to save before the scene is cleared or replaced: saves (asking for a file when the
  // scene has none); answers whether the scene was saved.
  bool SaveBeforeClear();
  // "Exporter": the visible solids and lights, or with `selectionOnly` the selected objects, to
  // the file chosen, in the format its extension names (glTF binary, OBJ, STL).
  bool ExportModelFile(bool selectionOnly);
  // "Importer": each mesh of the files chosen becomes a solid, in one step; the new solids are
  // selected and the views framed on them. A file that cannot be read is reported and nothing is
  // added.
  bool ImportMeshes();
  bool ImportMeshPaths(const std::vector<std::string>& paths);
  // "Appliquer la relation": the current solid and the solids related to it replaced by one mesh
  // solid holding the computed result, in one step.
  bool ApplyRelationOfSelection();
  // The save question, asked before the window closes, "Nouveau" clears the scene or a document
  // replaces it (only once the scene holds more than its light); false keeps the scene.
  bool ConfirmClose();
  std::array<std::string, 5> RecentFiles();

  // --- undo and redo ---
  bool CanUndo() const { return FSession.History().CanUndo(); }
  bool CanRedo() const { return FSession.History().CanRedo(); }
  bool Undo();
  bool Redo();
  // The "&Edition" items: "&Annuler" or "&Rétablir", followed by the step's name when there is one.
  std::string UndoCaption() const;
  std::string RedoCaption() const;
  THistory& History() { return FSession.History(); }
  // The document: history, saved state, opening, this run's recovery copy.
  TDocumentSession& Session() { return FSession; }
  // A mouse drag in the views, press to release, is one step named after its operation.
  void BeginDrag();
  void EndDrag();
  // Runs `change` (a dialog's "&OK", a view-type change...) as one step named `name`; `views`
  // when it changes the views.
  template <class F>
  auto Step(const char* name, F&& change, bool views = false) -> decltype(change()) {
    if (FStepDepth > 0) return change();  // a step inside a step is part of it
    struct TDepth {
      int& D;
      explicit TDepth(int& d) : D(d) { ++D; }
      ~TDepth() { --D; }
    };
    TSceneSnapshot before = FSession.History().Before(FScene, views);
    if constexpr (std::is_void_v<decltype(change())>) {
      {
        TDepth depth(FStepDepth);
        change();
      }
      Recorded(name, std::move(before));
    } else {
      auto result = [&] {
        TDepth depth(FStepDepth);
        return change();
      }();
      Recorded(name, std::move(before));
      return result;
    }
  }
  // At start: offers back the newest recovery document a run that did not close normally left.
  // Yes opens it as a scene not saved (no file name) and writes this run's copy of it; No
  // removes it; an unreadable one is reported and set aside. Answers whether a scene was
  // recovered.
  bool OfferRecovery(TRecovery& recovery);

  // Whether the scene changed since it was last saved, opened or made new.
  bool Modified() const { return FSession.Modified(); }
  // The scene now counts as saved (or, with false, as changed: a recovered scene).
  void MarkSaved(bool saved = true);

  // Told after a file command changed the caption or the recent list.
  std::function<void()> OnFilesChanged;
  // Told as a document is written or read: the archive's message and a percentage.
  std::function<void(const std::string& message, int percent)> OnProgress;
  // Told after every step recorded, undone or redone, and when the history is cleared.
  std::function<void()> OnHistoryChanged;
  // A document is read on a thread of its own. Meanwhile the window keeps its events turning
  // here: given a poll that passes the read's progress on to OnProgress and answers whether the
  // read ended, it returns true once the poll said so; false at once lets the modeller wait by
  // itself (nothing to keep alive: the window not shown yet, the batch tool, tests).
  std::function<bool(const std::function<bool()>& ended)> WhileLoading;
  // Whether a document is being read. The window takes no command meanwhile, and a second open
  // is refused; the user's scene is untouched until the read ends.
  bool Loading() const { return FSession.Loading(); }

 private:
  void Frame(const std::vector<int>& objects);
  bool SaveDocumentAs(const TChosenFile& file, bool askBeforeOverwrite);
  // Whether the file at `path` may be written: no file there, or the user agrees to replace it.
  bool MayReplace(const std::string& path);
  // Copies the current object, telling the user when there is none.
  bool CopyAndTell();
  void FilesChanged();
  void Recorded(const char* name, TSceneSnapshot before);
  void ClearHistory();
  // Reads the document at `path` off this thread (WhileLoading turning the window's events
  // meanwhile), then takes it in as TDocumentSession::Open does.
  TResult ReadDocument(const std::string& path, const std::function<bool()>& mayReplace);

  TScene& FScene;
  IPrompt& FPrompt;
  IClipboard& FClipboard;
  TSettingsStore* FSettings;
  IFileChooser* FFiles;
  // The file dialogs, told first to start in the document's folder.
  IFileChooser& Files();
  TSceneRenderer* FRenderer;
  TViewInteraction* FInteraction;
  std::array<int, kInsertCommandCount> FCounters{};
  TInsertCommand FLastInsert = TInsertCommand::Cube;
  TDocumentSession FSession;
  TPastableTextures FPastable;
  std::optional<TSceneSnapshot> FDragBefore;
  int FStepDepth = 0;  // steps inside a step are part of it
};

}  // namespace ixoral
