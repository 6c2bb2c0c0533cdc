// Documents: the scene text and the texture pictures in one archive, written whole and read back
// with each picture extracted where the scene's objects find it.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "document/SceneDocument.h"
#include "platform/DataFiles.h"
#include "platform/Trace.h"
#include "storage/Archive.h"
#include "storage/OutputFile.h"
#include "tools/images/Image.h"

namespace ixoral {
namespace fs = std::filesystem;

// ---------------------------------------------------------------- documents

std::string DefaultTextureFolder() {
  return XdgUserFolder("XDG_DATA_HOME", "/.local/share") + "/Quillbeck/Ixoral/textures";
}

TDocumentContents PrepareDocument(TScene& scene, const std::string& path) {
  TDocumentContents c;
  c.TextEntry = fs::path(path).filename().string() + ".tmp";
  c.Text = WriteSceneText(scene);
  for (int i = 0; i < scene.ObjectCount(); ++i)
    if (const TSolidObject* s = scene.SolidAt(i); s && s->Texturer)
      c.Textures.push_back({fs::path(s->TextureFile).filename().string(), s->TextureFile});
  return c;
}

TResult WriteDocumentContents(const TDocumentContents& contents, const std::string& path,
                              const TDocumentProgress& progress, TFileMode mode) {
  std::vector<TArchiveInput> inputs;
  inputs.push_back({contents.TextEntry, "", &contents.Text});
  for (const auto& [entry, file] : contents.Textures) inputs.push_back({entry, file, nullptr});

  // Two textures under one file name cannot both be stored: refused before anything is written,
  // so the previous document stays as it was.
  std::vector<std::string> keys;
  for (const TArchiveInput& input : inputs) {
    const std::string key = ArchiveEntryKey(input.EntryName);
    if (std::find(keys.begin(), keys.end(), key) != keys.end()) return TError(kArcAlreadyExists);
    keys.push_back(key);
  }
  // The archive writes itself atomically at the path: complete, or not at all.
  TZLBArchive archive;
  archive.OnProgress = progress;
  archive.WriteMode = mode;
  TResult written;
  try {
    archive.CreateArchive(path, true);
    if (!archive.AddEntries(inputs)) written = FileAccessFailure(path, archive.LastWriteFailure());
  } catch (const TArchiveError& e) {
    written = e.Error();
  }
  archive.CloseArchive();
  return written;
}

TResult SaveDocument(TScene& scene, const std::string& path, bool overwrite, const TDocumentProgress& progress) {
  std::error_code ec;
  if (fs::exists(path, ec) && !overwrite) return ReplaceRefused(path);
  // The user's own file: saving over it keeps its permissions and owner, and through a link
  // writes the document the link names.
  TResult written = WriteDocumentContents(PrepareDocument(scene, path), path, progress, TFileMode::KeepReplaced);
  if (written) scene.FileName = path;
  return written;
}

namespace {

// A solid whose texture the document does not provide: drawn plain, and its path forgotten so
// that no later save can embed whatever file that path names on this machine.
void DropTexture(TSolidObject& s, const std::string& why) {
  Trace(why + s.TextureFile);
  s.Texturer = false;
  s.TextureFile.clear();
  s.TextureSurface.reset();
}

bool SameFileContent(const std::string& path, const std::string& bytes) {
  std::error_code ec;
  if (!fs::is_regular_file(fs::symlink_status(path, ec)) || fs::file_size(path, ec) != bytes.size() || ec) return false;
  std::ifstream in(path, std::ios::binary);
  std::string have(bytes.size(), '\0');
  return in.read(have.data(), static_cast<std::streamsize>(have.size())) && have == bytes;
}

uint64_t FolderBytes(const fs::path& folder) {
  uint64_t total = 0;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (it->is_regular_file(ec)) total += it->file_size(ec);
  return total;
}

}  // namespace

void PruneTextureFolders(const std::string& root, const std::string& keep, uint64_t maxBytes) {
  struct TFolder {
    fs::path Path;
    fs::file_time_type Used;
    uint64_t Bytes;
  };
  std::vector<TFolder> folders;
  uint64_t total = 0;
  std::error_code ec;
  const fs::path kept = fs::path(keep).lexically_normal();
  for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    if (!fs::is_directory(fs::symlink_status(it->path(), ec))) continue;
    const uint64_t bytes = FolderBytes(it->path());
    total += bytes;
    if (it->path().lexically_normal() != kept)
      folders.push_back({it->path(), fs::last_write_time(it->path(), ec), bytes});
  }
  std::sort(folders.begin(), folders.end(), [](const TFolder& a, const TFolder& b) { return a.Used < b.Used; });
  for (const TFolder& f : folders) {
    if (total <= maxBytes) break;
    fs::remove_all(f.Path, ec);
    if (!ec) total -= f.Bytes;
  }
}

