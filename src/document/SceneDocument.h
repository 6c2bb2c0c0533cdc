// The scene document: the scene text (one record per object, after the four view records), the
// archive that carries it with the texture images, and the clipboard form of one object record.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/Clipboard.h"
#include "platform/Result.h"
#include "scene/Scene.h"

namespace ixoral {

inline constexpr const char* kDocHeader11 = "IXORAL EXPORT V1.1";
inline constexpr const char* kDocHeader = "IXORAL EXPORT";
inline constexpr char kRecordEnd = '\xA4';  // "¤" in Windows-1252
inline constexpr const char* kMsgOverwrite = "Voulez vous ecraser : ";
inline constexpr const char* kMsgFileAccess = "Erreur lors de l'acces au fichier : ";
inline constexpr const char* kMsgNeedSelection = "Vous devez avoir selectionné un objet auparavant";
inline constexpr const char* kMsgForeignClipboard =
    "Les données présentes dans le presse papier\nn'apartiennent pas à Ixoral";
// The longest field the reader keeps: the longest string the program itself holds.
inline constexpr size_t kMaxFieldLength = 255;

inline constexpr const char* kMsgDocumentTooLarge = "Document trop volumineux : ";

// The failure of a write (or read) of the file at `path`: kMsgFileAccess with the path, and the
// system's error when there is one.
TError FileAccessFailure(const std::string& path, const std::error_code& failure = {});
// The refusal of a write told not to replace the file already at `path`: the same message, the
// system's words for an existing file as its reason. The commands ask the user first.
TError ReplaceRefused(const std::string& path);

// What one document may ask the reader to build. Every bound lies well above what the modeller
// lets a user make of one scene, and together they keep a load to a couple of seconds and a few
// hundred megabytes whatever a document asks for.
struct TLoadLimits {
  uint64_t Objects = 50000;
  uint64_t NameBytes = 64ull << 20;    // all names together (identical names grow with their count)
  uint64_t Vertices = 8000000;         // every mesh together: 256 MB of vertices
  uint64_t HandEdits = 500000;         // stored hand-moved vertices, all solids together
  uint64_t HandEditWork = 20000000;    // vertices the hand edits compare
  uint64_t CurveWork = 500000000;      // curve points sampled times the length of their equations
  uint64_t TextFillTests = 200000000;  // stroke tests of the 3D text fill, all texts together
  // The scene text of a document as its archive declares it, refused before it is inflated: room
  // for every name the limit above allows and the records around them.
  uint64_t TextBytes = 128ull << 20;
  // Each texture picture as the archive declares it: the largest file the decoders take in
  // (64 Mpixels of 32 bits).
  uint64_t TextureBytes = 256ull << 20;
  // Texture pixels as the solids keep them, each picture reduced to kMaxTextureSide: 256 MB of
  // pictures, as much as the vertex bound. That is sixty-four textures of 1024 x 1024, sixteen of
  // 2048 x 2048 or four at the full side, more than a user gives one scene by hand.
  uint64_t TexturePixels = 64ull << 20;
  // Texture pixels the decoders make before the reduction, twice the kept bound: a picture larger
  // than the texture side costs its whole size to read (an 8192 x 8192 one, 16 Mpixels once
  // reduced, costs 64 to decode), and no document makes the loader decode more than this.
  uint64_t DecodedTexturePixels = 128ull << 20;
};

// The pictures a pasted record may name as its texture: those the program extracted from its
// documents (under `ExtractedFolder`, by default DefaultTextureFolder()) and those the user chose
// in the texture dialog during this run. Any other path arriving in clipboard text could name a
// private file, which the next save would carry away inside the document.
class TPastableTextures {
 public:
  std::string ExtractedFolder;
  // A picture the user chose for a texture.
  void Chosen(const std::string& path);
  bool Allows(const std::string& path) const;

