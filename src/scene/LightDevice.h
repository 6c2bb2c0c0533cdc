// What scene objects need of the rendering device: its numbered lights and texture loading.
// The scene model stays usable without a device through the in-memory implementation below.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "scene/D3DTypes.h"

namespace ixoral {

class TSolidObject;

// The Direct3D light operations the scene objects use (read, write, enable, query light i).
class ILightDevice {
 public:
  virtual ~ILightDevice() = default;
  virtual bool GetLight(int index, D3DLIGHT7& light) = 0;
  virtual bool SetLight(int index, const D3DLIGHT7& light) = 0;
  virtual bool LightEnable(int index, bool enable) = 0;
  virtual bool GetLightEnable(int index, bool& enabled) = 0;
};

// A texture as the device holds it; the device layer derives its own surfaces from this.
class TTextureSurface {
 public:
  virtual ~TTextureSurface() = default;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
};

// The device as the scene container sees it.
class ISceneDevice : public ILightDevice {
 public:
  // Loads the image file as the solid's texture (`TextureSurface`) and sets `Texturer`; false
  // when the device cannot, in which case the solid has no texture surface.
  virtual bool LoadTexture(TSolidObject& solid, const std::string& fileName) = 0;
};

// Lights kept in memory, indexed like Direct3D's. Tests use it, and the software device keeps its
// lights in one.
class TMemoryLightDevice : public ILightDevice {
 public:
  // Light indices a scene can use; a document cannot make the device store more.
  static constexpr int kMaxLightIndex = 1 << 16;

  bool GetLight(int index, D3DLIGHT7& light) override;
  bool SetLight(int index, const D3DLIGHT7& light) override;
  bool LightEnable(int index, bool enable) override;
  bool GetLightEnable(int index, bool& enabled) override;

  const std::map<int, D3DLIGHT7>& Lights() const { return FLights; }
  // Grows with every light set or enabled, so that a reader can tell the lights may have changed.
  uint64_t Revision() const { return FRevision; }

 private:
  std::map<int, D3DLIGHT7> FLights;
  std::map<int, bool> FEnabled;
  uint64_t FRevision = 0;
};

// The device of a scene that has none: lights in memory, no textures.
class TNullDevice : public ISceneDevice {
 public:
  bool GetLight(int index, D3DLIGHT7& light) override { return FLights.GetLight(index, light); }
  bool SetLight(int index, const D3DLIGHT7& light) override { return FLights.SetLight(index, light); }
  bool LightEnable(int index, bool enable) override { return FLights.LightEnable(index, enable); }
  bool GetLightEnable(int index, bool& enabled) override { return FLights.GetLightEnable(index, enabled); }
  bool LoadTexture(TSolidObject&, const std::string&) override { return false; }

 private:
  TMemoryLightDevice FLights;
};

}  // namespace ixoral
