// libFuzzer harness: any bytes as an assistant's character file, read as the character window
// reads it (without decoding the pictures).
//
// An input whose first byte is odd is a character description instead: when it reads, the
// harness packs it into a file with a PNG header of the character's size for every picture it
// names, so that mutations of the description reach the whole reading of the file. An even first
// byte: the rest is the file, with its trailer's CRC made right.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "assistant/CharacterFile.h"
#include "storage/Archive.h"

namespace {

std::string PngHeader(int w, int h) {
  std::string png("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
  for (int v : {w, h})
    for (int k = 3; k >= 0; --k) png += static_cast<char>((v >> (8 * k)) & 0xFF);
  return png + std::string("\x08\x06\0\0\0", 5);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace fs = std::filesystem;
  static const std::string path =
      (fs::temp_directory_path() / ("ixoral_character_fuzz_" + std::to_string(::getpid()) + ".acs")).string();
  static const struct TCleanup {
    ~TCleanup() {
      std::error_code ec;
      fs::remove(path, ec);
    }
  } cleanup;
  if (size == 0) return 0;
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] & 1) {
    ixoral::TCharacterInfo info;
    std::string error;
    if (!ixoral::ParseCharacterDescription(bytes, info, error)) return 0;
    const std::string picture = PngHeader(info.Width, info.Height);
    std::vector<ixoral::TArchiveInput> inputs{{ixoral::kCharacterDescriptionEntry, {}, &bytes}};
    for (const std::string& name : info.Pictures()) inputs.push_back({name, {}, &picture});
    try {
      ixoral::TZLBArchive a;
      a.CreateArchive(path, true);
      a.AddEntries(inputs);
    } catch (const ixoral::TArchiveError&) {
      return 0;
    }
  } else {
    std::string file = bytes;
    if (file.size() >= ixoral::kZLBTrailerSize) {
      const size_t body = file.size() - ixoral::kZLBTrailerSize;
      const uint32_t crc = ixoral::Crc32(file.data(), body);
      for (int k = 0; k < 4; ++k) file[body + k] = static_cast<char>(crc >> (8 * k));
    }
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
      std::fwrite(file.data(), 1, file.size(), f);
      std::fclose(f);
    }
  }
  ixoral::TCharacterFile character;
  if (character.Open(path)) {
    // What was accepted holds together.
    for (const std::string& name : character.Info().Pictures())
      if (!character.Pictures().count(name)) __builtin_trap();
  }
  return 0;
}
