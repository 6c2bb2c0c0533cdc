// The main window's commands on the main scene.
#include "commands/Modeller.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "commands/BrowserTree.h"
#include "commands/Preferences.h"
#include "commands/ToolDialogs.h"
#include "document/PictureExport.h"
#include "document/MeshImport.h"
#include "document/MeshSolids.h"
#include "document/ModelExport.h"
#include "document/PovExport.h"
#include "document/SceneDocument.h"
#include "scene/Curves.h"
#include "scene/Shapes.h"
#include "scene/Text3D.h"
#include "scene/ViewOps.h"
#include "tools/Deformations.h"
#include "tools/images/Image.h"

namespace ixoral {

namespace fs = std::filesystem;

namespace {

constexpr std::array<TInsertCommandInfo, kInsertCommandCount> kInserts = {{
    {TInsertCommand::Cube, "&Cube", "Cube", "cube", "Cube", "cube"},
    {TInsertCommand::CubePerce, "C&ube percé", "Cube Perce", "cubeperce", "Cube Percé", "cubeperce"},
    {TInsertCommand::Sphere, "&Sphère", "Sphere", "sphere", "Sphère", "sphere"},
    {TInsertCommand::Cylindre, "C&ylindre", "Cylindre", "cylindre", "Cylindre", "cylindre"},
    {TInsertCommand::Cone, "C&ône", "Cône", "cone", "Cone", "cone"},
    {TInsertCommand::Pyramide, "&Pyramide", "Pyramide", "pyramide", "Pyramide", "pyramide"},
    {TInsertCommand::Tore, "&Tore", "Tore", "tore", "Tore", "tore"},
    {TInsertCommand::Parametrique, "&Paramétrique", "Param", "param", "Courbe paramétrique", "param"},
    {TInsertCommand::Cercle, "&Cercle", "Cercle", "cercle", "Cercle", "cercle"},
    {TInsertCommand::ParoiV, "&Paroi verticale", "ParoiV", "paroiv", "Plan Vertical", "paroiv"},
    {TInsertCommand::ParoiH, "P&aroi horizontale", "ParoiH", "paroih", "Plan Horizontal", "paroih"},
    {TInsertCommand::Texte3D, "&Texte 3D", "", "texte", "Texte 3d", "texte"},
}};

// Whether making `p` the parent of `i` would close a parent cycle (i is p or one of p's ancestors).
bool WouldCloseCycle(const TScene& scene, int i, int p) {
  int j = p;
  for (int steps = 0; j >= 0 && scene.IsSolid(j) && steps <= scene.ObjectCount(); ++steps) {
    if (j == i) return true;
    j = scene.ParentOf(j);
  }
  return false;
}

}  // namespace

const std::array<TInsertCommandInfo, kInsertCommandCount>& InsertCommands() { return kInserts; }

const TInsertCommandInfo& InsertCommandInfo(TInsertCommand command) { return kInserts[static_cast<size_t>(command)]; }

const TInsertCommandInfo* FindInsertCommand(const std::string& keyword) {
  for (const auto& info : kInserts)
    if (keyword == info.Keyword) return &info;
  return nullptr;
}

bool ClipboardHoldsObject(IClipboard& clipboard) {
  const std::string text = clipboard.GetText();
  return text.rfind("SolidObject;", 0) == 0 || text.rfind("LightObject;", 0) == 0;
}

TModeller::TModeller(TScene& scene, IPrompt& prompt, IClipboard& clipboard, TSettingsStore* settings,
                     IFileChooser* files, TSceneRenderer* renderer, TViewInteraction* interaction)
    : FScene(scene),
      FPrompt(prompt),
      FClipboard(clipboard),
      FSettings(settings),
      FFiles(files),
      FRenderer(renderer),
      FInteraction(interaction),
      FSession(scene) {}

TModeller::~TModeller() = default;

int TModeller::ActiveView() const { return FInteraction ? FInteraction->ActiveView() : 0; }

// ---------------------------------------------------------------- inserts

int TModeller::Insert(TInsertCommand command) {
  return Step(step::Insertion, [&] {
    const TInsertCommandInfo& info = InsertCommandInfo(command);
    const int n = ++FCounters[static_cast<size_t>(command)];
    std::unique_ptr<TSolidObject> object;
    std::string name;
    if (command == TInsertCommand::Parametrique) {
      object = CreateDefaultCurve();
      name = info.BaseName + std::to_string(n);
    } else if (command == TInsertCommand::Texte3D) {
      // Named after its text, "Abc" made unique.
      object = CreateDefaultText3D([this](const std::string& s) { return FScene.NameExists(s); });
      name = object->GetTextParam(1);
    } else {
      object = FindInsertDefault(info.Keyword)->Create();
      name = info.BaseName + std::to_string(n);
    }
    const int index = FScene.AddObject(std::move(object), name);
    FLastInsert = command;
    SelectFromBrowser(index);
    return index;
  });
}

void TModeller::SelectFromBrowser(int object) {
  FScene.ClearSelection();
  if (FScene.ObjectAt(object)) FScene.AddToSelection(object);
  FScene.RedrawViews();
}

// ---------------------------------------------------------------- edit commands

bool TModeller::Cut(int object) {
  return Step(step::Couper, [&] {
    if (!FScene.ObjectAt(object)) return false;
    if (HasChildNodes(FScene, object)) {
      FPrompt.Information(kMsgCutLinked);
      return false;
    }
    if (!CopyAndTell()) return false;
    FScene.DeleteObject(object);
    FScene.ClearSelection();
    FScene.RedrawViews();
    return true;
  });
}

bool TModeller::Copy(int object) {
  if (!FScene.ObjectAt(object)) return false;
  if (HasChildNodes(FScene, object)) {
    FPrompt.Information(kMsgCopyLinked);
    return false;
  }
  return CopyAndTell();
}

bool TModeller::CopyAndTell() {
  const TResult copied = CopyToClipboard(FScene, FClipboard);
  if (!copied) FPrompt.Information(copied.Error().Message);  // no selection: an information
  return copied.Ok();
}

int TModeller::Paste() {
  return Step(step::Coller, [&] {
    std::vector<std::string> notices;
    const TExpected<std::string> name = PasteFromClipboard(FScene, FClipboard, FPastable, &notices);
    if (!name) {
      ShowFailure(FPrompt, name.Error());
      return -1;
    }
    for (const std::string& notice : notices) FPrompt.Information(notice);
    const int index = FScene.IndexOfName(*name);
    FScene.LinkParent(index, -1);
    SelectFromBrowser(index);
    return index;
  });
}

bool TModeller::Delete(int object) {
  return Step(step::Suppression, [&] {
    const T3dObject* o = FScene.ObjectAt(object);
    if (!o) {
      FPrompt.Information(kMsgNeedSelection);
      return false;
    }
    std::string question = kMsgDeleteQuestion + o->Name();
    if (HasChildNodes(FScene, object)) question += kMsgDeleteGroup;
    question += " ?";
    if (!FPrompt.YesNo(question)) return false;
    FScene.DeleteObject(object);
    FScene.ClearSelection();
    FScene.RedrawViews();
    return true;
  });
}

int TModeller::Clone(int object) {
  return Step(step::Clonage, [&] {
    if (!FScene.ObjectAt(object)) return -1;
    if (HasChildNodes(FScene, object)) {
      FPrompt.Information(kMsgCloneLinked);
      return -1;
    }
    if (!FScene.HasSelection()) {
      FPrompt.Information(kMsgNeedSelection);
      return -1;
    }
    TScene::CloneObjectInto(FScene, FScene.CurrentObject(), FScene);
    const int copy = FScene.ObjectCount() - 1;
    FScene.RebuildSelectionMarks(copy);
    std::string name = FScene.ObjectAt(copy)->Name();
    while (FScene.NameExists(name)) name += 'i';
    FScene.RenameObject(copy, name);
    FScene.RedrawViews();
    return copy;
  });
}

bool TModeller::Rename(int object, const std::string& newName) {
  return Step(step::Renommage, [&] {
    if (!FScene.ObjectAt(object) || newName.empty()) return false;
    if (FScene.NameExists(newName)) {
      FPrompt.Information(kMsgNameExists);
      return false;
    }
    FScene.RenameObject(FScene.HasSelection() ? FScene.CurrentObject() : object, newName);
    return true;
  });
}

bool TModeller::RenameFromBrowser(int object, const std::string& text) {
  return Step(step::Renommage, [&] {
    const T3dObject* o = FScene.ObjectAt(object);
    if (!o) return false;
    if (text == o->Name()) return true;  // the edit changed nothing
    if (text.empty() || FScene.NameExists(text)) {
      FPrompt.Information(kMsgNameRefused);
      return false;
    }
    FScene.RenameObject(object, text);
    return true;
  });
}

TModeller::TEditMenuState TModeller::EditMenuState() {
  return {FScene.HasSelection(), ClipboardHoldsObject(FClipboard)};
}

// ---------------------------------------------------------------- association

bool TModeller::CanDrop(int dragged, int target, bool targetIsObjects) const {
  if (!FScene.IsSolid(dragged)) return false;
  return targetIsObjects || (FScene.IsSolid(target) && target != dragged);
}

bool TModeller::Drop(int dragged, int target, bool targetIsObjects) {
  return Step(step::Association, [&] {
    if (!CanDrop(dragged, target, targetIsObjects)) return false;
    if (!FScene.SetParent(dragged, targetIsObjects ? -1 : target)) {
      FPrompt.Error(kMsgAssociationFailed);
      return false;
    }
    SelectFromBrowser(dragged);
    return true;
  });
}

bool TModeller::Associate() {
  return Step(step::Association, [&] {
    if (FScene.SelectionCount() < 2) {
      FPrompt.Information(kMsgAssociateTwo);
      return false;
    }
    const int parent = FScene.CurrentObject();
    // Only a solid can be a parent: lights take no children.
    if (!FScene.IsSolid(parent)) {
      FPrompt.Error(kMsgAssociationFailed);
      return false;
    }
    for (int k = 1; k < FScene.SelectionCount(); ++k) {
      const int i = FScene.SelectedAt(k);
      if (i == parent || !FScene.IsSolid(i) || WouldCloseCycle(FScene, i, parent)) continue;
      FScene.LinkParent(i, parent);  // pivot and relation stay as they are
    }
    FScene.Notify(TSceneChange::HierarchyChanged);
    FScene.RedrawViews();
    return true;
  });
}

bool TModeller::Dissociate(int object) {
  return Step(step::Dissociation, [&] {
    if (!FScene.ObjectAt(object)) return false;
    bool changed = false;
    for (int i = 0; i < FScene.ObjectCount(); ++i)
      if (i != object && FScene.ParentOf(i) == object) {
        FScene.LinkParent(i, -1);
        changed = true;
      }
    if (changed) FScene.Notify(TSceneChange::HierarchyChanged);
    SelectFromBrowser(object);
    return changed;
  });
}

// ---------------------------------------------------------------- property inspector

TPropertyApplyResult TModeller::ApplyProperties(int object, const TPropertyEdits& edits) {
  return Step(step::Proprietes, [&] { return ixoral::ApplyProperties(FScene, object, edits); });
}

bool TModeller::ValidateVector(int object, const std::string& key, const std::array<std::string, 3>& texts) {
  return Step(step::Proprietes, [&] { return ixoral::ValidateVector(FScene, object, key, texts); });
}

bool TModeller::ApplyToolResult(const TToolTarget& target, TScene& preview, TToolResult kind,
                                const std::string& textureFile) {
  return Step(kind == TToolResult::Texture ? step::Texture : step::Deformation, [&] {
    const int object = FScene.IndexOf(target.Object);
    TSolidObject* solid = FScene.SolidAt(object);
    const TSolidObject* result = preview.SolidAt(target.PreviewIndex);
    if (!solid || !result) return false;
    switch (kind) {
      case TToolResult::WholeObject:
        CopyObjectState(FScene, object, preview, target.PreviewIndex);
        break;
      case TToolResult::HandEdits:
        if (result->ModifiedVertices.empty() || !MergeHandEdits(*solid, *result)) return false;
        break;
      case TToolResult::Texture: {
        if (textureFile.empty()) return false;
        // Decoded first, so that a picture that cannot be read leaves the object as it was.
        TImage image;
        std::string message;
        if (!LoadImageFile(textureFile, image, message)) {
          FPrompt.Error(message);
          return false;
        }
        FScene.Device().LoadTexture(*solid, textureFile);
        solid->TextureFile = textureFile;
        FPastable.Chosen(textureFile);
        // A picture from another document's texture folder stays as long as this run may save it.
        HoldTextureFolderOf(textureFile, FPastable.ExtractedFolder);
        break;
      }
    }
    FScene.RebuildSelectionMarks(object);
    FScene.Notify(TSceneChange::ObjectChanged, object);
    FScene.RedrawViews();
    return true;
  });
}

void TModeller::FrameSelection() {
  std::vector<int> objects;
  for (int k = 0; k < FScene.SelectionCount(); ++k) objects.push_back(FScene.SelectedAt(k));
  Frame(objects);
}

void TModeller::FrameAll() {
  std::vector<int> objects(size_t(std::max(FScene.ObjectCount(), 0)));
  for (size_t k = 0; k < objects.size(); ++k) objects[k] = int(k);
  Frame(objects);
}

void TModeller::Frame(const std::vector<int>& objects) {
  Step(
      step::Vues,
      [&] {
        if (!FrameObjects(FScene, ActiveView(), objects)) return;
        FScene.Notify(TSceneChange::ViewsChanged);
        FScene.RedrawViews();
      },
      true);
}

void TModeller::ResetPosition() {
  Step(
      step::PositionInitiale,
      [&] {
        ixoral::ResetPosition(FScene, ActiveView());
        FScene.Notify(FScene.HasSelection() ? TSceneChange::ObjectChanged : TSceneChange::ViewsChanged);
        FScene.RedrawViews();
      },
      !FScene.HasSelection());
}

// ---------------------------------------------------------------- undo and redo

void TModeller::Recorded(const char* name, TSceneSnapshot before) {
  if (FSession.History().Record(name, std::move(before), FScene) && OnHistoryChanged) OnHistoryChanged();
}

void TModeller::ClearHistory() {
  FSession.History().Clear();
  FDragBefore.reset();
  MarkSaved();
  if (OnHistoryChanged) OnHistoryChanged();
}

void TModeller::MarkSaved(bool saved) { FSession.MarkSaved(saved); }

bool TModeller::Undo() {
  if (!FSession.History().CanUndo()) return false;
  FSession.History().Undo(FScene);
  if (OnHistoryChanged) OnHistoryChanged();
  return true;
}

bool TModeller::Redo() {
  if (!FSession.History().CanRedo()) return false;
  FSession.History().Redo(FScene);
  if (OnHistoryChanged) OnHistoryChanged();
  return true;
}

std::string TModeller::UndoCaption() const {
  const std::string name = FSession.History().UndoName();
  return name.empty() ? std::string(kUndoCaption) : std::string(kUndoCaption) + " " + name;
}

std::string TModeller::RedoCaption() const {
  const std::string name = FSession.History().RedoName();
  return name.empty() ? std::string(kRedoCaption) : std::string(kRedoCaption) + " " + name;
}

void TModeller::BeginDrag() { FDragBefore = FSession.History().Before(FScene); }

void TModeller::EndDrag() {
  if (!FDragBefore) return;
  const TOperation op = FInteraction ? FInteraction->Operation() : opMove;
  const char* name = op == opRotate ? step::Rotation : op == opResize ? step::Redimensionnement : step::Deplacement;
  TSceneSnapshot before = std::move(*FDragBefore);
  FDragBefore.reset();
  Recorded(name, std::move(before));
}

// ---------------------------------------------------------------- files

std::string TModeller::Caption() const {
  return FScene.FileName.empty() ? std::string(kCaption) : std::string(kCaption) + " - " + FScene.FileName;
}

void TModeller::FilesChanged() {
  if (OnFilesChanged) OnFilesChanged();
}

bool TModeller::New() {
  if (!ConfirmClose()) return false;
  FScene.NewScene(true);
  FScene.FileName.clear();
  FCounters.fill(0);
  ClearHistory();
  FilesChanged();
  return true;
}

IFileChooser& TModeller::Files() {
  FFiles->StartIn(FScene.FileName.empty() ? std::string() : fs::path(FScene.FileName).parent_path().string());
  return *FFiles;
}

bool TModeller::Open() {
  if (!FFiles) return false;
  const auto path = Files().ChooseDocumentToOpen();
  if (!path) return false;
  return OpenPath(*path);
}

TResult TModeller::ReadDocument(const std::string& path, const std::function<bool()>& mayReplace) {
  if (!FSession.StartOpen(path)) return TError();  // one document at a time
  TDocumentLoad& load = *FSession.Load();
  const std::function<bool()> ended = [&] {
    load.ForwardProgress(OnProgress);
    return load.Ended();
  };
  if (!WhileLoading || !WhileLoading(ended))
    while (!load.Ended(std::chrono::milliseconds(20))) load.ForwardProgress(OnProgress);
  load.ForwardProgress(OnProgress);
  return FSession.FinishOpen(mayReplace);
}

bool TModeller::OpenPath(const std::string& path) {
  if (Loading()) return false;
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) {
    const bool folder = fs::is_directory(path, ec);
    ShowFailure(FPrompt, FileAccessFailure(path, std::make_error_code(folder ? std::errc::is_a_directory
                                                                             : std::errc::no_such_file_or_directory)));
    return false;
  }
  // Read once into a scene of its own: a document that cannot be read is reported and the
  // user's scene is neither questioned nor cleared; the save question comes before it is replaced.
  if (!ShowResult(FPrompt, ReadDocument(path, [this] { return ConfirmClose(); }), TNoticeKind::Error, path))
    return false;
  ClearHistory();
  FScene.RedrawViews();
  if (FSettings) AddRecent(*FSettings, path);
  FilesChanged();
  return true;
}

