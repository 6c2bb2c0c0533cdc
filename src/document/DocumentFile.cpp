// Documents: the scene text and the texture pictures in one archive, written whole and read back
// with each picture extracted where the scene's objects find it.
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <set>

#include "document/MeshArchive.h"
#include "document/SceneDocument.h"
#include "platform/DataFiles.h"
#include "platform/Encoding.h"
#include "platform/RunFolder.h"
#include "platform/Trace.h"
#include "scene/MeshStore.h"
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
  // The k-th textured solid reads the k-th picture, so each has an entry of its own. Entries are
  // keyed by file name: one picture on several solids, or two pictures under one name, go in
  // under numbered names ("bois-2.bmp"), which the solids read back.
  std::set<std::string> taken{ArchiveEntryKey(c.TextEntry)};
  for (int i = 0; i < scene.ObjectCount(); ++i) {
    const TSolidObject* s = scene.SolidAt(i);
    if (!s || !s->Texturer) continue;
    const fs::path file = fs::path(s->TextureFile).filename();
    std::string entry = file.string();
    for (int n = 2; !taken.insert(ArchiveEntryKey(entry)).second; ++n)
      entry = file.stem().string() + "-" + std::to_string(n) + file.extension().string();
    c.Textures.push_back({entry, s->TextureFile});
  }
  std::set<std::string> meshes;
  for (int i = 0; i < scene.ObjectCount(); ++i) {
    const TSolidObject* s = scene.SolidAt(i);
    if (!s || s->ShapeType != stMaillage || !meshes.insert(s->GetTextParam(1)).second) continue;
    if (auto mesh = FindMesh(s->GetTextParam(1))) c.Meshes.push_back({s->GetTextParam(1) + kMeshEntryExtension, mesh});
  }
  return c;
}

TResult WriteDocumentContents(const TDocumentContents& contents, const std::string& path,
                              const TDocumentProgress& progress, TFileMode mode) {
  std::vector<TArchiveInput> inputs;
  inputs.push_back({contents.TextEntry, "", &contents.Text});
  for (const auto& [entry, file] : contents.Textures) inputs.push_back({entry, file, nullptr});
  // The meshes are encoded here, off the thread that owns the scene: the store's meshes never change.
  std::vector<std::string> meshBytes;
  meshBytes.reserve(contents.Meshes.size());
  for (const auto& [entry, mesh] : contents.Meshes) {
    meshBytes.push_back(EncodeMesh(*mesh));
    inputs.push_back({entry, "", &meshBytes.back()});
  }

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
  // A folder some run holds (a document open in a modeller, a render under way) stays: its
  // textures are what that document's next save embeds.
  for (const TFolder& f : folders) {
    if (total <= maxBytes) break;
    if (RemoveFolderUnlessInUse(f.Path.string())) total -= f.Bytes;
  }
}

bool HoldTextureFolderOf(const std::string& textureFile, const std::string& root) {
  std::error_code ec;
  const fs::path base = fs::weakly_canonical(root.empty() ? DefaultTextureFolder() : root, ec);
  const fs::path file = fs::weakly_canonical(textureFile, ec);
  if (ec || base.empty()) return false;
  // The document folder is the first one below the root on the way to the file.
  auto b = base.begin();
  auto f = file.begin();
  for (; b != base.end(); ++b, ++f)
    if (f == file.end() || *f != *b) return false;
  if (f == file.end() || std::next(f) == file.end()) return false;  // the root, or a file right in it
  return HoldFolderInUse((base / *f).string());
}

namespace {

uint32_t Le16(const std::string& b, size_t at) {
  return uint32_t(uint8_t(b[at])) | (uint32_t(uint8_t(b[at + 1])) << 8);
}
uint32_t Le32(const std::string& b, size_t at) { return Le16(b, at) | (Le16(b, at + 2) << 16); }
uint32_t Be16(const std::string& b, size_t at) {
  return (uint32_t(uint8_t(b[at])) << 8) | uint32_t(uint8_t(b[at + 1]));
}
uint32_t Be32(const std::string& b, size_t at) { return (Be16(b, at) << 16) | Be16(b, at + 2); }

// The first frame header of a JPEG stream, found by walking its markers up to the scan.
bool JpegSize(const std::string& b, int64_t& width, int64_t& height) {
  if (b.size() < 4 || uint8_t(b[0]) != 0xFF || uint8_t(b[1]) != 0xD8) return false;
  size_t i = 2;
  while (i + 4 <= b.size()) {
    if (uint8_t(b[i]) != 0xFF) return false;
    const uint8_t marker = uint8_t(b[i + 1]);
    if (marker == 0xFF) {  // fill byte
      ++i;
      continue;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // markers without a length
      i += 2;
      continue;
    }
    if (marker == 0xDA || marker == 0xD9) return false;  // the scan, or the end, before any frame
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      if (i + 9 > b.size()) return false;
      height = Be16(b, i + 5);
      width = Be16(b, i + 7);
      return true;
    }
    i += 2 + Be16(b, i + 2);
  }
  return false;
}

