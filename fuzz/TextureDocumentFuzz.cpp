// libFuzzer harness of a document's textures: any bytes as a document archive, opened as the
// batch tool's render opens one (the scene text read, every texture picture decoded within the
// load limits, written out and made into the surface the renderer draws from), then one view
// drawn with those surfaces.
//
// An input whose first byte is even is the archive file itself, with its trailer's CRC made
// right. An odd first byte describes the document instead: the rest is cut at each "\n@@\n"
// into the scene text, then the pictures, each behind a byte that picks its format in the
// registry's order (bmp, ico, jpg, png, tif, bw, rgb, cel, tga) by its low seven bits, as the decoder harness's inputs
// are; a part behind the byte 0xFF is a mesh entry instead, stored last under the name its
// content gives it (when it decodes), and "@MAILLAGE@" in the scene text stands for the first
// mesh's name, so that mesh solid records reach a mesh. The harness stores them uncompressed in
// an archive of its own making, so that mutations reach the decoders instead of all breaking a
// compressed stream.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "FuzzLimits.h"
#include "FuzzScratch.h"
#include "document/MeshArchive.h"
#include "document/SceneDocument.h"
#include "scene/MeshStore.h"
#include "render/SceneRenderer.h"
#include "storage/Archive.h"
#include "tools/images/Image.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kPartMark = "\n@@\n";
// A surface as small as a view can be drawn on: what the run exercises is the texture path, not
// the rasterizer's speed.
constexpr int kSurfaceWidth = 64, kSurfaceHeight = 48;
// Pictures a described document may carry: more than its limits let it keep.
constexpr size_t kMaxPictures = 8;

void Require(bool condition) {
  if (!condition) std::abort();
}

// The parts of a described document: its scene text, then its pictures.
std::vector<std::string> SplitParts(const std::string& in) {
  std::vector<std::string> parts;
  const std::string mark = kPartMark;
  size_t start = 0;
  for (size_t at; parts.size() <= kMaxPictures && (at = in.find(mark, start)) != std::string::npos;
       start = at + mark.size())
    parts.push_back(in.substr(start, at - start));
  if (parts.size() <= kMaxPictures) parts.push_back(in.substr(start));
  return parts;
}

void Put32(std::string& out, uint32_t v) {
  for (int k = 0; k < 4; ++k) out += static_cast<char>((v >> (8 * k)) & 0xFF);
}

// The trailer after `out` (blocks and directory), with the CRC of everything before it.
void AppendTrailer(std::string& out, uint32_t count, uint32_t directoryOffset) {
  std::string trailer;
  Put32(trailer, ixoral::Crc32(out.data(), out.size()));
  Put32(trailer, count);
  Put32(trailer, 1);
  Put32(trailer, 0);  // the directory is not compressed
  Put32(trailer, directoryOffset);
  trailer.append(16, '\0');
  out += trailer;
}