TResult LoadDocument(TScene& scene, const std::string& path, const std::string& textureFolder, TTextureUse textures,
                     const TLoadLimits& limits, const TDocumentProgress& progress) {
  TZLBArchive archive;
  archive.OnProgress = progress;
  TResult read;
  try {
    archive.OpenArchive(path);
    if (archive.EntryCount() < 1) return FileAccessFailure(path);
    std::string text;
    archive.ExtractToStream(0, text, limits.TextBytes);
    std::string refusal;
    const bool ok = ReadSceneText(scene, text, &refusal, limits);
    if (!refusal.empty()) return TError(kMsgDocumentTooLarge + refusal);
    // A text that fails part way keeps what was read before, textures included.
    if (ok)
      scene.FileName = path;
    else
      read = FileAccessFailure(path);
    // Texture k of the archive belongs to the k-th textured solid. Each document gets a folder
    // of its own, so two documents carrying different images under one file name never take
    // each other's texture (a later save would otherwise embed the wrong image).
    const std::string root = textureFolder.empty() ? DefaultTextureFolder() : textureFolder;
    const std::string folder = root + "/" + DocumentTextureFolderName(path);
    bool extracted = false;
    int k = 1;
    for (int i = 0; i < scene.ObjectCount(); ++i) {
      TSolidObject* s = scene.SolidAt(i);
      if (!s || !s->Texturer) continue;
      if (k >= archive.EntryCount()) {
        DropTexture(*s, "Texture absente du document, objet sans texture : ");
        continue;
      }
      const int entry = k++;
      const std::string name = archive.GetEntry(entry).FileNameUtf8();
      if (textures == TTextureUse::Skip) {  // nothing written: the name alone, for what it is
        s->TextureFile = name;
        continue;
      }
      std::string bytes;
      archive.ExtractToStream(entry, bytes, limits.TextureBytes);
      // Only a picture the decoders accept is written to the disk.
      std::string message;
      bool picture = name.find_first_of("/\\") == std::string::npos && name != "." && name != "..";
      if (picture) {
        TImage image;
        picture = DecodeImage(fs::path(name).extension().string(), reinterpret_cast<const uint8_t*>(bytes.data()),
                              bytes.size(), image, message);
      }
      if (!picture) {
        DropTexture(*s, "Texture illisible (" + name + " " + message + "), objet sans texture : ");
        continue;
      }
      std::error_code ec;
      fs::create_directories(folder, ec);
      const std::string file = folder + "/" + name;
      // The same document opened again finds its images in place.
      if (!SameFileContent(file, bytes) && !WriteOutputFile(file, bytes)) {
        DropTexture(*s, "Texture non écrite (" + file + "), objet sans texture : ");
        continue;
      }
      scene.Device().LoadTexture(*s, file);
      s->TextureFile = file;
      extracted = true;
    }
    archive.CloseArchive();
    if (extracted) {
      std::error_code ec;
      fs::last_write_time(folder, fs::file_time_type::clock::now(), ec);  // used just now
      PruneTextureFolders(root, folder);
    }
    return read;
  } catch (const TArchiveError& e) {
    // A damaged texture after a damaged text: the text's message comes first.
    TResult failed = e.Error();
    if (!read) failed.AddNotice(read.Error().Message);
    return failed;
  }
}

}  // namespace ixoral