bool TModeller::OfferRecovery(TRecovery& recovery) {
  const std::vector<std::string> left = recovery.LeftBehind();
  if (left.empty() || Loading()) return false;
  const std::string& document = left.front();
  if (!FPrompt.YesNo(kMsgRecover)) {
    TRecovery::Remove(document);
    return false;
  }
  // The reader's own message is not shown: an unreadable copy has a message of its own.
  bool read = false;
  if (!ReadDocument(document, [&] { return read = true, ConfirmClose(); })) {
    if (!read) FPrompt.Error(kMsgRecoveryUnreadable + TRecovery::SetAside(document));
    return false;
  }
  // Its document's name when it had one, so that "Enregistrer" goes back where the user was
  // working; otherwise a scene of its own, for which "Enregistrer" asks where.
  FScene.FileName = TRecovery::OriginalDocument(document);
  ClearHistory();
  MarkSaved(false);
  FScene.RedrawViews();
  FilesChanged();
  // This run's copy first, then the old one goes: the scene is never without a copy on disk.
  if (recovery.Write(FScene, true)) TRecovery::Remove(document);
  return true;
}

namespace {
bool IsDroppedDocument(const std::vector<std::string>& paths) {
  if (paths.size() != 1) return false;
  const std::filesystem::path p(paths.front());
  std::string extension = p.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  std::error_code ec;
  return extension == ".ixr" && std::filesystem::is_regular_file(p, ec);
}

bool AreDroppedMeshes(const std::vector<std::string>& paths) {
  std::error_code ec;
  return !paths.empty() && std::all_of(paths.begin(), paths.end(), [&](const std::string& p) {
    return IsMeshFileName(p) && std::filesystem::is_regular_file(p, ec);
  });
}
}  // namespace

