// The meshes of the mesh solids: geometry that no generator makes again (a mesh imported from a
// file, the computed result of a relation). Each is kept once for the whole run under a name made
// from its content, so that undo steps, the clipboard and every document of the run name it in a
// few bytes of scene text and share one copy of its vertices.
#pragma once

#include <memory>
#include <string>

#include "scene/Objects.h"

namespace ixoral {

inline constexpr const char* kMeshKeyPrefix = "maillage-";

// "maillage-" and sixteen hexadecimal digits of a 64-bit hash of the components (primitive types,
// counts and every vertex bit for bit): equal meshes have equal names.
std::string MeshKey(const TArrayOfComposante& mesh);
// Keeps the mesh (or finds the equal one already kept) and answers its name.
std::string KeepMesh(TArrayOfComposante mesh);
// The mesh kept under `key`; null when this run keeps none under it. Safe from any thread.
std::shared_ptr<const TArrayOfComposante> FindMesh(const std::string& key);
// Whether a text has the form of a mesh name (the prefix and sixteen hexadecimal digits).
bool IsMeshKey(const std::string& key);

// A mesh solid of the kept mesh `key` (text parameter 1), made from the file `source` (text
// parameter 2, shown to the user; may be empty). Null when no mesh is kept under `key`.
std::unique_ptr<TSolidObject> CreateMeshSolid(const std::string& key, const std::string& source, D3DCOLOR colour);

// Triangles of a component list, whatever the primitive type of each component.
size_t TriangleCount(const TArrayOfComposante& mesh);

}  // namespace ixoral
