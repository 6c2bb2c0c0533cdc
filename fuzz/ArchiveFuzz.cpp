// libFuzzer harness: any bytes as a scene document, opened, read entry by entry and loaded as the
// modeller's "Ouvrir" does.
//
// An input whose first byte is odd describes the archive instead of being it: a 16-bit length,
// that many bytes of raw directory records, then the data blocks. The harness compresses the
// directory and writes the trailer (count, offsets, CRC) itself, so mutations of the records'
// offsets, sizes, names and flags reach the reader instead of all breaking the compressed
// directory or its checksum. An even first byte: the rest is the archive file, with its trailer's
// CRC made right.
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "storage/Archive.h"
#include "FuzzLimits.h"
#include "FuzzScratch.h"

namespace {

void Put32(std::string& out, uint32_t v) {
  for (int k = 0; k < 4; ++k) out += static_cast<char>((v >> (8 * k)) & 0xFF);
}

// The archive an odd input describes.
std::string BuildArchive(const std::string& in) {
  if (in.size() < 2) return {};
  const size_t dirLength =
      std::min<size_t>(static_cast<uint8_t>(in[0]) | (size_t(static_cast<uint8_t>(in[1])) << 8), in.size() - 2);
  const std::string dir = in.substr(2, dirLength);
  const std::string body = in.substr(2 + dirLength);
  uLongf packedSize = compressBound(dir.size());
  std::string packed(packedSize, '\0');
  const bool compressed =
      !dir.empty() && compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                                reinterpret_cast<const Bytef*>(dir.data()), dir.size(), Z_DEFAULT_COMPRESSION) == Z_OK;
  packed.resize(compressed ? packedSize : 0);
  std::string out = body + (compressed ? packed : dir);
  std::string trailer;
  Put32(trailer, ixoral::Crc32(out.data(), out.size()));
  Put32(trailer, static_cast<uint32_t>((dir.size() + ixoral::kZLBEntrySize - 1) / ixoral::kZLBEntrySize));
  Put32(trailer, 1);
  Put32(trailer, compressed ? static_cast<uint32_t>(packed.size()) : 0);
  Put32(trailer, static_cast<uint32_t>(body.size()));
  trailer += static_cast<char>(compressed ? 1 : 0);
  trailer.append(15, '\0');
  return out + trailer;
}

// What one input may make the reader do: entries read (a compressed directory of a few kilobytes
// can list thousands of empty ones), and bytes inflated for each, so that every input takes a few
// milliseconds and the run tries hundreds a second. Larger declared sizes are refused from the
// directory, which is what the run should exercise.
constexpr int kEntriesRead = 64;
constexpr uint64_t kEntryBytes = 1u << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace fs = std::filesystem;
  static const ixoral::fuzz::TFuzzScratch scratch("ixoral_fuzz_");
  const fs::path& work = scratch.Work();
  static const std::string path = (work / "doc.ixr").string();
  std::error_code ec;
  if (size == 0) return 0;
  std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] & 1) {
    bytes = BuildArchive(bytes);
  } else if (bytes.size() >= ixoral::kZLBTrailerSize) {
    // The trailer's CRC is made right, so that mutations reach the directory and the entries
    // instead of all stopping at the checksum.
    const size_t body = bytes.size() - ixoral::kZLBTrailerSize;
    const uint32_t crc = ixoral::Crc32(bytes.data(), body);
    for (int k = 0; k < 4; ++k) bytes[body + k] = static_cast<char>(crc >> (8 * k));
  }
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  try {
    ixoral::TZLBArchive a;
    a.CheckCRC = true;
    a.OpenArchive(path);
    for (int i = 0; i < std::min(a.EntryCount(), kEntriesRead); ++i) {
      std::string out;
      try {
        a.ExtractToStream(i, out, kEntryBytes);
        if (i < 4 && a.GetEntry(i).UncompressedSize <= kEntryBytes) a.ExtractFile((work / "out").string(), i);
      } catch (const ixoral::TArchiveError&) {
      }
    }
  } catch (const ixoral::TArchiveError&) {
  }
  // The whole load: scene text, budget, textures into a folder of the harness's own.
  ixoral::TScene scene;
  ixoral::TLoadLimits limits = ixoral::FuzzLimits();
  limits.TextBytes = limits.TextureBytes = kEntryBytes;
  (void)ixoral::LoadDocument(scene, path, (work / "textures").string(), ixoral::TTextureUse::Extract, limits);
  fs::remove_all(work / "out", ec);
  fs::remove_all(work / "textures", ec);
  return 0;
}
