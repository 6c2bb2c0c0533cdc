// libFuzzer harness: any bytes as a scene document, opened and read entry by entry.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "document/Archive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // One file for the whole run, removed when the run ends.
  static const struct TScratch {
    std::string Path = (std::filesystem::temp_directory_path() /
                        ("ixoral_fuzz_" + std::to_string(::getpid()) + ".ixr")).string();
    ~TScratch() { std::remove(Path.c_str()); }
  } scratch;
  const std::string& path = scratch.Path;
  // The trailer's CRC is made right, so that mutations reach the directory and the entries
  // instead of all stopping at the checksum.
  std::string bytes(reinterpret_cast<const char*>(data), size);
  if (bytes.size() >= ixoral::kZLBTrailerSize) {
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
    for (int i = 0; i < a.EntryCount(); ++i) {
      std::string out;
      try {
        a.ExtractToStream(i, out);
      } catch (const ixoral::TArchiveError&) {
      }
    }
  } catch (const ixoral::TArchiveError&) {
  }
  return 0;
}
