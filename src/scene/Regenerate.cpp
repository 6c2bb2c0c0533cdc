// Dispatch of a shape code to the generator that rebuilds it.
#include "scene/Regenerate.h"

#include "scene/Curves.h"
#include "scene/MeshStore.h"
#include "scene/Shapes.h"
#include "scene/Text3D.h"

namespace ixoral {

bool RegenerateComposantes(uint8_t shapeType, const TSolidObject& params, TArrayOfComposante& out) {
  switch (shapeType) {
    case stParam:
    case stParamUser:
      return BuildCurveComposantes(shapeType, params, out);
    case stTexte3d:
      return BuildTextComposantes(shapeType, params, out);
    case stMaillage: {
      const auto mesh = FindMesh(params.GetTextParam(1));
      if (!mesh) return false;
      out = *mesh;
      return true;
    }
    default:
      return BuildPrimitiveComposantes(shapeType, params, out);
  }
}

std::unique_ptr<TSolidObject> RegenerateSolid(uint8_t shapeType, const TSolidObject& params, D3DCOLOR colour,
                                              TTextAllowance* textAllowance) {
  switch (shapeType) {
    case stParam:
    case stParamUser:
      return RebuildCurveObject(shapeType, params, colour);
    case stTexte3d:
      return RebuildText3DObject(params, colour, textAllowance);
    case stMaillage:
      return CreateMeshSolid(params.GetTextParam(1), params.GetTextParam(2), colour);
    default:
      return RebuildPrimitiveObject(shapeType, params, colour);
  }
}

}  // namespace ixoral
