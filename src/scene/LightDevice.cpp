// In-memory Direct3D lights.
#include "scene/LightDevice.h"

namespace ixoral {

bool TMemoryLightDevice::GetLight(int index, D3DLIGHT7& light) {
  const auto it = FLights.find(index);
  if (it == FLights.end()) return false;
  light = it->second;
  return true;
}

bool TMemoryLightDevice::SetLight(int index, const D3DLIGHT7& light) {
  if (index < 0 || index > kMaxLightIndex) return false;
  ++FRevision;
  FLights[index] = light;
  return true;
}

bool TMemoryLightDevice::LightEnable(int index, bool enable) {
  if (index < 0 || index > kMaxLightIndex) return false;
  ++FRevision;
  // Direct3D gives a light that was never set the default light when it is first enabled.
  if (!FLights.count(index)) {
    D3DLIGHT7 def;
    def.dltType = D3DLIGHT_DIRECTIONAL;
    def.dcvDiffuse = {1, 1, 1, 0};
    def.dvDirection = {0, 0, 1};
    FLights[index] = def;
  }
  FEnabled[index] = enable;
  return true;
}

bool TMemoryLightDevice::GetLightEnable(int index, bool& enabled) {
  const auto it = FLights.find(index);
  if (it == FLights.end()) return false;
  const auto e = FEnabled.find(index);
  enabled = e != FEnabled.end() && e->second;
  return true;
}

}  // namespace ixoral