bool TModeller::AcceptsDroppedFiles(const std::vector<std::string>& paths) {
  return IsDroppedDocument(paths) || AreDroppedMeshes(paths);
}

bool TModeller::OpenDroppedFiles(const std::vector<std::string>& paths) {
  if (IsDroppedDocument(paths)) return OpenPath(paths.front());
  return AreDroppedMeshes(paths) && ImportMeshPaths(paths);
}

bool TModeller::OpenRecent(int position) {
  if (!FSettings || position < 1 || position > kRecentFileCount) return false;
  const std::string path = ReadRecentFiles(*FSettings)[static_cast<size_t>(position - 1)];
  std::error_code ec;
  if (path.empty() || !fs::is_regular_file(path, ec)) return false;  // refused without a word
  return OpenPath(path);
}

bool TModeller::Save() {
  if (FScene.FileName.empty()) return SaveAs();
  return SaveDocumentAs({FScene.FileName, TSaveType::Document}, false);  // its own file: no question
}

bool TModeller::SaveAs() {
  if (!FFiles) return false;
  const auto file = Files().ChooseFileToSave();
  if (!file) return false;
  return SaveDocumentAs(*file, true);
}

bool TModeller::ExportModelFile(bool selectionOnly) {
  if (selectionOnly && !FScene.HasSelection()) {
    FPrompt.Information(kMsgNeedSelection);
    return false;
  }
  if (!FFiles) return false;
  const auto path = Files().ChooseExportFile();
  if (!path) return false;
  TModelExportOptions options;
  options.SelectionOnly = selectionOnly;
  if (selectionOnly) options.Objects = SelectedObjectsForExport(FScene);
  // Each file the export would replace is asked about: the model, then an OBJ's material file
  // and pictures (a name of no known format is refused before any question).
  options.MayReplace = [this](const std::string& file) { return MayReplace(file); };
  return ShowResult(FPrompt, ExportModel(FScene, *path, options), TNoticeKind::Information, *path);
}

