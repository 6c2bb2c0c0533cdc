// Export of the scene's solids (the whole scene or chosen objects) to the exchange formats other 3D
// programs read: glTF 2.0 binary (".glb", with the lights), Wavefront OBJ with its material file
// and texture pictures beside it, and binary STL. Each solid is written in world placement with
// its colour, transparency, specular power, texture coordinates and normals as drawn.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Result.h"
#include "scene/Scene.h"

namespace ixoral {

enum class TModelFormat { Gltf, Obj, Stl };

inline constexpr const char* kMsgExportEmptyScene = "La scène ne contient aucun solide à exporter";
inline constexpr const char* kMsgExportEmptySelection = "La sélection ne contient aucun solide à exporter";
inline constexpr const char* kMsgExportNoTriangles = "Aucun triangle à exporter dans : ";
inline constexpr const char* kMsgExportSkipped = "Solides sans triangle, non exportés : ";
inline constexpr const char* kMsgTextureUnreadable = "Impossible de lire la texture : ";
inline constexpr const char* kMsgUnknownModelFormat = "Format d'export inconnu (glb, obj, stl) : ";
inline constexpr const char* kMsgExportFailed = "L'export a échoué : ";
// A subtraction or intersection that cannot be made into geometry (an open surface, a mesh that
// crosses itself): both solids are written as they are. Followed by "solid / parent".
inline constexpr const char* kMsgRelationNotApplied =
    "Relation non appliquée, les deux solides sont exportés séparément : ";
// A relation whose parent is not exported (hidden, or left out of the selection): the solid is
// written whole, with its note where the format allows one. Followed by "solid / parent".
inline constexpr const char* kMsgRelationParentNotExported = "Relation non appliquée, parent non exporté : ";
// A computed relation whose solids carry a texture: the cut solid has no texture coordinates, so
// it is written in its colour. Followed by the solid's name.
inline constexpr const char* kMsgRelationTextureLeftOut = "Texture non exportée sur le solide découpé : ";
inline constexpr const char* kMsgNamesAdapted = "Noms adaptés au format du fichier : ";

// The format of an output name by its extension (".glb", ".obj", ".stl", any case).
std::optional<TModelFormat> ModelFormatOf(const std::string& path);

struct TModelExportOptions {
  // The objects to export (solids, and lights for glTF); empty: every visible solid and every
  // light that is on.
  std::vector<int> Objects;
  bool SelectionOnly = false;  // which message an empty list of objects gives
  bool Overwrite = false;      // an existing file is replaced (the commands ask the user first)
  // Without Overwrite: asked for each existing file the export would replace (the model, then
  // the OBJ's material file and pictures) before anything is written; "no" cancels the export
  // without a message.
  std::function<bool(const std::string& file)> MayReplace;
};

// The scene's selection (current object first) as a list of objects to export.
std::vector<int> SelectedObjectsForExport(const TScene& scene);

// Writes the file (and, for OBJ, the material file and the texture pictures beside it). Every file
// is written whole or not at all, and the files of a failed export are removed; the scene is only
// read. An existing file without `Overwrite` is refused (ReplaceRefused). A success carries as
// notices the solids left out and the names adapted (the window shows them as information).
TResult ExportModel(TScene& scene, const std::string& path, const TModelExportOptions& options);

}  // namespace ixoral
