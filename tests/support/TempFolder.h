// A private folder for a test, under the system's temporary folder, removed with everything in it
// when the owner goes out of scope.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace ixoral::test {

class TTempFolder {
 public:
  explicit TTempFolder(const std::string& label = "test") {
    const auto base = std::filesystem::temp_directory_path() / ("ixoral-" + label + "-XXXXXX");
    std::string tmpl = base.string();
    if (::mkdtemp(tmpl.data())) FPath = tmpl;
  }
  ~TTempFolder() {
    std::error_code ec;
    if (!FPath.empty()) std::filesystem::remove_all(FPath, ec);
  }
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;

  const std::filesystem::path& Path() const { return FPath; }
  // The path of `name` inside the folder, as a string.
  std::string File(const std::string& name) const { return (FPath / name).string(); }

 private:
  std::filesystem::path FPath;
};

// Points the per-user folders (settings, data, state, cache) into `home`, so a test run never
// reads or changes the real user's files.
inline void UsePrivateUserFolders(const TTempFolder& home) {
  ::setenv("XDG_CONFIG_HOME", home.File("config").c_str(), 1);
  ::setenv("XDG_DATA_HOME", home.File("data").c_str(), 1);
  ::setenv("XDG_STATE_HOME", home.File("state").c_str(), 1);
  ::setenv("XDG_CACHE_HOME", home.File("cache").c_str(), 1);
}

}  // namespace ixoral::test
