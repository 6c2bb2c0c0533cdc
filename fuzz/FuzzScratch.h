// The scratch folder of a fuzzing run: one folder for the whole run, removed with its files when
// the run ends, in memory where the system has a memory file system. Every extracted file and
// texture is synced to its disk, and the syncs, not the reader, would otherwise set the pace.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace ixoral::fuzz {

class TFuzzScratch {
 public:
  explicit TFuzzScratch(const std::string& prefix)
      : FWork((std::filesystem::is_directory("/dev/shm") ? std::filesystem::path("/dev/shm")
                                                         : std::filesystem::temp_directory_path()) /
              (prefix + std::to_string(::getpid()))) {
    std::error_code ec;
    std::filesystem::create_directories(FWork, ec);
  }
  ~TFuzzScratch() {
    std::error_code ec;
    std::filesystem::remove_all(FWork, ec);
  }
  TFuzzScratch(const TFuzzScratch&) = delete;
  TFuzzScratch& operator=(const TFuzzScratch&) = delete;

  const std::filesystem::path& Work() const { return FWork; }

 private:
  std::filesystem::path FWork;
};

}  // namespace ixoral::fuzz