// The pixels a picture of width x height keeps once reduced to the texture side, as FitImageSide
// reduces it.
uint64_t KeptPixels(int64_t w, int64_t h) {
  const int64_t side = kMaxTextureSide;
  if (w <= side && h <= side) return uint64_t(w * h);
  if (w >= h) return uint64_t(side * std::max<int64_t>(1, (h * side + w / 2) / w));
  return uint64_t(side * std::max<int64_t>(1, (w * side + h / 2) / h));
}

}  // namespace

bool DeclaredPictureSize(const std::string& extension, const std::string& bytes, int64_t& width, int64_t& height) {
  const TImageFormat* format = FindImageFormat(extension);
  if (!format) return false;
  const std::string& b = bytes;
  width = height = 0;
  if (format->Decode == DecodeBmp) {
    if (b.size() < 26 || b[0] != 'B' || b[1] != 'M') return false;
    if (Le32(b, 14) == 12) {  // the old core header: 16-bit sides
      width = Le16(b, 18);
      height = int16_t(Le16(b, 20));
    } else {
      width = int32_t(Le32(b, 18));
      height = int32_t(Le32(b, 22));
    }
    height = height < 0 ? -height : height;  // negative: rows stored top-down
  } else if (format->Decode == DecodeTarga) {
    if (b.size() < 18) return false;
    width = Le16(b, 12);
    height = Le16(b, 14);
  } else if (format->Decode == DecodePng) {
    if (b.size() < 24 || b.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 || b.compare(12, 4, "IHDR") != 0) return false;
    width = Be32(b, 16);
    height = Be32(b, 20);
  } else if (format->Decode == DecodeSgi) {
    if (b.size() < 10 || Be16(b, 0) != 474) return false;
    width = Be16(b, 6);
    height = Be16(b, 4) == 1 ? 1 : Be16(b, 8);
  } else if (format->Decode == DecodeJpeg) {
    if (!JpegSize(b, width, height)) return false;
  } else {
    return false;
  }
  return width > 0 && height > 0;
}

