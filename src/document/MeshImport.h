// Meshes made by other programs: STL (binary and ASCII), Wavefront OBJ with its materials, glTF 2.0
// (".gltf" and ".glb") and PLY, read through the Open Asset Import Library and turned into the
// program's triangle lists, in the left-handed convention the exports convert from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Result.h"
#include "scene/Objects.h"

namespace ixoral {

// What one file may hold, for all its meshes together. The window draws every triangle of a solid
// in each of its views on each change, and an undo step keeps a copy of a solid's triangles: two
// million triangles (six million vertices, 192 MB as drawn) is about what the software views still
// turn interactively, twice the million-triangle model the import is measured with.
inline constexpr size_t kMaxMeshTriangles = 2'000'000;
// A mesh file, or a file it names (an OBJ's materials, a glTF buffer), is read whole into memory:
// the most a file within the triangle budget needs is an ASCII STL, about 280 bytes a triangle;
// a glTF binary may hold its pictures too.
inline constexpr uint64_t kMaxMeshFileBytes = uint64_t(kMaxMeshTriangles) * 280;

inline constexpr const char* kMsgMeshUnreadable = "Fichier de maillage illisible : ";
inline constexpr const char* kMsgMeshTooLarge = "Maillage trop volumineux : ";
inline constexpr const char* kMsgMeshEmpty = "Aucun maillage dans : ";
inline constexpr const char* kMsgMeshUnknownFormat = "Format de maillage inconnu (stl, obj, gltf, glb, ply) : ";
// Notices of a successful import.
// Triangles with a coordinate that is not a number (or infinite) cannot be drawn, moved or
// subtracted; they are left out and the rest of the mesh is kept. Followed by "file (N triangles)".
inline constexpr const char* kMsgMeshNonFinite = "Triangles aux coordonnées invalides ignorés : ";
// A texture or companion file named outside the mesh's folder is not read.
inline constexpr const char* kMsgMeshOutsideFolder = "Fichier hors du dossier du maillage, non lu : ";
inline constexpr const char* kMsgMeshTextureMissing = "Texture introuvable : ";

struct TMeshImportLimits {
  size_t Triangles = kMaxMeshTriangles;
  uint64_t FileBytes = kMaxMeshFileBytes;
};

struct TImportedMesh {
  // The file's name without its extension; "name 2", "name 3"... for the further meshes of a file
  // that holds several.
  std::string Name;
  // The mesh's (or its node's) own name in the file, when it has one.
  std::string SourceName;
  // A triangle list in the program's convention (left-handed, clockwise in front, texture origin
  // at the picture's top left), placed as the file places it; every vertex has a unit normal.
  TComposante Triangles;
  // The first material's colour (alpha: opacity), when the file gives one.
  D3DCOLOR Color = 0xFFFFFFFF;
  bool HasColor = false;
  bool HasTextureCoords = false;
  // The texture picture: an existing file inside the mesh's folder (absolute), or the bytes of a
  // picture the file holds itself, with its format ("png", "jpg"...).
  std::string TexturePath;
  std::string EmbeddedTexture;
  std::string EmbeddedTextureFormat;
};

struct TMeshImport {
  std::vector<TImportedMesh> Meshes;
  // What was left out, to be shown as information (triangles without coordinates, textures).
  std::vector<std::string> Notices;
};

// Whether the file's extension is one of the formats read here (any case).
bool IsMeshFileName(const std::string& path);

// Reads every mesh of the file. Fails with one of the messages above, naming the file (the reason
// says what was found); never reads a file outside the mesh's folder.
TExpected<TMeshImport> ImportMesh(const std::string& path, const TMeshImportLimits& limits = {});

}  // namespace ixoral
