// Mesh solids in a scene: the solids an import of mesh files adds, and a solid whose relations
// are baked into one mesh.
#pragma once

#include <string>
#include <vector>

#include "platform/Result.h"
#include "scene/Scene.h"

namespace ixoral {

// The name a mesh solid takes when its file's name is taken: "Maillage" and the first free number.
inline constexpr const char* kMeshSolidPrefix = "Maillage";
inline constexpr const char* kMsgNoRelationToApply = "Aucune relation à appliquer sur : ";
inline constexpr const char* kMsgRelationFailed =
    "Relation impossible à calculer (surface ouverte ou qui se recoupe) : ";
inline constexpr const char* kMsgRelationEmpty = "Il ne reste rien du solide après la relation : ";
inline constexpr const char* kMsgRelationTextureLost = "La texture n'est pas reprise sur le solide découpé : ";

struct TAddedSolids {
  std::vector<int> Objects;          // the solids added, in the order of the files
  std::vector<std::string> Notices;  // what was left out, to be shown as information
};

// Adds one mesh solid per mesh of each file, in order: named after its file, placed as the file
// places it, in its material's colour (white without one), textured when the file gives a picture
// and texture coordinates. A picture the file holds itself is written to a folder of its own
// inside `textureFolder` (default: the per-user texture folder). Every file is read before any
// solid is added: a file that cannot be read fails the whole import with the reader's message,
// and the scene stays as it was.
TExpected<TAddedSolids> ImportMeshFiles(TScene& scene, const std::vector<std::string>& paths,
                                        const std::string& textureFolder = {});

// "Appliquer la relation": the solid at `object` (or, when it is itself related to a parent, the
// top of its chain of relations) and every solid related to it, directly or through another, are
// replaced by one mesh solid holding the computed result, under the top solid's name, with its
// colour, specular power, placement and association. Each related solid is applied to what its own
// relations left of it, in list order. Answers the new solid's index; fails, the scene untouched,
// when there is no relation, when a relation cannot be computed, or when nothing is left.
TExpected<TAddedSolids> ApplyRelation(TScene& scene, int object);

}  // namespace ixoral
