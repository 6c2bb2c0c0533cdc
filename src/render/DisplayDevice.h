// The display layer of a scene: driver and device lists, surface and device creation from the
// display options, the release order, texture loading, and the names of the result codes.
// Device 0 ("Logiciel") is the software rasterizer; device 1, the hardware device, does not exist
// yet, and asking for it falls back to device 0 with a trace line.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "render/device/RenderDevice.h"
#include "render/device/Surface.h"
#include "scene/LightDevice.h"

namespace ixoral {

class TRenderThreads;
class TSettingsStore;

struct TGuid {
  std::array<uint8_t, 16> Bytes{};
  // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in the registry's spelling.
  std::string ToString() const;
  bool operator==(const TGuid&) const = default;
};

// The identifier a driver gives of itself.
struct TDeviceIdentifier {
  std::string Driver, Description;
  uint64_t DriverVersion = 0;
  DWORD VendorId = 0, DeviceId = 0, SubSysId = 0, Revision = 0;
  TGuid DeviceIdentifier;
  DWORD WHQLLevel = 0;
};

struct TDriverInfo {
  TGuid Guid;
  std::optional<TGuid> GuidRef;  // empty for the primary display driver
  std::string Description, Name;
  intptr_t Monitor = 0;
  TDeviceIdentifier Identifier;
};

// The part of a device description the program reads.
struct TDeviceDesc {
  DWORD DevCaps = 0;
  DWORD StencilCaps = 0;
  DWORD MinTextureWidth = 0, MinTextureHeight = 0, MaxTextureWidth = 0, MaxTextureHeight = 0;
  DWORD MaxActiveLights = 0;
  TGuid DeviceGuid;
};

struct TDeviceInfo {
  TGuid Guid;
  std::optional<TGuid> GuidRef;
  bool HardwareRasterization = false;
  std::string Description, Name;
  TDeviceDesc Desc;
};

enum : DWORD {
  DDPF_ALPHAPIXELS = 0x1,
  DDPF_ALPHA = 0x2,
  DDPF_FOURCC = 0x4,
  DDPF_RGB = 0x40,
  DDPF_ZBUFFER = 0x400,
  DDPF_STENCILBUFFER = 0x4000,
  DDPF_LUMINANCE = 0x20000,
  DDPF_BUMPLUMINANCE = 0x40000,
  DDPF_BUMPDUDV = 0x80000,
};

struct TPixelFormat {
  DWORD Flags = 0;
  DWORD FourCC = 0;
  DWORD BitCount = 0;  // RGB bit count, or z-buffer bit depth
  DWORD RMask = 0, GMask = 0, BMask = 0, AlphaMask = 0;
  DWORD StencilBitDepth = 0;
};

// Whether the texture-format enumeration keeps a format (it keeps the first one it accepts).
bool IsUsableTextureFormat(const TPixelFormat& format);

// Symbolic name of a result code: "No error", the D3DERR_ names, else "Unrecognized Error".
std::string ErrorName(HRESULT code);

// A texture's side on the device: the largest power of two not above `side`, at least 2. A picture
// is drawn from its top-left TextureSide(width) x TextureSide(height) pixels.
int TextureSide(int side);

// What shows a rectangle of the off-screen surface on the window; the user interface implements it.
class IPresenter {
 public:
  virtual ~IPresenter() = default;
  virtual void Present(const TSurface& surface, const D3DRECT& source, const D3DRECT& destination) = 0;
};

class TDisplayDevice final : public ISceneDevice {
 public:
  // `settings` (may be null: every option reads empty) holds the display options; `presenter`
  // (may be null) shows the surface on the window.
  TDisplayDevice(int surfaceWidth, int surfaceHeight, TSettingsStore* settings, IPresenter* presenter);
  ~TDisplayDevice() override;
  TDisplayDevice(const TDisplayDevice&) = delete;
  TDisplayDevice& operator=(const TDisplayDevice&) = delete;