bool TModeller::ImportMeshes() {
  if (!FFiles) return false;
  const std::vector<std::string> paths = Files().ChooseMeshFiles();
  return !paths.empty() && ImportMeshPaths(paths);
}

bool TModeller::ImportMeshPaths(const std::vector<std::string>& paths) {
  return Step(step::Importation, [&] {
    const TExpected<TAddedSolids> added = ImportMeshFiles(FScene, paths);
    if (!added) {
      ShowFailure(FPrompt, added.Error());
      return false;
    }
    for (const std::string& notice : added->Notices) FPrompt.Information(notice);
    if (added->Objects.empty()) return false;
    FScene.SelectObject(added->Objects.front());
    for (size_t k = 1; k < added->Objects.size(); ++k) FScene.AddToSelection(added->Objects[k]);
    Frame(added->Objects);
    FScene.RedrawViews();
    return true;
  });
}

bool TModeller::ApplyRelationOfSelection() {
  return Step(step::Relation, [&] {
    const TExpected<TAddedSolids> made = ApplyRelation(FScene, FScene.CurrentObject());
    if (!made) {
      ShowFailure(FPrompt, made.Error());
      return false;
    }
    for (const std::string& notice : made->Notices) FPrompt.Information(notice);
    FScene.Notify(TSceneChange::HierarchyChanged);
    SelectFromBrowser(made->Objects.front());
    FScene.RedrawViews();
    return true;
  });
}