 private:
  std::set<std::string> FChosen;
};

// Said when a pasted record's texture is not one of the pastable pictures: the object is pasted
// without it.
inline constexpr const char* kMsgTextureNotPasted = "La texture « ";
inline constexpr const char* kMsgTextureNotPastedEnd =
    " » n'a pas été reprise : seules les images choisies dans Ixoral sont collées";

// What a load has asked for so far against its limits; Refusal names the first limit passed
// (the text after kMsgDocumentTooLarge), empty while within them.
struct TLoadBudget {
  TLoadLimits Limits;
  uint64_t Objects = 0, NameBytes = 0, Vertices = 0, HandEdits = 0, HandEditWork = 0, CurveWork = 0, TextFillTests = 0;
  uint64_t TexturePixels = 0, DecodedTexturePixels = 0;
  std::string Refusal;
  // Whether a record's texture path is read from the disk (a pasted object names the live file);
  // a document brings its textures in its archive instead.
  bool LoadStoredTextures = true;
  // When set, a texture path outside these is dropped (the solid is read untextured) and kept in
  // DroppedTextures.
  const TPastableTextures* Pastable = nullptr;
  std::vector<std::string> DroppedTextures;
  // Solids read and the parent each record names by its place in the list; a parent may come
  // after its child in the text, so the links are made once the records are read.
  std::vector<std::pair<int, long long>> ParentLinks;
  // Records the refusal (the first one stays) and returns false.
  bool Refuse(const std::string& why);
  // Counts one texture: `kept` pixels as the solid will hold it, `decoded` as the decoder makes
  // it. False, with the refusal recorded, past either limit.
  bool CountTexture(uint64_t kept, uint64_t decoded);
  // Links the parents read so far (a place outside the list links none) and forgets them.
  void LinkParents(TScene& scene);
  bool Refused() const { return !Refusal.empty(); }
};

// Puts the scene back as it was before a refused load: no object, light or view of the
// document stays.
struct TSceneRestorePoint {
  explicit TSceneRestorePoint(TScene& s);
  void Restore();
  TScene& Scene;
  int Objects;
  int32_t LightCount;
  TScene::TSelectionState Selection;
  std::array<TVue, 4> Views;
};

// The record of the scene's current object, as UTF-8 text without line ends; empty without one.
std::string SerializeObject(TScene& scene);
// The record of object `index`; empty when there is none.
std::string SerializeObjectAt(TScene& scene, int index);
// When the solid records `current` (solid `index` as it is) and `wanted` differ only in colour,
// position, direction, size, up vector, parent, relation and specular power, gives the solid
// `wanted`'s values exactly as reading `wanted` would, and answers true; otherwise changes
// nothing and answers false.
bool ApplyPlacementOnly(TScene& scene, int index, const std::string& current, const std::string& wanted);
// Splits a record at ";" (the text after the last ";" is not a field); fields are cut to 255
// characters.
std::vector<std::string> SplitRecord(const std::string& record);
// Adds the object a record describes; returns the name it was given, empty on failure. A record
// whose shape has no generator here is skipped: the result is then "-" and nothing is added.
// With a budget, what the record asks for is counted against it; a record past a limit fails and
// sets the budget's Refusal.
std::string ParseObject(TScene& scene, const std::vector<std::string>& fields, TLoadBudget* budget = nullptr);

// The whole scene text in Windows-1252 bytes, views included when the scene's SaveViews is on.
std::string WriteSceneText(TScene& scene);
// Reads a scene text into the scene; false when the header is unknown or a record fails (the
// objects read before stay). A text asking for more than `limits` is refused as a whole: the scene
// is left as it was and `refusal` (when given) says why, to follow kMsgDocumentTooLarge.
bool ReadSceneText(TScene& scene, const std::string& bytes, std::string* refusal = nullptr,
                   const TLoadLimits& limits = {});
// The same on files. WriteScene replaces an existing file only when `overwrite` is set.
TResult WriteScene(TScene& scene, const std::string& path, bool overwrite);
bool ReadScene(TScene& scene, const std::string& path);

// Saves the scene as a document: the text and the texture images in one archive, written to a
// temporary file beside the document and renamed over it only once complete, so a failed save
// never loses the previous document.
// What a long save or load reports as it goes: the archive's message and a percentage.
using TDocumentProgress = std::function<void(const std::string& message, int percent)>;

// An existing file is replaced only when `overwrite` is set (ReplaceRefused otherwise), and keeps
// its permissions, group and owner; saved through a symbolic link, the document the link names is
// written and the link stays (a link that names nothing fails with the path). The scene
// takes the path as its file name once the document is written. Failures: kMsgFileAccess with the
// path (and the system's reason), or the archive's own message.
TResult SaveDocument(TScene& scene, const std::string& path, bool overwrite, const TDocumentProgress& progress = {});

// A save in two halves: what the document will hold, taken from the scene (quick, on the thread
// that owns the scene), then the archive written from it alone (on any thread). The scene's file
// name is not touched.
struct TDocumentContents {
  std::string TextEntry;  // the scene text's entry name
  std::string Text;
  std::vector<std::pair<std::string, std::string>> Textures;  // entry name, file
  // The meshes of the mesh solids, each once, after the textures: entry name (the mesh's name and
  // kMeshEntryExtension), mesh.
  std::vector<std::pair<std::string, std::shared_ptr<const TArrayOfComposante>>> Meshes;
};
inline constexpr const char* kMeshEntryExtension = ".ixmh";
// A mesh solid whose mesh this run does not hold: a record copied in another run of the program.
inline constexpr const char* kMsgMeshNotPasted =
    "Ce maillage vient d'une autre session d'Ixoral : importez son fichier ou ouvrez son document";
TDocumentContents PrepareDocument(TScene& scene, const std::string& path);
// `mode` is how the archive replaces what is at `path` (the recovery copy, the program's own file,
// replaces a link; a saved document keeps what it replaces).
TResult WriteDocumentContents(const TDocumentContents& contents, const std::string& path,
                              const TDocumentProgress& progress = {}, TFileMode mode = TFileMode::UserDefault);
// What a load does with the document's texture images: extract them for drawing, or, for a
// command that only reads the scene (listing, POV-Ray export), leave them in the archive.
enum class TTextureUse { Extract, Skip };

// The per-user texture folder keeps at most this much; the folders of the documents used least
// recently go first.
inline constexpr uint64_t kMaxTextureFolderBytes = 512ull << 20;

// The size a picture's header declares, read without decoding it, for the formats whose header
// states it at a fixed place or in its first frame marker (bitmap, Targa, PNG, SGI, JPEG); false
// for the others or a header too short to tell.
bool DeclaredPictureSize(const std::string& extension, const std::string& bytes, int64_t& width, int64_t& height);

// Loads a document into the scene (the caller clears the scene first). Textures are extracted to
// a folder of this document's own (DocumentTextureFolderName) inside `textureFolder` (by default
// the per-user data folder), each only if it decodes as a picture. A textured solid whose texture
// is missing or unreadable loads without texture, its stored path dropped, with a trace line. A
// document past the load limits, its textures' pixels counted with its meshes (the sizes their
// headers declare before any is decoded, then the pixels decoded), is refused with "Document trop
// volumineux : ..." and nothing of it stays in the scene; so is one whose textures exhaust the
// memory. Other failures carry the archive's message, or kMsgFileAccess with the
// path for a scene text that cannot be read (the objects read before it stay); a texture that
// cannot be extracted after such a text fails with the archive's message, the text's message
// carried before it as a notice.
TResult LoadDocument(TScene& scene, const std::string& path, const std::string& textureFolder = {},
                     TTextureUse textures = TTextureUse::Extract, const TLoadLimits& limits = {},
                     const TDocumentProgress& progress = {});
// Removes document folders from the texture folder `root`, least recently used first, until it
// holds at most `maxBytes`; the folder `keep` (the document being loaded) and the folders a run
// holds (HoldTextureFolderOf, the loads) always stay, so the total can stay above `maxBytes` while
// documents whose textures exceed it are open.
void PruneTextureFolders(const std::string& root, const std::string& keep, uint64_t maxBytes = kMaxTextureFolderBytes);
// Holds, for the rest of this run, the document folder of the texture folder `root` (default: the
// per-user one) that `textureFile` lies in, so that no run clears it while a solid of this run
// uses the picture; false for a file outside the document folders. A load holds its document's
// folder itself.
bool HoldTextureFolderOf(const std::string& textureFile, const std::string& root = {});
// The document's file name and a hash of its full path: where its textures are extracted.
std::string DocumentTextureFolderName(const std::string& documentPath);
// $XDG_DATA_HOME (default ~/.local/share) + "/Quillbeck/Ixoral/textures".
std::string DefaultTextureFolder();

// The current object's record on the clipboard; without one, fails with kMsgNeedSelection (which
// the window shows as an information).
TResult CopyToClipboard(TScene& scene, IClipboard& clipboard);
// Adds the object the clipboard's record describes and answers its name; a text that is no object
// record of the program fails with kMsgForeignClipboard. A texture that is not `pastable` is left
// out and said in `notices` (kMsgTextureNotPasted, the path, kMsgTextureNotPastedEnd); one the
// memory cannot hold fails the paste with kMsgImageOutOfMemory.
TExpected<std::string> PasteFromClipboard(TScene& scene, IClipboard& clipboard, const TPastableTextures& pastable = {},
                                          std::vector<std::string>* notices = nullptr);

}  // namespace ixoral
