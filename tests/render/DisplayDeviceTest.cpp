// The display layer: start-up from the options with its trace lines, device fallback, stencil
// requirements, enumerations, texture loading and the result-code names.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/Settings.h"
#include "platform/Trace.h"
#include "render/DisplayDevice.h"
#include "scene/Objects.h"
#include "scene/Scene.h"
#include "scene/Shapes.h"
#include "tools/images/Image.h"
#include "TempFolder.h"

namespace ixoral {
namespace {

const std::string kImages = std::string(IXORAL_TEST_DATA_DIR) + "/images/";

// Captures the trace lines written while it lives.
class TTraceCapture {
 public:
  TTraceCapture() {
    FPath = (std::filesystem::temp_directory_path() /
             ("ixoral-trace-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".log"))
                .string();
    std::filesystem::remove(FPath);
    SetTraceFile(FPath);
  }
  ~TTraceCapture() {
    SetTraceFile("");
    std::filesystem::remove(FPath);
  }
  std::vector<std::string> Lines() const {
    std::ifstream f(FPath);
    std::vector<std::string> lines;
    for (std::string l; std::getline(f, l);) lines.push_back(l);
    return lines;
  }
  bool Has(const std::string& line) const {
    const auto l = Lines();
    return std::find(l.begin(), l.end(), line) != l.end();
  }

 private:
  std::string FPath;
};

class DisplayDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FPath =
        (std::filesystem::temp_directory_path() /
         (std::string("ixoral-settings-") + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".ini"))
            .string();
    std::filesystem::remove(FPath);
    Settings = std::make_unique<TSettingsStore>(FPath);
  }
  void TearDown() override { std::filesystem::remove(FPath); }
  std::unique_ptr<TSettingsStore> Settings;

