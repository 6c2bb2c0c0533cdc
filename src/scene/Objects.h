// Scene objects: solids (a mesh of drawable components with the shape parameters it was generated
// from) and lights (a Direct3D light with a cone drawn as its symbol).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "scene/LightDevice.h"
#include "scene/VectorMath.h"

namespace ixoral {

class TScene;

// An object's identity in its scene: given by the scene when the object is added, never given
// to another object of that scene, unchanged while the object lives whatever moves in the list.
using TObjectId = uint64_t;
inline constexpr TObjectId kNoObject = 0;

// One drawable piece of a mesh: a Direct3D primitive type and its vertices, drawn without indices.
struct TComposante {
  int32_t PrimitiveType = D3DPT_TRIANGLELIST;
  std::vector<D3DVERTEX> Vertices;
};
using TArrayOfComposante = std::vector<TComposante>;

struct TVertexRef {
  int32_t Composante = -1;
  int32_t Vertex = -1;
  bool operator==(const TVertexRef&) const = default;
};

struct TNoiseParams {
  double Min = 0, Max = 0;
  int32_t Seed = 0;
  bool Addition = false;
};

struct TTorsionParams {
  Vec3d AxisStart, AxisEnd;
  double Angle = 0;
};

// Shape codes and their display names.
enum TShapeType : uint8_t {
  stCube = 0,
  stCubePerce = 1,
  stCylindre = 2,
  stCercle = 3,
  stCercleSimple = 4,
  stTore = 5,
  stSphere = 6,
  stPyramide = 7,
  stCone = 8,
  stParam = 9,
  stPlanVertical = 10,
  stPlanHorizontal = 11,
  stUser = 12,
  stTexte3d = 13,
  stParamUser = 14,
  // A mesh no generator makes again (imported from a file, or a relation's computed result): its
  // components are kept in the run's mesh store, named in text parameter 1.
  stMaillage = 15,
};
inline constexpr int kShapeTypeCount = 16;
extern const std::array<const char*, kShapeTypeCount> ShapeTypeNames;
// How many Params and TextParams each shape code uses (what a document stores).
extern const std::array<int, kShapeTypeCount> ShapeParamCounts;
extern const std::array<int, kShapeTypeCount> ShapeTextParamCounts;

// CSG relation of a solid to its parent.
enum TRelation : uint8_t { relAucune = 0, relSoustraction = 1, relIntersection = 2 };
extern const std::array<const char*, 3> RelationNames;

// Light types: 1 ambient (chosen in the inspector), 2 spot, 3 aimed light.
enum TLightType : uint8_t { ltNone = 0, ltAmbiante = 1, ltSpot = 2, ltAimed = 3 };

inline constexpr int kParamCount = 10;
inline constexpr int kTextParamCount = 3;
inline constexpr size_t kMaxTextParamLength = 255;
inline constexpr int kSelectionMarkCount = 48;

class T3dObject {
 public:
  virtual ~T3dObject() = default;
  T3dObject(const T3dObject&) = delete;
  T3dObject& operator=(const T3dObject&) = delete;

  const std::string& Name() const { return FName; }
  // kNoObject until a scene adds the object.
  TObjectId Id() const { return FId; }

  Vec3d Position;
  Vec3d VectDir;
  Vec3d Redim;
  D3DMATRIX ScaleMatrix;
  D3DMATRIX TranslationMatrix;
  D3DMATRIX RotationMatrix;
  bool Afficher = false;
  Vec3d BoxCenter;
  float Specular = 0;
  D3DCOLOR Color = 0;
  std::array<D3DLVERTEX, kSelectionMarkCount> SelectionMarks{};

  // The eight virtual setters, in slot order.
  virtual void SetColor(D3DCOLOR colour) = 0;
  virtual void SetSpecular(float value) = 0;
  virtual void SetVisible(bool value) = 0;
  virtual void SetPosition(const Vec3d& value) = 0;
  virtual void SetDirection(const Vec3d& value) = 0;
  // Angles (radians) are totals since the last SaveMatrices, about the three axes in order.
  virtual void Rotate(const Vec3d& angles, const std::array<D3DVECTOR, 3>& axes, TScene* scene) = 0;
  virtual void SetScale(const Vec3d& value) = 0;
  virtual void SaveMatrices() = 0;

  virtual bool IsLight() const = 0;

  // Position, direction, scale and the three matrices, as another object has them.
  void CopyPlacementFrom(const T3dObject& source);

  // 1-based; an index outside 1..10 (1..3) reads 0 (empty) and is ignored on write.
  float GetParam(int i) const;
  void SetParam(int i, float value);
  const std::string& GetTextParam(int i) const;
  // Texts longer than 255 bytes are cut (never inside a UTF-8 character).
  void SetTextParam(int i, const std::string& value);