  // Driver and device from the options, surfaces and device. The scene then adds its grid, axes,
  // line light, projection and default light.
  bool InitDisplay();
  bool CreateDirectDraw(int driver);
  bool CreateDevice(int device, bool wantStencil);
  void ReleaseDevice();
  void ReleaseDirectDraw();
  void EnumerateDrivers();
  void EnumerateDevices();
  void EnumerateZBufferFormats(const TGuid& device);
  void EnumerateTextureFormats();
  void ReadDriverIdentifiers();
  std::string DriverDisplayName(int index) const;

  // ISceneDevice: lights live in one store, shared with the drawing device.
  bool GetLight(int index, D3DLIGHT7& light) override { return FLights.GetLight(index, light); }
  bool SetLight(int index, const D3DLIGHT7& light) override { return FLights.SetLight(index, light); }
  bool LightEnable(int index, bool enable) override { return FLights.LightEnable(index, enable); }
  bool GetLightEnable(int index, bool& enabled) override { return FLights.GetLightEnable(index, enabled); }
  // The image cropped to power-of-two sides as the solid's texture; `Texturer` becomes true even
  // when the image cannot be read (the failure is traced and the solid has no texture surface).
  bool LoadTexture(TSolidObject& solid, const std::string& fileName) override;

  // A new off-screen surface of w x h with the same depth and stencil planes, and the drawing
  // device made again on it (the lights and the drawing threads are kept; render states start
  // anew). Before the display is started it only records the size. False, with everything kept,
  // when the size is refused.
  bool Resize(int width, int height);

  // Copies a rectangle of the off-screen surface to the window; false without surfaces.
  bool Blit(const D3DRECT& source, const D3DRECT& destination);

  // The drawing device (null until CreateDevice succeeds) and the off-screen surface, with every
  // drawing given to the device done on it.
  IRenderDevice* Device() { return FDevice.get(); }
  TSurface* OffscreenSurface() {
    if (FDevice) FDevice->Flush();
    return FOffscreen.get();
  }
  TMemoryLightDevice& Lights() { return FLights; }
  // The drawing threads every device made here draws with: started with the first device (their
  // count from IXORAL_RENDER_THREADS, else one per core) and joined when the display goes.
  std::shared_ptr<TRenderThreads> RenderThreads() const { return FThreads; }

  const std::vector<TDriverInfo>& Drivers() const { return FDrivers; }
  const std::vector<TDeviceInfo>& Devices() const { return FDevices; }
  const std::vector<TPixelFormat>& ZBufferFormats() const { return FZBufferFormats; }
  const std::vector<TPixelFormat>& TextureFormats() const { return FTextureFormats; }
  int DriverIndex = 0;
  int RenderDeviceIndex = 0;
  bool RelationDisplay = false;
  D3DCOLOR BackgroundColor = D3DRGB(0, 0, 0);
  int SurfaceWidth, SurfaceHeight;

  // Test hooks: the stencil operations the device reports, and an extra list of z-buffer formats
  // and texture formats, standing in for what other drivers enumerate.
  std::optional<DWORD> StencilCapsOverride;
  std::optional<std::vector<TPixelFormat>> ZBufferFormatsOverride;
  std::optional<std::vector<TPixelFormat>> TextureFormatsOverride;
  bool NoDrivers = false;

 private:
  // A drawing device on the off-screen surface, with the display's drawing threads.
  void MakeDevice();

  TSettingsStore* FSettings;
  IPresenter* FPresenter;
  TMemoryLightDevice FLights;
  std::vector<TDriverInfo> FDrivers;
  std::vector<TDeviceInfo> FDevices;
  std::vector<TPixelFormat> FZBufferFormats;
  std::vector<TPixelFormat> FTextureFormats;
  bool FDirectDraw = false, FPrimary = false, FClipper = false, FDirect3D = false;
  bool FIdentifiersRead = false;
  std::unique_ptr<TSurface> FOffscreen;
  std::shared_ptr<TRenderThreads> FThreads;
  std::unique_ptr<IRenderDevice> FDevice;
};

// A colour of the window system given by name ("clBlack", "clBtnFace"...) or number (decimal or
// "$BBGGRR" hexadecimal) as 0xRRGGBB; false when the text names no colour.
bool ColorFromText(const std::string& text, uint32_t& rgb);

}  // namespace ixoral