 private:
  std::string FPath;
};

TEST_F(DisplayDeviceTest, StartsWithTheSoftwareDeviceAndItsTraceLines) {
  TTraceCapture trace;
  TDisplayDevice d(320, 200, Settings.get(), nullptr);
  ASSERT_TRUE(d.InitDisplay());
  ASSERT_NE(d.Device(), nullptr);
  EXPECT_EQ(d.OffscreenSurface()->Width(), 320);
  EXPECT_TRUE(d.OffscreenSurface()->HasDepth());
  EXPECT_FALSE(d.OffscreenSurface()->HasStencil());  // no "OpBool": the first z-buffer format
  EXPECT_EQ(d.RenderDeviceIndex, 1);                 // asked for, not available
  EXPECT_FALSE(d.RelationDisplay);
  EXPECT_EQ(d.BackgroundColor, D3DRGB(0, 0, 0));
  const std::vector<std::string> expected = {"Directdrawenumerate",
                                             "Check 1 :" + d.Drivers()[0].Guid.ToString(),
                                             "Creation du directdraw 7",
                                             "Mise en place du setcooperativelevel",
                                             "Creation de la surface primaire",
                                             "Creation de la surface fenetree",
                                             "Create clipper",
                                             "Handle du clipper",
                                             "Attacher le clipper à la primary",
                                             "Interface Direct3d 7",
                                             "Enum Devices",
                                             "Périphérique matériel indisponible : périphérique logiciel utilisé",
                                             "Creation de la surface zbuffer",
                                             "EnumZBufferFormats",
                                             "Attacher le z buffer à l'offscreenbuffer",
                                             "Stencil caps",
                                             "keep",
                                             "zero",
                                             "rep",
                                             "incrs",
                                             "decrs",
                                             "invert",
                                             "incr",
                                             "decr"};
  EXPECT_EQ(trace.Lines(), expected);
}

TEST_F(DisplayDeviceTest, OptionsChooseDeviceStencilAndBackground) {
  Settings->WriteString("\\Affichage", "Device", "0");
  Settings->WriteString("\\Affichage", "OpBool", "1");
  Settings->WriteString("\\Options", "CouleurFond", "clNavy");
  TTraceCapture trace;
  TDisplayDevice d(64, 48, Settings.get(), nullptr);
  ASSERT_TRUE(d.InitDisplay());
  EXPECT_EQ(d.RenderDeviceIndex, 0);
  EXPECT_TRUE(d.RelationDisplay);
  EXPECT_TRUE(d.OffscreenSurface()->HasStencil());  // the format with the most stencil bits
  EXPECT_EQ(d.BackgroundColor, D3DRGB(0, 0, 128 / 255.0));
  EXPECT_FALSE(trace.Has("Périphérique matériel indisponible : périphérique logiciel utilisé"));
  Settings->WriteString("\\Options", "CouleurFond", "$0000FF");
  ASSERT_TRUE(d.InitDisplay());
  EXPECT_EQ(d.BackgroundColor, D3DRGB(1, 0, 0));
  Settings->WriteString("\\Options", "CouleurFond", "pas une couleur");
  ASSERT_TRUE(d.InitDisplay());
  EXPECT_EQ(d.BackgroundColor, D3DRGB(0, 0, 0));
}

TEST_F(DisplayDeviceTest, DriverOptionSelectsByGuidAndUnknownGuidKeepsTheFirst) {
  TDisplayDevice d(64, 48, Settings.get(), nullptr);
  Settings->WriteString("\\Affichage", "Driver", "{00000000-0000-0000-0000-000000000000}");
  ASSERT_TRUE(d.InitDisplay());
  EXPECT_EQ(d.DriverIndex, 0);
  EXPECT_EQ(d.DriverDisplayName(0), "Affichage principal, ixoral");
  EXPECT_EQ(d.DriverDisplayName(5), "");
  TTraceCapture trace;
  d.ReadDriverIdentifiers();
  d.ReadDriverIdentifiers();  // only once
  EXPECT_EQ(trace.Lines(), (std::vector<std::string>{"Info carte du driver n°0", "DirectDrawCreateEx"}));
  EXPECT_EQ(d.Drivers()[0].Identifier.Description, "Rendu logiciel d'Ixoral");
}

TEST_F(DisplayDeviceTest, StartFailures) {
  {
    TDisplayDevice d(64, 48, Settings.get(), nullptr);
    d.NoDrivers = true;
    EXPECT_FALSE(d.InitDisplay());
  }
  {
    // Stencil wanted on a device whose caps have neither ZERO nor REPLACE.
    Settings->WriteString("\\Affichage", "OpBool", "1");
    TDisplayDevice d(64, 48, Settings.get(), nullptr);
    d.StencilCapsOverride = D3DSTENCILCAPS_KEEP | D3DSTENCILCAPS_INCRSAT;
    TTraceCapture trace;
    EXPECT_FALSE(d.InitDisplay());
    EXPECT_TRUE(trace.Has("pas zero"));
    EXPECT_TRUE(trace.Has("pas rep"));
    d.StencilCapsOverride = D3DSTENCILCAPS_REPLACE;
    EXPECT_TRUE(d.InitDisplay());
  }
  {
    TDisplayDevice d(64, 48, Settings.get(), nullptr);
    d.ZBufferFormatsOverride = std::vector<TPixelFormat>{};
    TTraceCapture trace;
    EXPECT_FALSE(d.InitDisplay());
    EXPECT_TRUE(trace.Has("Pas de zbuffer disponible !!"));
  }
  {
    TDisplayDevice d(0, 48, Settings.get(), nullptr);  // no off-screen surface can be made
    EXPECT_FALSE(d.InitDisplay());
    EXPECT_EQ(d.Device(), nullptr);
  }
  {
    TDisplayDevice d(64, 48, Settings.get(), nullptr);
    EXPECT_FALSE(d.CreateDevice(0, false));  // no DirectDraw yet
    d.EnumerateDrivers();
    EXPECT_FALSE(d.CreateDirectDraw(3));
    ASSERT_TRUE(d.CreateDirectDraw(0));
    EXPECT_FALSE(d.CreateDevice(7, false));
    ASSERT_TRUE(d.CreateDevice(0, true));
    d.ReleaseDirectDraw();  // releases the device first: nothing draws on a freed surface
    EXPECT_EQ(d.Device(), nullptr);
  }
}

TEST_F(DisplayDeviceTest, ZBufferChoiceTakesTheFirstFormatWithTheMostStencilBits) {
  TPixelFormat a, b, c;
  a.Flags = b.Flags = c.Flags = DDPF_ZBUFFER;
  a.BitCount = 16;
  b.BitCount = 32, b.StencilBitDepth = 8;
  c.BitCount = 32, c.StencilBitDepth = 8;
  TDisplayDevice d(64, 48, Settings.get(), nullptr);
  d.ZBufferFormatsOverride = std::vector<TPixelFormat>{a, b, c};
  d.EnumerateDrivers();
  ASSERT_TRUE(d.CreateDirectDraw(0));
  ASSERT_TRUE(d.CreateDevice(0, false));
  EXPECT_FALSE(d.OffscreenSurface()->HasStencil());
  ASSERT_TRUE(d.CreateDevice(0, true));
  EXPECT_TRUE(d.OffscreenSurface()->HasStencil());
}

TEST(DisplayDeviceFormats, TextureFormatFilter) {
  TPixelFormat f;
  f.Flags = DDPF_RGB;
  f.BitCount = 16;
  EXPECT_TRUE(IsUsableTextureFormat(f));
  for (DWORD only : {DDPF_LUMINANCE, DDPF_BUMPLUMINANCE, DDPF_BUMPDUDV, DDPF_ALPHAPIXELS}) {
    f.Flags = only;
    EXPECT_FALSE(IsUsableTextureFormat(f)) << only;
  }
  f.Flags = DDPF_RGB | DDPF_FOURCC;
  EXPECT_FALSE(IsUsableTextureFormat(f));
  f.Flags = DDPF_RGB | DDPF_ALPHAPIXELS;
  f.AlphaMask = 0xF000;
  EXPECT_FALSE(IsUsableTextureFormat(f));
  f.AlphaMask = 0x8000;
  EXPECT_TRUE(IsUsableTextureFormat(f));
  // The enumeration keeps the first usable format only.
  TDisplayDevice d(8, 8, nullptr, nullptr);
  TPixelFormat lum, rgb565, argb;
  lum.Flags = DDPF_LUMINANCE;
  rgb565.Flags = DDPF_RGB, rgb565.BitCount = 16;
  argb.Flags = DDPF_RGB | DDPF_ALPHAPIXELS, argb.BitCount = 32;
  d.TextureFormatsOverride = std::vector<TPixelFormat>{lum, rgb565, argb};
  d.EnumerateTextureFormats();
  ASSERT_EQ(d.TextureFormats().size(), 1u);
  EXPECT_EQ(d.TextureFormats()[0].BitCount, 16u);
}

TEST(DisplayDeviceNames, ErrorNamesAndColours) {
  EXPECT_EQ(ErrorName(0), "No error");
  EXPECT_EQ(ErrorName(MakeDDHResult(700)), "D3DERR_BADMAJORVERSION");
  EXPECT_EQ(ErrorName(D3DERR_INITFAILED), "D3DERR_INITFAILED");
  EXPECT_EQ(ErrorName(MakeDDHResult(2086)), "D3DERR_CONFLICTINGTEXTUREPALETTE");
  EXPECT_EQ(ErrorName(D3DERR_ZBUFFER_NOTPRESENT), "D3DERR_ZBUFFER_NOTPRESENT");
  EXPECT_EQ(ErrorName(12345), "Unrecognized Error");
  EXPECT_EQ(ErrorName(MakeDDHResult(5)), "Unrecognized Error");  // a DirectDraw error
  EXPECT_EQ(ErrorName(DDERR_INVALIDPARAMS), "Unrecognized Error");
  uint32_t rgb = 0;
  ASSERT_TRUE(ColorFromText("clRed", rgb));
  EXPECT_EQ(rgb, 0xFF0000u);
  ASSERT_TRUE(ColorFromText("16711680", rgb));  // 0x00FF0000 as stored: blue
  EXPECT_EQ(rgb, 0x0000FFu);
  ASSERT_TRUE(ColorFromText("clBtnFace", rgb));
  ASSERT_TRUE(ColorFromText("-2147483633", rgb));  // the same system colour by number
  EXPECT_EQ(rgb, 0xF0F0F0u);
  EXPECT_FALSE(ColorFromText("$1FFFFFFFF", rgb));
  EXPECT_FALSE(ColorFromText("-2147483000", rgb));
  EXPECT_FALSE(ColorFromText("12a", rgb));
  TGuid g;
  for (int i = 0; i < 16; ++i) g.Bytes[size_t(i)] = uint8_t(i);
  EXPECT_EQ(g.ToString(), "{03020100-0504-0706-0809-0A0B0C0D0E0F}");
}

TEST_F(DisplayDeviceTest, LoadTextureReducesPicturesWiderThanTheTextureSide) {
  TDisplayDevice d(64, 48, Settings.get(), nullptr);
  ASSERT_TRUE(d.InitDisplay());
  test::TTempFolder folder("widetexture");
  const std::vector<uint32_t> pixels(size_t(2 * kMaxTextureSide) * 2, 0xFF336699u);
  ASSERT_TRUE(WriteBmpFile(folder.File("large.bmp"), 2 * kMaxTextureSide, 2, pixels.data()));
  auto solid = CreateCube(0xFFFFFFFF, 0.5);
  ASSERT_TRUE(d.LoadTexture(*solid, folder.File("large.bmp")));
  ASSERT_TRUE(solid->TextureSurface);
  EXPECT_EQ(solid->TextureSurface->Width(), kMaxTextureSide);
}

TEST_F(DisplayDeviceTest, LoadTextureCropsToPowerOfTwoSides) {
  TDisplayDevice d(64, 48, Settings.get(), nullptr);
  ASSERT_TRUE(d.InitDisplay());
  auto solid = CreateCube(0xFFFFFFFF, 0.5);
  TTraceCapture trace;
  ASSERT_TRUE(d.LoadTexture(*solid, kImages + "texture-300x200.bmp"));
  EXPECT_TRUE(solid->Texturer);
  ASSERT_TRUE(solid->TextureSurface);
  EXPECT_EQ(solid->TextureSurface->Width(), 256);
  EXPECT_EQ(solid->TextureSurface->Height(), 128);
  auto* s = dynamic_cast<TSurface*>(solid->TextureSurface.get());
  ASSERT_NE(s, nullptr);
  // The picture's pixel (x, y) is (x mod 256, y, x div 256 x 100): its top-left part, unscaled.
  EXPECT_EQ(s->Pixel(0, 0), 0xFF000000u);
  EXPECT_EQ(s->Pixel(255, 127), 0xFFFF7F00u);
  EXPECT_EQ(s->Pixel(17, 99), 0xFF116300u);
  EXPECT_TRUE(trace.Has("Creation de la surface Texture"));
  EXPECT_TRUE(trace.Has("Set Texture"));
  // 1 x 1 gives 2 x 2.
  ASSERT_TRUE(d.LoadTexture(*solid, kImages + "one-pixel.bmp"));
  EXPECT_EQ(solid->TextureSurface->Width(), 2);
  EXPECT_EQ(solid->TextureSurface->Height(), 2);
  EXPECT_EQ(dynamic_cast<TSurface*>(solid->TextureSurface.get())->Pixel(1, 1), 0xFF0AC81Eu);
  // 8-bit paletted source.
  ASSERT_TRUE(d.LoadTexture(*solid, kImages + "pattern8.bmp"));
  EXPECT_EQ(solid->TextureSurface->Width(), 32);
  EXPECT_EQ(solid->TextureSurface->Height(), 16);
  EXPECT_EQ(dynamic_cast<TSurface*>(solid->TextureSurface.get())->Pixel(5, 0), 0xFFFF0000u);
  // An unreadable file: traced, Texturer set, no surface.
  EXPECT_FALSE(d.LoadTexture(*solid, kImages + "missing.jpg"));
  EXPECT_TRUE(solid->Texturer);
  EXPECT_FALSE(solid->TextureSurface);
}

struct TRecordingPresenter : IPresenter {
  int Calls = 0;
  D3DRECT Source, Destination;
  uint32_t FirstPixel = 0;
  void Present(const TSurface& surface, const D3DRECT& source, const D3DRECT& destination) override {
    ++Calls;
    Source = source;
    Destination = destination;
    FirstPixel = surface.Pixel(source.x1, source.y1);
  }
};

TEST_F(DisplayDeviceTest, BlitShowsTheOffscreenSurfaceThroughThePresenter) {
  TRecordingPresenter presenter;
  TDisplayDevice d(64, 48, Settings.get(), &presenter);
  EXPECT_FALSE(d.Blit({0, 0, 64, 48}, {0, 0, 64, 48}));  // no surfaces yet
  ASSERT_TRUE(d.InitDisplay());
  d.Device()->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF123456, 1, 0);
  EXPECT_TRUE(d.Blit({32, 0, 64, 24}, {100, 100, 132, 124}));
  EXPECT_EQ(presenter.Calls, 1);
  EXPECT_EQ(presenter.Destination.x1, 100);
  EXPECT_EQ(presenter.FirstPixel, 0xFF123456u);
}

TEST_F(DisplayDeviceTest, ASceneRunsOnTheDisplayDeviceAndSharesItsLights) {
  auto device = std::make_unique<TDisplayDevice>(64, 48, Settings.get(), nullptr);
  TDisplayDevice* d = device.get();
  ASSERT_TRUE(d->InitDisplay());
  TScene scene(std::move(device));
  scene.NewScene(true);  // the default spot light goes to Direct3D light 1
  bool on = false;
  ASSERT_EQ(d->Device()->GetLightEnable(1, on), D3D_OK);
  EXPECT_TRUE(on);
  D3DLIGHT7 l;
  ASSERT_EQ(d->Device()->GetLight(1, l), D3D_OK);
  EXPECT_EQ(l.dltType, D3DLIGHT_SPOT);
}

}  // namespace
}  // namespace ixoral