// The described document as the program's archive: every entry stored as it is, the directory
// uncompressed, as the reader accepts them. Made here rather than by the archive writer, whose
// compression state alone would cost more than the load.
std::string BuildDescribed(const std::string& in) {
  std::vector<std::string> parts = SplitParts(in);
  const auto& formats = ixoral::ImageFormats();
  // The meshes after the pictures, each named after its content.
  std::vector<std::pair<std::string, std::string>> entries{{"doc.ixr.tmp", parts.front()}}, meshes;
  for (size_t k = 1; k < parts.size(); ++k) {
    std::string bytes = parts[k];
    if (bytes.empty()) continue;
    const bool mesh = uint8_t(bytes[0]) == 0xFF;
    const ixoral::TImageFormat& format = formats[(uint8_t(bytes[0]) & 0x7F) % formats.size()];
    bytes.erase(0, 1);
    if (!mesh) {
      entries.push_back({"texture" + std::to_string(k) + "." + format.Extensions.front(), bytes});
      continue;
    }
    const auto decoded = ixoral::DecodeMesh(bytes, "fuzz");
    const std::string key = decoded ? ixoral::MeshKey(*decoded) : "maillage-0000000000000000";
    meshes.push_back({key + ixoral::kMeshEntryExtension, bytes});
  }
  if (!meshes.empty()) {
    const std::string key = meshes.front().first.substr(0, meshes.front().first.size() - 5);
    std::string& text = entries.front().second;
    for (size_t at; (at = text.find("@MAILLAGE@")) != std::string::npos;) text.replace(at, 10, key);
  }
  entries.insert(entries.end(), meshes.begin(), meshes.end());
  std::string blocks, directory;
  uint32_t count = 0;
  for (const auto& [name, bytes] : entries) {
    std::string record(1, static_cast<char>(name.size()));
    record += name;
    record.resize(512, '\0');  // the name, then an empty folder
    Put32(record, static_cast<uint32_t>(bytes.size()));
    Put32(record, static_cast<uint32_t>(bytes.size()));
    Put32(record, static_cast<uint32_t>(blocks.size()));
    Put32(record, ixoral::Crc32(bytes.data(), bytes.size()));
    record += '\1';  // stored
    record.resize(ixoral::kZLBEntrySize, '\0');
    directory += record;
    blocks += bytes;
    ++count;
  }
  const auto directoryOffset = static_cast<uint32_t>(blocks.size());
  std::string out = blocks + directory;
  AppendTrailer(out, count, directoryOffset);
  return out;
}

// The archive file an even input is, with the CRC of its trailer made right.
std::string FixRaw(std::string bytes) {
  if (bytes.size() >= ixoral::kZLBTrailerSize) {
    const size_t body = bytes.size() - ixoral::kZLBTrailerSize;
    const uint32_t crc = ixoral::Crc32(bytes.data(), body);
    for (int k = 0; k < 4; ++k) bytes[body + k] = static_cast<char>(crc >> (8 * k));
  }
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const ixoral::fuzz::TFuzzScratch scratch("ixoral_texture_fuzz_");
  if (size == 0) return 0;
  const std::string path = (scratch.Work() / "doc.ixr").string();
  const std::string textures = (scratch.Work() / "textures").string();
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string archive = (data[0] & 1) ? BuildDescribed(bytes) : FixRaw(bytes);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(archive.data(), 1, archive.size(), f);
  std::fclose(f);

  // The render command's scene: a display of its own, started before the document is read.
  ixoral::TDisplayScene drawn(kSurfaceWidth, kSurfaceHeight, nullptr, nullptr);
  drawn.Renderer.AutoRedraw = false;  // drawn once below, not after every object read
  Require(drawn.Renderer.InitDevice());
  ixoral::TScene& scene = drawn.Scene;
  scene.NewScene(false);
  const int before = scene.ObjectCount();
  const ixoral::TResult loaded =
      ixoral::LoadDocument(scene, path, textures, ixoral::TTextureUse::Extract, ixoral::FuzzLimits());
  // A refused document leaves nothing of itself; a textured solid holds a surface of
  // power-of-two sides within the texture side, or none with its texture dropped.
  if (!loaded && loaded.Error().Message.rfind(ixoral::kMsgDocumentTooLarge, 0) == 0)
    Require(scene.ObjectCount() == before);
  bool textured = false;
  for (int i = 0; i < scene.ObjectCount(); ++i) {
    const ixoral::TSolidObject* s = scene.SolidAt(i);
    if (!s || !s->TextureSurface) continue;
    const int w = s->TextureSurface->Width(), h = s->TextureSurface->Height();
    Require(w >= 2 && h >= 2 && w <= ixoral::kMaxTextureSide && h <= ixoral::kMaxTextureSide);
    Require((w & (w - 1)) == 0 && (h & (h - 1)) == 0);
    Require(s->Texturer && !s->TextureFile.empty());
    textured = true;
  }
  if (textured) drawn.Renderer.DrawView(0);
  std::error_code ec;
  fs::remove_all(textures, ec);
  return 0;
}
