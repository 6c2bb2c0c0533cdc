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

}  // namespace ixoral::test
