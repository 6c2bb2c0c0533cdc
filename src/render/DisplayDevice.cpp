// The display layer: start-up from the options with its trace lines, surfaces, z-buffer and
// stencil choice, enumerations of our own drivers and devices, texture loading, result names.
#include "render/DisplayDevice.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "platform/Settings.h"
#include "platform/Trace.h"
#include "render/device/RenderThreads.h"
#include "render/device/SoftwareDevice.h"
#include "scene/Objects.h"
#include "tools/images/Image.h"

namespace ixoral {

namespace {

// Identities of our own driver and devices.
constexpr TGuid kPrimaryDriverGuid{
    {0x6a, 0x1f, 0x3e, 0x52, 0x9c, 0x07, 0x4b, 0x21, 0x8d, 0x3a, 0x11, 0x5e, 0x20, 0x7c, 0x48, 0x01}};
constexpr TGuid kSoftwareDeviceGuid{
    {0x6a, 0x1f, 0x3e, 0x52, 0x9c, 0x07, 0x4b, 0x21, 0x8d, 0x3a, 0x11, 0x5e, 0x20, 0x7c, 0x48, 0x10}};
constexpr DWORD kAllStencilCaps = D3DSTENCILCAPS_KEEP | D3DSTENCILCAPS_ZERO | D3DSTENCILCAPS_REPLACE |
                                  D3DSTENCILCAPS_INCRSAT | D3DSTENCILCAPS_DECRSAT | D3DSTENCILCAPS_INVERT |
                                  D3DSTENCILCAPS_INCR | D3DSTENCILCAPS_DECR;

}  // namespace

int TextureSide(int side) {
  const double r = std::round(std::log2(double(std::max(side, 1))));
  double t = std::max(2.0, std::pow(2.0, r));
  if (t > side) t = std::max(2.0, std::pow(2.0, r - 1));
  return static_cast<int>(t);
}

std::string TGuid::ToString() const {
  char buf[40];
  const auto& b = Bytes;
  std::snprintf(buf, sizeof buf, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[3], b[2],
                b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
  return buf;
}

bool IsUsableTextureFormat(const TPixelFormat& f) {
  if (f.Flags == DDPF_LUMINANCE || f.Flags == DDPF_BUMPLUMINANCE || f.Flags == DDPF_BUMPDUDV ||
      f.Flags == DDPF_ALPHAPIXELS || f.Flags == DDPF_ALPHA)
    return false;
  if (f.Flags & DDPF_FOURCC) return false;
  if (f.AlphaMask == 0xF000) return false;
  return true;
}

TDisplayDevice::TDisplayDevice(int surfaceWidth, int surfaceHeight, TSettingsStore* settings, IPresenter* presenter)
    : SurfaceWidth(surfaceWidth), SurfaceHeight(surfaceHeight), FSettings(settings), FPresenter(presenter) {}

TDisplayDevice::~TDisplayDevice() {
  ReleaseDevice();
  ReleaseDirectDraw();
}

bool TDisplayDevice::InitDisplay() {
  ReleaseDevice();
  ReleaseDirectDraw();
  EnumerateDrivers();
  if (FDrivers.empty()) {
    Trace("Check 1 :");
    return false;
  }
  Trace("Check 1 :" + FDrivers[0].Guid.ToString());
  auto option = [this](const char* key, const char* name) {
    return FSettings ? FSettings->ReadString(key, name) : std::string();
  };
  DriverIndex = 0;
  const std::string driver = option("\\Affichage", "Driver");
  for (size_t i = 0; i < FDrivers.size(); ++i) {
    if (driver.empty()) {
      if (!FDrivers[i].GuidRef) {
        DriverIndex = static_cast<int>(i);
        break;
      }
    } else if (FDrivers[i].GuidRef && FDrivers[i].Guid.ToString() == driver) {
      DriverIndex = static_cast<int>(i);  // the last such driver
    }
  }
  if (!CreateDirectDraw(DriverIndex)) return false;
  RenderDeviceIndex = option("\\Affichage", "Device") == "0" ? 0 : 1;
  RelationDisplay = option("\\Affichage", "OpBool") == "1";
  BackgroundColor = D3DRGB(0, 0, 0);
  const std::string background = option("\\Options", "CouleurFond");
  if (!background.empty()) {
    uint32_t rgb = 0;
    if (ColorFromText(background, rgb))
      BackgroundColor = D3DRGBA(((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0, 1);
    else
      Trace("Couleur de fond illisible : " + background);
  }
  return CreateDevice(RenderDeviceIndex, RelationDisplay);
}

bool TDisplayDevice::CreateDirectDraw(int driver) {
  if (driver < 0 || driver >= static_cast<int>(FDrivers.size())) return false;
  Trace("Creation du directdraw 7");
  FDirectDraw = true;
  Trace("Mise en place du setcooperativelevel");
  Trace("Creation de la surface primaire");
  FPrimary = true;
  Trace("Creation de la surface fenetree");
  FOffscreen = std::make_unique<TSurface>(SurfaceWidth, SurfaceHeight);
  if (!FOffscreen->Valid()) {
    // Without its off-screen surface the scene could not draw: a failure, not a step to skip.
    Trace(ErrorName(DDERR_INVALIDPARAMS));
    FOffscreen.reset();
    return false;
  }
  Trace("Create clipper");
  FClipper = true;
  Trace("Handle du clipper");
  Trace("Attacher le clipper à la primary");
  return true;
}

bool TDisplayDevice::CreateDevice(int device, bool wantStencil) {
  ReleaseDevice();
  Trace("Interface Direct3d 7");
  if (!FDirectDraw || !FOffscreen) {
    Trace(ErrorName(D3DERR_INITFAILED));
    return false;
  }
  FDirect3D = true;
  EnumerateDevices();
  if (device == 1 &&
      std::none_of(FDevices.begin(), FDevices.end(), [](const TDeviceInfo& d) { return d.HardwareRasterization; })) {
    Trace("Périphérique matériel indisponible : périphérique logiciel utilisé");
    device = 0;
  }
  if (device < 0 || device >= static_cast<int>(FDevices.size())) return false;
  Trace("Creation de la surface zbuffer");
  EnumerateZBufferFormats(FDevices[device].Guid);
  if (FZBufferFormats.empty()) {
    Trace("Pas de zbuffer disponible !!");
    return false;
  }
  size_t chosen = 0;
  if (wantStencil)
    for (size_t i = 1; i < FZBufferFormats.size(); ++i)
      if (FZBufferFormats[i].StencilBitDepth > FZBufferFormats[chosen].StencilBitDepth) chosen = i;
  Trace("Attacher le z buffer à l'offscreenbuffer");
  FOffscreen->AttachDepth(FZBufferFormats[chosen].StencilBitDepth > 0);
  MakeDevice();
  const DWORD caps = StencilCapsOverride.value_or(FDevice->StencilCaps());
  Trace("Stencil caps");
  const std::pair<DWORD, const char*> names[] = {{D3DSTENCILCAPS_KEEP, "keep"},     {D3DSTENCILCAPS_ZERO, "zero"},
                                                 {D3DSTENCILCAPS_REPLACE, "rep"},   {D3DSTENCILCAPS_INCRSAT, "incrs"},
                                                 {D3DSTENCILCAPS_DECRSAT, "decrs"}, {D3DSTENCILCAPS_INVERT, "invert"},
                                                 {D3DSTENCILCAPS_INCR, "incr"},     {D3DSTENCILCAPS_DECR, "decr"}};
  for (const auto& [flag, name] : names) Trace((caps & flag) ? name : std::string("pas ") + name);
  return !wantStencil || (caps & (D3DSTENCILCAPS_ZERO | D3DSTENCILCAPS_REPLACE)) != 0;
}

void TDisplayDevice::ReleaseDevice() {
  FDirect3D = false;
  FDevice.reset();
}

void TDisplayDevice::ReleaseDirectDraw() {
  // The drawing device draws on the off-screen surface, so it cannot outlive it.
  FDevice.reset();
  if (FOffscreen) FOffscreen->DetachDepth();
  FOffscreen.reset();
  FClipper = false;
  FPrimary = false;
  FDirectDraw = false;
}

void TDisplayDevice::EnumerateDrivers() {
  Trace("Directdrawenumerate");
  FDrivers.clear();
  if (NoDrivers) return;
  TDriverInfo d;
  d.Guid = kPrimaryDriverGuid;
  d.Description = "Affichage principal";
  d.Name = "ixoral";
  FDrivers.push_back(d);
}

void TDisplayDevice::EnumerateDevices() {
  Trace("Enum Devices");
  FDevices.clear();
  TDeviceInfo d;
  d.Guid = kSoftwareDeviceGuid;
  d.GuidRef = kSoftwareDeviceGuid;
  d.HardwareRasterization = false;
  d.Description = "Rendu logiciel d'Ixoral";
  d.Name = "Logiciel";
  d.Desc.DevCaps = 0;
  d.Desc.StencilCaps = kAllStencilCaps;
  d.Desc.MinTextureWidth = d.Desc.MinTextureHeight = 1;
  d.Desc.MaxTextureWidth = d.Desc.MaxTextureHeight = kMaxSurfaceSide;
  d.Desc.MaxActiveLights = 0xFFFFFFFF;
  d.Desc.DeviceGuid = kSoftwareDeviceGuid;
  FDevices.push_back(d);
}

void TDisplayDevice::EnumerateZBufferFormats(const TGuid&) {
  Trace("EnumZBufferFormats");
  if (ZBufferFormatsOverride) {
    FZBufferFormats = *ZBufferFormatsOverride;
    return;
  }
  // Depth is kept as 32-bit floating point, with an optional 8-bit stencil plane.
  TPixelFormat depth;
  depth.Flags = DDPF_ZBUFFER;
  depth.BitCount = 32;
  TPixelFormat depthStencil = depth;
  depthStencil.Flags |= DDPF_STENCILBUFFER;
  depthStencil.BitCount = 40;
  depthStencil.StencilBitDepth = 8;
  FZBufferFormats = {depth, depthStencil};
}

void TDisplayDevice::EnumerateTextureFormats() {
  Trace("EnumTextureFormats");
  std::vector<TPixelFormat> candidates;
  if (TextureFormatsOverride) {
    candidates = *TextureFormatsOverride;
  } else {
    // Textures are opaque 32-bit colour: the texture's colour modulates the object's, whose alpha
    // alone makes it transparent.
    TPixelFormat f;
    f.Flags = DDPF_RGB;
    f.BitCount = 32;
    f.RMask = 0xFF0000, f.GMask = 0xFF00, f.BMask = 0xFF;
    candidates.push_back(f);
  }
  FTextureFormats.clear();
  for (const TPixelFormat& f : candidates)
    if (IsUsableTextureFormat(f)) {
      FTextureFormats.push_back(f);
      break;
    }
}

void TDisplayDevice::ReadDriverIdentifiers() {
  if (FIdentifiersRead) return;
  FIdentifiersRead = true;
  for (size_t i = 0; i < FDrivers.size(); ++i) {
    Trace("Info carte du driver n°" + std::to_string(i));
    Trace("DirectDrawCreateEx");
    TDeviceIdentifier& id = FDrivers[i].Identifier;
    id.Driver = "ixoral";
    id.Description = "Rendu logiciel d'Ixoral";
    id.DriverVersion = 0x0000000100000000ull;
    id.DeviceIdentifier = kSoftwareDeviceGuid;
  }
}

std::string TDisplayDevice::DriverDisplayName(int index) const {
  if (index < 0 || index >= static_cast<int>(FDrivers.size())) return std::string();
  return FDrivers[index].Description + ", " + FDrivers[index].Name;
}

bool TDisplayDevice::LoadTexture(TSolidObject& solid, const std::string& fileName) {
  solid.Texturer = true;
  solid.TextureSurface.reset();
  TImage image;
  std::string message;
  if (!LoadImageFile(fileName, image, message)) {
    Trace(message);
    return false;
  }
  const int w = image.Width, h = image.Height;
  const int tw = TextureSide(w), th = TextureSide(h);
  // The picture is drawn on a bitmap of the display's depth, which is 32 bits here.
  Trace("Bits per pixel");
  Trace("32");
  Trace("GetTextureFormats");
  EnumerateTextureFormats();
  Trace("Creation de la surface Texture");
  if (FTextureFormats.empty()) {
    Trace(ErrorName(DDERR_INVALIDPARAMS));
    return false;
  }
  auto texture = std::make_shared<TSurface>(tw, th);
  Trace("Creation de la surface temporaire");
  if (!texture->Valid()) {
    Trace(ErrorName(DDERR_OUTOFMEMORY));
    return false;
  }
  Trace("rgbbitcount");
  Trace(std::to_string(FTextureFormats[0].BitCount));
  if (FTextureFormats[0].BitCount == 8) {
    // Paletted pictures keep their colour table; our surfaces store the looked-up colours.
    Trace("Creation de la palette");
    Trace("Set Palette");
  }
  Trace("Creation du dc de la tempsurface");
  Trace("BitBlt de la texture");
  // The top-left tw x th pixels, not scaled; a side shorter than 2 repeats its last pixel.
  for (int y = 0; y < th; ++y)
    for (int x = 0; x < tw; ++x)
      texture->SetPixel(x, y, 0xFF000000u | image.PixelAt(std::min(x, w - 1), std::min(y, h - 1)));
  Trace("Deletedc hdcbitmap");
  Trace("Blit vers la texture");
  Trace("Release hdcsurface");
  Trace("Set Texture");
  solid.TextureSurface = std::move(texture);
  return true;
}

bool TDisplayDevice::Resize(int width, int height) {
  if (!FOffscreen) {
    if (width <= 0 || height <= 0) return false;
    SurfaceWidth = width;
    SurfaceHeight = height;
    return true;
  }
  if (width == SurfaceWidth && height == SurfaceHeight) return true;
  auto surface = std::make_unique<TSurface>(width, height);
  if (!surface->Valid()) return false;
  const bool hadDevice = FDevice != nullptr;
  if (FOffscreen->HasDepth()) surface->AttachDepth(FOffscreen->HasStencil());
  FDevice.reset();  // it draws on the surface being replaced
  FOffscreen = std::move(surface);
  SurfaceWidth = width;
  SurfaceHeight = height;
  if (hadDevice) MakeDevice();
  return true;
}

void TDisplayDevice::MakeDevice() {
  if (!FThreads) FThreads = std::make_shared<TRenderThreads>(TRenderThreads::DefaultCount());
  FDevice = std::make_unique<TSoftwareDevice>(*FOffscreen, FLights, FThreads);
}

bool TDisplayDevice::Blit(const D3DRECT& source, const D3DRECT& destination) {
  if (!FOffscreen || !FPrimary) return false;
  if (FDevice) FDevice->Flush();
  if (FPresenter) FPresenter->Present(*FOffscreen, source, destination);
  return true;
}

// --------------------------------------------------------------------------- result names

std::string ErrorName(HRESULT code) {
  if (code == 0) return "No error";
  struct TName {
    uint32_t Code;
    const char* Name;
  };
  static const TName names[] = {
      {700, "D3DERR_BADMAJORVERSION"},
      {701, "D3DERR_BADMINORVERSION"},
      {705, "D3DERR_INVALID_DEVICE"},
      {706, "D3DERR_INITFAILED"},
      {707, "D3DERR_DEVICEAGGREGATED"},
      {710, "D3DERR_EXECUTE_CREATE_FAILED"},
      {711, "D3DERR_EXECUTE_DESTROY_FAILED"},
      {712, "D3DERR_EXECUTE_LOCK_FAILED"},
      {713, "D3DERR_EXECUTE_UNLOCK_FAILED"},
      {714, "D3DERR_EXECUTE_LOCKED"},
      {715, "D3DERR_EXECUTE_NOT_LOCKED"},
      {716, "D3DERR_EXECUTE_FAILED"},
      {717, "D3DERR_EXECUTE_CLIPPED_FAILED"},
      {720, "D3DERR_TEXTURE_NO_SUPPORT"},
      {721, "D3DERR_TEXTURE_CREATE_FAILED"},
      {722, "D3DERR_TEXTURE_DESTROY_FAILED"},
      {723, "D3DERR_TEXTURE_LOCK_FAILED"},
      {724, "D3DERR_TEXTURE_UNLOCK_FAILED"},
      {725, "D3DERR_TEXTURE_LOAD_FAILED"},
      {726, "D3DERR_TEXTURE_SWAP_FAILED"},
      {727, "D3DERR_TEXTURE_LOCKED"},
      {728, "D3DERR_TEXTURE_NOT_LOCKED"},
      {729, "D3DERR_TEXTURE_GETSURF_FAILED"},
      {730, "D3DERR_MATRIX_CREATE_FAILED"},
      {731, "D3DERR_MATRIX_DESTROY_FAILED"},
      {732, "D3DERR_MATRIX_SETDATA_FAILED"},
      {733, "D3DERR_MATRIX_GETDATA_FAILED"},
      {734, "D3DERR_SETVIEWPORTDATA_FAILED"},
      {735, "D3DERR_INVALIDCURRENTVIEWPORT"},
      {736, "D3DERR_INVALIDPRIMITIVETYPE"},
      {737, "D3DERR_INVALIDVERTEXTYPE"},
      {738, "D3DERR_TEXTURE_BADSIZE"},
      {739, "D3DERR_INVALIDRAMPTEXTURE"},
      {740, "D3DERR_MATERIAL_CREATE_FAILED"},
      {741, "D3DERR_MATERIAL_DESTROY_FAILED"},
      {742, "D3DERR_MATERIAL_SETDATA_FAILED"},
      {743, "D3DERR_MATERIAL_GETDATA_FAILED"},
      {744, "D3DERR_INVALIDPALETTE"},
      {745, "D3DERR_ZBUFF_NEEDS_SYSTEMMEMORY"},
      {746, "D3DERR_ZBUFF_NEEDS_VIDEOMEMORY"},
      {747, "D3DERR_SURFACENOTINVIDMEM"},
      {750, "D3DERR_LIGHT_SET_FAILED"},
      {751, "D3DERR_LIGHTHASVIEWPORT"},
      {752, "D3DERR_LIGHTNOTINTHISVIEWPORT"},
      {760, "D3DERR_SCENE_IN_SCENE"},
      {761, "D3DERR_SCENE_NOT_IN_SCENE"},
      {762, "D3DERR_SCENE_BEGIN_FAILED"},
      {763, "D3DERR_SCENE_END_FAILED"},
      {770, "D3DERR_INBEGIN"},
      {771, "D3DERR_NOTINBEGIN"},
      {772, "D3DERR_NOVIEWPORTS"},
      {773, "D3DERR_VIEWPORTDATANOTSET"},
      {774, "D3DERR_VIEWPORTHASNODEVICE"},
      {775, "D3DERR_NOCURRENTVIEWPORT"},
      {2048, "D3DERR_INVALIDVERTEXFORMAT"},
      {2050, "D3DERR_COLORKEYATTACHED"},
      {2060, "D3DERR_VERTEXBUFFEROPTIMIZED"},
      {2061, "D3DERR_VBUF_CREATE_FAILED"},
      {2062, "D3DERR_VERTEXBUFFERLOCKED"},
      {2070, "D3DERR_ZBUFFER_NOTPRESENT"},
      {2071, "D3DERR_STENCILBUFFER_NOTPRESENT"},
      {2072, "D3DERR_WRONGTEXTUREFORMAT"},
      {2073, "D3DERR_UNSUPPORTEDCOLOROPERATION"},
      {2074, "D3DERR_UNSUPPORTEDCOLORARG"},
      {2075, "D3DERR_UNSUPPORTEDALPHAOPERATION"},
      {2076, "D3DERR_UNSUPPORTEDALPHAARG"},
      {2077, "D3DERR_TOOMANYOPERATIONS"},
      {2078, "D3DERR_CONFLICTINGTEXTUREFILTER"},
      {2079, "D3DERR_UNSUPPORTEDFACTORVALUE"},
      {2081, "D3DERR_CONFLICTINGRENDERSTATE"},
      {2082, "D3DERR_UNSUPPORTEDTEXTUREFILTER"},
      {2083, "D3DERR_TOOMANYPRIMITIVES"},
      {2084, "D3DERR_INVALIDMATRIX"},
      {2085, "D3DERR_TOOMANYVERTICES"},
      {2086, "D3DERR_CONFLICTINGTEXTUREPALETTE"},
  };
  const uint32_t u = static_cast<uint32_t>(code);
  if ((u & 0xFFFF0000u) == 0x88760000u)
    for (const TName& n : names)
      if (n.Code == (u & 0xFFFF)) return n.Name;
  return "Unrecognized Error";
}

// ------------------------------------------------------------------------ colours by name

bool ColorFromText(const std::string& text, uint32_t& rgb) {
  // System colours (index 0..24 of the window system), in a classic light theme.
  static const uint32_t system[25] = {0xC8C8C8, 0x000000, 0x99B4D1, 0xBFCDDB, 0xF0F0F0, 0xFFFFFF, 0x646464,
                                      0x000000, 0x000000, 0x000000, 0xB4B4B4, 0xF4F7FC, 0xABABAB, 0x3399FF,
                                      0xFFFFFF, 0xF0F0F0, 0xA0A0A0, 0x6D6D6D, 0x000000, 0x000000, 0xFFFFFF,
                                      0x696969, 0xE3E3E3, 0x000000, 0xFFFFE1};
  static const std::pair<const char*, int64_t> names[] = {{"clblack", 0x000000},
                                                          {"clmaroon", 0x000080},
                                                          {"clgreen", 0x008000},
                                                          {"clolive", 0x008080},
                                                          {"clnavy", 0x800000},
                                                          {"clpurple", 0x800080},
                                                          {"clteal", 0x808000},
                                                          {"clgray", 0x808080},
                                                          {"clsilver", 0xC0C0C0},
                                                          {"clred", 0x0000FF},
                                                          {"cllime", 0x00FF00},
                                                          {"clyellow", 0x00FFFF},
                                                          {"clblue", 0xFF0000},
                                                          {"clfuchsia", 0xFF00FF},
                                                          {"claqua", 0xFFFF00},
                                                          {"clltgray", 0xC0C0C0},
                                                          {"cldkgray", 0x808080},
                                                          {"clwhite", 0xFFFFFF},
                                                          {"clmoneygreen", 0xC0DCC0},
                                                          {"clskyblue", 0xF0CAA6},
                                                          {"clcream", 0xF0FBFF},
                                                          {"clmedgray", 0xA4A0A0},
                                                          {"clscrollbar", -0x80000000LL},
                                                          {"clbackground", -0x7FFFFFFFLL},
                                                          {"clactivecaption", -0x7FFFFFFELL},
                                                          {"clinactivecaption", -0x7FFFFFFDLL},
                                                          {"clmenu", -0x7FFFFFFCLL},
                                                          {"clwindow", -0x7FFFFFFBLL},
                                                          {"clwindowframe", -0x7FFFFFFALL},
                                                          {"clmenutext", -0x7FFFFFF9LL},
                                                          {"clwindowtext", -0x7FFFFFF8LL},
                                                          {"clcaptiontext", -0x7FFFFFF7LL},
                                                          {"clactiveborder", -0x7FFFFFF6LL},
                                                          {"clinactiveborder", -0x7FFFFFF5LL},
                                                          {"clappworkspace", -0x7FFFFFF4LL},
                                                          {"clhighlight", -0x7FFFFFF3LL},
                                                          {"clhighlighttext", -0x7FFFFFF2LL},
                                                          {"clbtnface", -0x7FFFFFF1LL},
                                                          {"clbtnshadow", -0x7FFFFFF0LL},
                                                          {"clgraytext", -0x7FFFFFEFLL},
                                                          {"clbtntext", -0x7FFFFFEELL},
                                                          {"clinactivecaptiontext", -0x7FFFFFEDLL},
                                                          {"clbtnhighlight", -0x7FFFFFECLL},
                                                          {"cl3ddkshadow", -0x7FFFFFEBLL},
                                                          {"cl3dlight", -0x7FFFFFEALL},
                                                          {"clinfotext", -0x7FFFFFE9LL},
                                                          {"clinfobk", -0x7FFFFFE8LL}};
  std::string t;
  for (char c : text)
    if (!std::isspace(static_cast<unsigned char>(c)))
      t += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (t.empty()) return false;
  int64_t value = 0;
  bool found = false;
  for (const auto& [name, v] : names)
    if (t == name) {
      value = v;
      found = true;
      break;
    }
  if (!found) {
    // A number, decimal or "$" hexadecimal, as the colour property is stored.
    const bool negative = t[0] == '-';
    const std::string digits = negative ? t.substr(1) : t;
    const bool hex = !digits.empty() && (digits[0] == '$' || digits.rfind("0x", 0) == 0);
    const std::string body = hex ? digits.substr(digits[0] == '$' ? 1 : 2) : digits;
    if (body.empty() || body.size() > 10) return false;
    for (char c : body)
      if (!(hex ? std::isxdigit(static_cast<unsigned char>(c)) : std::isdigit(static_cast<unsigned char>(c))))
        return false;
    value = std::strtoll(body.c_str(), nullptr, hex ? 16 : 10);
    if (negative) value = -value;
    if (value > 0xFFFFFFFFLL || value < -0x80000000LL) return false;
  }
  uint32_t c = static_cast<uint32_t>(value);
  if (c & 0xFF000000u) {
    if ((c & 0xFF000000u) != 0x80000000u || (c & 0xFFFFFF) >= 25) return false;
    rgb = system[c & 0xFFFFFF];
    return true;
  }
  // The window system's colour numbers are 0x00BBGGRR.
  rgb = ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
  return true;
}

}  // namespace ixoral