TResult LoadDocument(TScene& scene, const std::string& path, const std::string& textureFolder, TTextureUse textures,
                     const TLoadLimits& limits, const TDocumentProgress& progress) {
  TZLBArchive archive;
  archive.OnProgress = progress;
  TResult read;
  // A refusal leaves the scene exactly as the caller gave it.
  TSceneRestorePoint restore(scene);
  const auto tooLarge = [&](const std::string& why) -> TResult {
    restore.Restore();
    return TError(kMsgDocumentTooLarge + why);
  };
  try {
    archive.OpenArchive(path);
    if (archive.EntryCount() < 1) return FileAccessFailure(path);
    // The meshes come last, each under its own name: kept for the run before the text names them.
    int meshesFrom = archive.EntryCount();
    while (meshesFrom > 1 && archive.GetEntry(meshesFrom - 1).FileNameUtf8().ends_with(kMeshEntryExtension))
      --meshesFrom;
    uint64_t meshVertices = 0;
    std::vector<TArrayOfComposante> meshes;  // kept for the run only once every entry is sound
    for (int e = meshesFrom; e < archive.EntryCount(); ++e) {
      const std::string name = archive.GetEntry(e).FileNameUtf8();
      const std::string key = name.substr(0, name.size() - std::strlen(kMeshEntryExtension));
      std::string bytes;
      archive.ExtractToStream(e, bytes);
      TExpected<TArrayOfComposante> mesh = DecodeMesh(bytes, TerminalSafe(name));
      if (!mesh) {
        restore.Restore();
        return mesh.Error();
      }
      for (const TComposante& c : *mesh) meshVertices += c.Vertices.size();
      if (meshVertices > limits.Vertices) return tooLarge("plus de " + std::to_string(limits.Vertices) + " sommets");
      // The name is the mesh's content: another content under it is a damaged (or forged) entry,
      // which must not take the place of the mesh of that name in this run.
      if (!IsMeshKey(key) || MeshKey(*mesh) != key) {
        restore.Restore();
        return TError(kMsgMeshEntryDamaged + TerminalSafe(name));
      }
      meshes.push_back(std::move(mesh.Value()));
    }
    for (TArrayOfComposante& mesh : meshes) KeepMesh(std::move(mesh));
    std::string text;
    archive.ExtractToStream(0, text, limits.TextBytes);
    std::string refusal;
    const bool ok = ReadSceneText(scene, text, &refusal, limits);
    if (!refusal.empty()) return TError(kMsgDocumentTooLarge + refusal);
    // A text that fails part way keeps what was read before, textures included.
    if (!ok) read = FileAccessFailure(path);
    // Texture k of the archive belongs to the k-th textured solid. Each document gets a folder
    // of its own, so two documents carrying different images under one file name never take
    // each other's texture (a later save would otherwise embed the wrong image).
    const std::string root = textureFolder.empty() ? DefaultTextureFolder() : textureFolder;
    const std::string folder = root + "/" + DocumentTextureFolderName(path);
    struct TTexture {
      int Object, Entry;
      std::string Name, Message;
      bool Picture = false;
      uint64_t Bytes = 0;
    };
    std::vector<TTexture> pictures;
    int k = 1;
    for (int i = 0; i < scene.ObjectCount(); ++i) {
      TSolidObject* s = scene.SolidAt(i);
      if (!s || !s->Texturer) continue;
      if (k >= meshesFrom) {
        DropTexture(*s, "Texture absente du document, objet sans texture : ");
        continue;
      }
      const int entry = k++;
      const std::string name = archive.GetEntry(entry).FileNameUtf8();
      if (textures == TTextureUse::Skip) {  // nothing written: the name alone, for what it is
        s->TextureFile = name;
        continue;
      }
      if (name.find_first_of("/\\") != std::string::npos || name == "." || name == ".." || HasControlCharacter(name)) {
        DropTexture(*s, "Texture illisible (" + TerminalSafe(name) + "), objet sans texture : ");
        continue;
      }
      pictures.push_back({i, entry, name, {}});
    }
    // The sizes the pictures declare, before any is decoded: a document of a few kilobytes of
    // run-length-compressed giant pictures is refused before their pixels exist. A size the
    // decoders refuse anyway costs nothing.
    TLoadBudget declared, decoded;
    declared.Limits = decoded.Limits = limits;
    std::string bytes;
    for (const TTexture& t : pictures) {
      archive.ExtractToStream(t.Entry, bytes, limits.TextureBytes);
      int64_t w = 0, h = 0;
      if (DeclaredPictureSize(fs::path(t.Name).extension().string(), bytes, w, h) && AcceptableImageSize(w, h, 0, 0) &&
          !declared.CountTexture(KeptPixels(w, h), uint64_t(w * h)))
        return tooLarge(declared.Refusal);
    }
    // Then what the decoders make, which alone counts for the formats read without a header
    // size. Only a picture the decoders accept is written to the disk.
    for (TTexture& t : pictures) {
      archive.ExtractToStream(t.Entry, bytes, limits.TextureBytes);
      TImage image;
      t.Bytes = bytes.size();
      t.Picture = DecodeImage(fs::path(t.Name).extension().string(), reinterpret_cast<const uint8_t*>(bytes.data()),
                              bytes.size(), image, t.Message);
      if (t.Picture && !decoded.CountTexture(uint64_t(image.PixelCount()), uint64_t(image.DecodedPixels)))
        return tooLarge(decoded.Refusal);
    }
    // Room is made before the pictures are written, so that the folder stays within its cap with
    // them; the document's own folder is held first, so that no other run clears it while the
    // document is open and it can always be saved again.
    if (!pictures.empty()) {
      if (!HoldFolderInUse(folder)) Trace("Dossier de textures non réservé : " + folder);
      uint64_t incoming = 0;
      for (const TTexture& t : pictures) {
        std::error_code ec;
        if (t.Picture && fs::file_size(folder + "/" + t.Name, ec) != t.Bytes) incoming += t.Bytes;
      }
      PruneTextureFolders(root, folder, kMaxTextureFolderBytes - std::min(incoming, kMaxTextureFolderBytes));
    }
    bool extracted = false;
    for (const TTexture& t : pictures) {
      TSolidObject& s = *scene.SolidAt(t.Object);
      if (!t.Picture) {
        DropTexture(s, "Texture illisible (" + t.Name + " " + t.Message + "), objet sans texture : ");
        continue;
      }
      archive.ExtractToStream(t.Entry, bytes, limits.TextureBytes);
      std::error_code ec;
      fs::create_directories(folder, ec);
      const std::string file = folder + "/" + t.Name;
      // The same document opened again finds its images in place.
      if (!SameFileContent(file, bytes) && !WriteOutputFile(file, bytes)) {
        DropTexture(s, "Texture non écrite (" + file + "), objet sans texture : ");
        continue;
      }
      scene.Device().LoadTexture(s, file);
      s.TextureFile = file;
      extracted = true;
    }
    archive.CloseArchive();
    if (ok) scene.FileName = path;
    if (extracted) {
      std::error_code ec;
      fs::last_write_time(folder, fs::file_time_type::clock::now(), ec);  // used just now
    }
    return read;
  } catch (const TArchiveError& e) {
    // A damaged texture after a damaged text: the text's message comes first.
    TResult failed = e.Error();
    if (!read) failed.AddNotice(read.Error().Message);
    return failed;
  } catch (const std::bad_alloc&) {
    // Pictures whose pixels the memory cannot hold: the document is refused like any other
    // past its bounds, rather than ending the program.
    return tooLarge("mémoire insuffisante pour ses textures");
  }
}

}  // namespace ixoral
