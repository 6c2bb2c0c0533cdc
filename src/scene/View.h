// The four views of a scene: camera, navigation transform (translation, rotation, scale) and the
// matrices built from them. The scene owns its views; drawing and picking work from these fields.
#pragma once

#include <array>
#include <cstdint>

#include "scene/VectorMath.h"

namespace ixoral {

struct TCamera {
  Vec3d Position;
  D3DVECTOR Direction;  // need not be unit length
};

enum TViewType : uint8_t { vtFace = 0, vtGauche = 1, vtHaut = 2, vtPerspective = 3 };

// Captions of the view types, and the names documents and settings store them under.
extern const std::array<const char*, 4> ViewTypeCaptions;  // "Face", "Gauche", "Haut", "Perspective"
extern const std::array<const char*, 4> ViewTypeNames;     // "Face", "Gauche", "Haut", "User"

// The camera matrix looking from P along D, world up made perpendicular to D (world Z when D is
// not horizontal).
D3DMATRIX LookToMatrix(const TCamera& camera);
// Rx(a) x Ry(b) x Rz(c) for the navigation angles (RotX, RotY, RotZ).
D3DMATRIX RotationFromAngles(const Vec3d& angles);
// The default camera of a view type; types outside 0..3 give the perspective camera.
TCamera DefaultCamera(int viewType);

class TVue {
 public:
  TVue() = default;

  uint8_t ViewType = vtFace;
  D3DVIEWPORT7 Viewport;
  TCamera Camera;
  uint8_t ViewIndex = 0;
  D3DMATRIX CameraMatrix;
  D3DMATRIX ScaleMatrix;
  D3DMATRIX RotationMatrix;
  D3DMATRIX TranslationMatrix;
  Vec3d Pos;
  Vec3d Rot;
  Vec3d Scale;

  void ResetView();
  void SetViewType(int type);
  void SetCamera(const TCamera& camera);
  void SetViewTranslation(const Vec3d& v);
  void SetViewRotation(const Vec3d& v);
  void SetViewScale(const Vec3d& v);
  void ResetNavigation();
  const char* ViewTypeName() const;
  // Scale x Rotation x Translation x Camera: what the view draws with.
  D3DMATRIX ModelViewMatrix() const;
};

}  // namespace ixoral