 protected:
  T3dObject();

 private:
  friend class TScene;
  std::string FName;
  TObjectId FId = kNoObject;
  std::array<float, kParamCount> FParams{};
  std::array<std::string, kTextParamCount> FTextParams;
};

class TSolidObject final : public T3dObject {
 public:
  TSolidObject();
  ~TSolidObject() override;

  TArrayOfComposante Composantes;
  uint8_t ShapeType = stCube;
  std::shared_ptr<TTextureSurface> TextureSurface;
  std::vector<TVertexRef> ModifiedVertices;
  std::string TextureFile;
  bool Texturer = false;
  D3DMATERIAL7 Material;
  std::array<D3DMATRIX, 3> SavedMatrices;  // rotation, translation, scale
  Vec3d VectHaut{0, 1, 0};
  uint8_t Relation = relAucune;
  bool ShowRelation = false;
  uint8_t PivotStyle = 0;
  bool Bruit = false;
  bool Torsion = false;
  std::unique_ptr<TNoiseParams> NoiseParams;
  std::unique_ptr<TTorsionParams> TorsionParams;

  void SetColor(D3DCOLOR colour) override;
  void SetSpecular(float value) override;
  void SetVisible(bool value) override;
  void SetPosition(const Vec3d& value) override;
  void SetDirection(const Vec3d& value) override;
  void Rotate(const Vec3d& angles, const std::array<D3DVECTOR, 3>& axes, TScene* scene) override;
  void SetScale(const Vec3d& value) override;
  void SaveMatrices() override;
  bool IsLight() const override { return false; }

  int ComposanteCount() const { return static_cast<int>(Composantes.size()); }
  void SetComposanteCount(int n);
  TComposante GetComposante(int i) const;
  void SetComposante(int i, const TComposante& c);
  Vec3d TransformPoint(const Vec3d& p) const;
  void SetOrientation(const D3DVECTOR& dir, const D3DVECTOR& up);
  // Running index counts 1, 2, 3 ... through all components; {-1, -1} when n is out of range.
  TVertexRef VertexByRunningIndex(int n) const;
  Vec3d GetTexCoordAt(const Vec3d& p, int n) const;
  bool SetTexCoordAt(const Vec3d& p, float tu, float tv, int n);
  int ModifiedCount() const { return static_cast<int>(ModifiedVertices.size()); }
  void SetModifiedCount(int n);
  // Leaves `ref` unchanged when k is out of range.
  void GetModified(int k, TVertexRef& ref) const;
  void SetModified(int k, const TVertexRef& ref);
  void AddModified(int composante, int vertex);
  void MarkModifiedAt(const Vec3d& p);
  void SetNoise(int32_t seed, bool addition, double max, double min);
  void SetTorsion(const Vec3d& axisStart, const Vec3d& axisEnd, double angle);
  // New noise and torsion records with the source's values, for each one the source has on;
  // a record the source has off is left as it is here.
  void CopyDeformationRecordsFrom(const TSolidObject& source);
  // Total number of vertices over all components.
  size_t VertexCount() const;
  // The parent of the solid's association (kNoObject: none); linked through its scene.
  TObjectId ParentId() const { return FParent; }

 private:
  friend class TScene;
  D3DVERTEX* VertexAt(const TVertexRef& r);
  // The parent of an association, by identity; read and changed through the scene.
  TObjectId FParent = kNoObject;
};

class TLight final : public T3dObject {
 public:
  explicit TLight(TScene* scene);
  ~TLight() override;

  int32_t DeviceIndex = 0;
  TComposante Symbol;
  Vec3d AimVector{0, 0, -1};
  float SpotAngle = 0;
  D3DMATERIAL7 SymbolMaterial;
  TScene* Scene = nullptr;
  uint8_t LightType = ltNone;
  D3DMATRIX SavedRotation;

  void SetColor(D3DCOLOR colour) override;
  void SetSpecular(float value) override;
  void SetVisible(bool value) override;
  void SetPosition(const Vec3d& value) override;
  void SetDirection(const Vec3d& value) override;
  void Rotate(const Vec3d& angles, const std::array<D3DVECTOR, 3>& axes, TScene* scene) override;
  void SetScale(const Vec3d& value) override;
  void SaveMatrices() override;
  bool IsLight() const override { return true; }

  // 1 directional, 2 spot on the device; other values keep the device type.
  void SetType(uint8_t t);

 private:
  // The device behind the scene when this light drives one of its lights, else null.
  ILightDevice* DeviceLight() const;
  // Device position := the symbol's first vertex through scale, rotation and translation.
  void UpdateDevicePlacement(D3DLIGHT7& light) const;
};

// Splits a colour into its components as the material setters use them.
D3DCOLORVALUE ColorValue(D3DCOLOR colour, float alpha);

}  // namespace ixoral