bool TModeller::MayReplace(const std::string& path) {
  std::error_code ec;
  return !fs::exists(path, ec) || FPrompt.YesNo(kMsgOverwrite + path);
}

bool TModeller::SaveDocumentAs(const TChosenFile& file, bool askBeforeOverwrite) {
  askBeforeOverwrite = askBeforeOverwrite && !file.ReplaceConfirmed;
  switch (file.Type) {
    case TSaveType::PovRay: {
      if (askBeforeOverwrite && !MayReplace(file.Path)) return false;
      // The font notes are shown, then why the scene file could not be written, if it could not.
      TPovExportOptions options;
      if (FRenderer) options.Background = FRenderer->Display().BackgroundColor;
      const TResult exported = ExportPovScene(FScene, ActiveView(), file.Path, true, options);
      return ShowResult(FPrompt, exported, TNoticeKind::Error, file.Path);
    }
    case TSaveType::Bitmap:
    case TSaveType::Jpeg: {
      if (!FFiles) return false;
      const auto choice = FFiles->ChooseResolution();
      if (!choice) return false;
      if (!FRenderer) {
        FPrompt.Error(kMsgFileAccess + file.Path);
        return false;
      }
      // A resolution that does not exist is told before any question about the file.
      const bool sizeKnown =
          choice->KeepCurrentSize || (choice->Resolution >= 0 && choice->Resolution < int(ExportResolutions.size()));
      if (sizeKnown && askBeforeOverwrite && !MayReplace(file.Path)) return false;
      return ShowResult(FPrompt,
                        ExportPicture(*FRenderer, ActiveView(), file.Path, choice->KeepCurrentSize, choice->Resolution,
                                      file.Type == TSaveType::Bitmap ? 2 : 3, true, FSettings),
                        TNoticeKind::Information, file.Path);
    }
    case TSaveType::Document:
    default:
      // Declining to replace the file cancels the save without another word.
      if (askBeforeOverwrite && !MayReplace(file.Path)) return false;
      if (!ShowResult(FPrompt, SaveDocument(FScene, file.Path, true, OnProgress), TNoticeKind::Information, file.Path))
        return false;
      MarkSaved();
      if (FSettings) AddRecent(*FSettings, file.Path);
      FilesChanged();
      return true;
  }
}

bool TModeller::SaveBeforeClear() {
  // A save that fails or is cancelled answers no, so the scene is not cleared and not lost.
  if (!FScene.FileName.empty()) return Save();
  if (!FFiles) return false;
  const auto file = Files().ChooseFileToSave();
  if (!file) return false;
  if (file->Type == TSaveType::PovRay) return SaveDocumentAs(*file, true);
  return SaveDocumentAs({file->Path, TSaveType::Document}, true);
}

bool TModeller::ConfirmClose() {
  // Asked only when the scene differs from what was last opened, saved or made new.
  if (FScene.ObjectCount() < 2 || !Modified()) return true;
  switch (FPrompt.YesNoCancel(kMsgSaveChanges)) {
    case TAnswer::Cancel:
      return false;
    case TAnswer::Yes:
      return SaveBeforeClear();
    case TAnswer::No:
    default:
      return true;
  }
}

std::array<std::string, 5> TModeller::RecentFiles() {
  if (!FSettings) return {};
  return ReadRecentFiles(*FSettings);
}

}  // namespace ixoral
