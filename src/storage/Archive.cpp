// The archive container: reading, checking, adding and extracting entries.
#include "storage/Archive.h"
#include "storage/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

#include "platform/AtomicFile.h"
#include "platform/Encoding.h"

namespace ixoral {
namespace fs = std::filesystem;

uint32_t Crc32(const void* data, size_t size, uint32_t crc) {
  const auto* p = static_cast<const Bytef*>(data);
  while (size > 0) {
    const uInt chunk = static_cast<uInt>(std::min<size_t>(size, 1u << 30));
    crc = static_cast<uint32_t>(crc32(crc, p, chunk));
    p += chunk;
    size -= chunk;
  }
  return crc;
}

std::string ArchiveMessage(const char* pattern, const std::string& argument) {
  std::string s = pattern;
  const size_t at = s.find("%s");
  if (at != std::string::npos) s.replace(at, 2, argument);
  return s;
}

std::string ArchiveMessage(const char* pattern, int argument) {
  std::string s = pattern;
  const size_t at = s.find("%d");
  if (at != std::string::npos) s.replace(at, 2, std::to_string(argument));
  return s;
}

std::string ZLBEntry::FileNameUtf8() const { return Win1252ToUtf8(FileName); }

TError TArchiveError::Error() const { return TError(what(), FReason); }

std::string EntryReason(const ZLBEntry& entry) {
  std::string name = Win1252ToUtf8(entry.StoredPath);
  std::replace(name.begin(), name.end(), '\\', '/');
  if (!name.empty() && name.back() != '/') name += '/';
  return "entrée « " + name + entry.FileNameUtf8() + " » : ";
}

namespace {

// Why `path` cannot be read, as the system says it when opening it; empty when it opens.
std::string OpenReason(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return ReasonOf(std::error_code(errno, std::generic_category()));
  struct stat st {};
  const bool plain = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  ::close(fd);
  return plain ? std::string() : ReasonOf(std::make_error_code(std::errc::is_a_directory));
}

[[noreturn]] void Fail(const std::string& message, std::string reason = {}) {
  throw TArchiveError(message, std::move(reason));
}

std::string Bytes(uint64_t n) { return std::to_string(n) + (n < 2 ? " octet" : " octets"); }

void Put32(std::string& out, uint32_t v) {
  for (int k = 0; k < 4; ++k) out += static_cast<char>((v >> (8 * k)) & 0xFF);
}
uint32_t Get32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void PutShortString(std::string& out, const std::string& s) {
  const size_t n = std::min<size_t>(s.size(), 255);
  out += static_cast<char>(n);
  out.append(s, 0, n);
  out.append(255 - n, '\0');
}
std::string GetShortString(const unsigned char* p) { return std::string(reinterpret_cast<const char*>(p + 1), p[0]); }

std::string EncodeEntry(const ZLBEntry& e) {
  std::string r;
  r.reserve(kZLBEntrySize);
  PutShortString(r, e.FileName);
  PutShortString(r, e.StoredPath);
  Put32(r, e.UncompressedSize);
  Put32(r, e.BlockSize);
  Put32(r, e.Offset);
  Put32(r, e.Crc);
  r += static_cast<char>(e.Stored);
  r += static_cast<char>(e.Level);
  r.append(2, '\0');
  return r;
}

ZLBEntry DecodeEntry(const unsigned char* p) {
  ZLBEntry e;
  e.FileName = GetShortString(p);
  e.StoredPath = GetShortString(p + 256);
  e.UncompressedSize = Get32(p + 512);
  e.BlockSize = Get32(p + 516);
  e.Offset = Get32(p + 520);
  e.Crc = Get32(p + 524);
  e.Stored = p[528];
  e.Level = p[529];
  return e;
}

int ZlibLevel(TFileCompressionLevel l) {
  switch (l) {
    case TFileCompressionLevel::fcNone:
      return 0;
    case TFileCompressionLevel::fcFastest:
      return 1;
    case TFileCompressionLevel::fcMaximum:
      return 9;
    default:
      return Z_DEFAULT_COMPRESSION;
  }
}

// One zlib stream (RFC 1950) of the bytes, or nothing when zlib fails.
std::optional<std::string> Deflate(const std::string& in, TFileCompressionLevel level) {
  z_stream z{};
  if (deflateInit(&z, ZlibLevel(level)) != Z_OK) return std::nullopt;
  std::string out(deflateBound(&z, static_cast<uLong>(in.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (rc != Z_STREAM_END) return std::nullopt;
  return out;
}

// Inflates one zlib stream that must give exactly `size` bytes and end there; answers why not
// (empty when it did). The output grows with what the stream really gives and never past `size`,
// so neither a record's claimed size nor a stream giving more than it claims decides an
// allocation, and the inflating stops at the first byte beyond the claim.
std::string InflateExactly(const char* in, size_t inSize, size_t size, std::string& out) {
  out.clear();
  out.reserve(std::min<size_t>(size, size_t(1) << 20));
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return "mémoire insuffisante pour décompresser";
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in));
  z.avail_in = static_cast<uInt>(inSize);
  unsigned char chunk[65536];
  std::string why;
  for (int rc = Z_OK; rc != Z_STREAM_END;) {
    z.next_out = chunk;
    z.avail_out = sizeof chunk;
    rc = inflate(&z, Z_NO_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
      why = "données compressées invalides";
      break;
    }
    const size_t got = sizeof chunk - z.avail_out;
    if (got > size - out.size()) {
      why = "données décompressées au-delà des " + Bytes(size) + " déclarés";
      break;
    }
    if (out.size() + got > out.capacity()) {
      // A fresh string: growing `out` itself would round its capacity up to twice the old one.
      std::string grown;
      grown.reserve(std::min(size, std::max(out.capacity() * 2, out.size() + got)));
      grown.append(out);
      out.swap(grown);
    }
    out.append(reinterpret_cast<const char*>(chunk), got);
    if (rc != Z_STREAM_END && got == 0 && z.avail_in == 0) {
      why = "données compressées tronquées";
      break;
    }
  }
  inflateEnd(&z);
  if (why.empty() && out.size() != size)
    why = Bytes(out.size()) + " décompressés au lieu des " + Bytes(size) + " déclarés";
  return why;
}

bool ReadWholeFile(const std::string& path, std::string& out, uint64_t limit) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return false;
  const auto size = fs::file_size(path, ec);
  if (ec || size > limit) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(size, '\0');
  in.read(out.data(), static_cast<std::streamsize>(size));
  return static_cast<uint64_t>(in.gcount()) == size;
}

// Windows-1252 letters compared without regard to case, as the container keys its entries.
std::string FoldKey(const std::string& s) {
  std::string out = s;
  for (char& c : out) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDE && b != 0xD7)) c = static_cast<char>(b + 32);
  }
  return out;
}

// Deflate cannot expand data by more than about 1032 to 1: a larger claim is a lie.
constexpr uint64_t kMaxDeflateRatio = 1032;

bool SafeComponent(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  // Nor a newline, an escape or any other control character: no file name the program writes.
  return name.find_first_of(std::string("/\\\0", 3)) == std::string::npos && !HasControlCharacter(Win1252ToUtf8(name));
}

}  // namespace

TZLBArchive::~TZLBArchive() {
  FDestroying = true;
  CloseArchive();
}

void TZLBArchive::Progress(const std::string& message, uint64_t done, uint64_t total) {
  if (FDestroying || !OnProgress) return;
  const int pct = total == 0 ? 100 : static_cast<int>(std::lround(100.0 * double(done) / double(total)));
  OnProgress(message, pct);
}

void TZLBArchive::Idle() {
  if (!FDestroying && OnProgress) OnProgress(FName, 0);
}

void TZLBArchive::CloseArchive() {
  FEntries.clear();
  FTrailer = {};
  FName.clear();
  FNew = false;
  Idle();
}

void TZLBArchive::CheckOpen() const {
  if (FName.empty()) Fail(kArcNoArchive);
}

bool TZLBArchive::OpenArchive(const std::string& fileName) {
  CloseArchive();
  if (fileName.empty()) return false;
  std::error_code ec;
  if (!fs::exists(fileName, ec)) Fail(kArcNotFound);
  std::ifstream in(fileName, std::ios::binary);
  if (!in || !fs::is_regular_file(fileName, ec)) Fail(ArchiveMessage(kArcCannotOpen, fileName), OpenReason(fileName));
  const uint64_t size = fs::file_size(fileName, ec);
  if (ec) Fail(ArchiveMessage(kArcCannotOpen, fileName));
  if (size < kZLBTrailerSize) Fail(kArcCorrupt, "fichier de " + Bytes(size) + ", trop court pour une archive");
  if (size > kMaxArchiveTotal * 2) Fail(kArcCorrupt, "fichier de " + Bytes(size) + ", au-delà de la limite");

  // CRC of everything before the trailer, read in pieces.
  const uint64_t body = size - kZLBTrailerSize;
  uint32_t crc = 0;
  std::vector<char> piece(10240);
  for (uint64_t done = 0; done < body;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(piece.size(), body - done));
    if (!in.read(piece.data(), static_cast<std::streamsize>(n))) Fail(kArcCorrupt, "fichier illisible");
    crc = Crc32(piece.data(), n, crc);
    done += n;
  }
  unsigned char t[kZLBTrailerSize];
  if (!in.read(reinterpret_cast<char*>(t), kZLBTrailerSize)) Fail(kArcCorrupt, "fichier illisible");
  ZLBTrailer trailer;
  trailer.Crc = Get32(t);
  trailer.Count = Get32(t + 4);
  trailer.One = Get32(t + 8);
  trailer.DirectorySize = Get32(t + 12);
  trailer.DirectoryOffset = Get32(t + 16);
  trailer.DirectoryCompressed = t[20];
  if (trailer.Crc != crc) Fail(kArcCorrupt, "somme de contrôle de l'archive erronée : fichier tronqué ou modifié");

  // The directory must fit between the data blocks and the trailer.
  const uint64_t dirRoom = body >= trailer.DirectoryOffset ? body - trailer.DirectoryOffset : 0;
  const uint64_t dirBytes = uint64_t(trailer.Count) * kZLBEntrySize;
  if (trailer.Count > kMaxArchiveEntries)
    Fail(kArcCorrupt, "répertoire de " + std::to_string(trailer.Count) + " entrées, au-delà de la limite");
  if (trailer.DirectoryOffset > body ||
      (trailer.DirectoryCompressed ? trailer.DirectorySize > dirRoom : dirBytes > dirRoom))
    Fail(kArcCorrupt, "répertoire hors du fichier");
  if (trailer.DirectoryCompressed && dirBytes > uint64_t(trailer.DirectorySize) * kMaxDeflateRatio + 64)
    Fail(kArcCorrupt, "répertoire de " + std::to_string(trailer.Count) + " entrées, impossible pour " +
                          Bytes(trailer.DirectorySize) + " compressés");

  FName = fileName;
  std::string dir;
  try {
    in.clear();
    in.seekg(static_cast<std::streamoff>(trailer.DirectoryOffset));
    if (trailer.DirectoryCompressed) {
      std::string packed(trailer.DirectorySize, '\0');
      if (!in.read(packed.data(), static_cast<std::streamsize>(packed.size())))
        Fail(kArcCannotRead, "répertoire illisible");
      Progress("Extraction du fichier", 0, dirBytes);
      if (const std::string why = InflateExactly(packed.data(), packed.size(), dirBytes, dir); !why.empty())
        Fail(kArcCannotRead, "répertoire : " + why);
      Progress("Extraction du fichier", dirBytes, dirBytes);
    } else {
      dir.assign(dirBytes, '\0');
      if (dirBytes && !in.read(dir.data(), static_cast<std::streamsize>(dirBytes)))
        Fail(kArcCannotRead, "répertoire illisible");
    }
  } catch (const TArchiveError&) {
    CloseArchive();
    throw;
  }

  // Every block inside the data area, none overlapping another, sizes the program could write.
  std::vector<ZLBEntry> entries;
  entries.reserve(trailer.Count);
  uint64_t total = 0;
  for (uint32_t i = 0; i < trailer.Count; ++i) {
    ZLBEntry e = DecodeEntry(reinterpret_cast<const unsigned char*>(dir.data()) + i * kZLBEntrySize);
    std::string why;
    if (uint64_t(e.Offset) + e.BlockSize > trailer.DirectoryOffset)
      why = "bloc de " + Bytes(e.BlockSize) + " à la position " + std::to_string(e.Offset) +
            ", hors des données de l'archive";
    else if (e.UncompressedSize > kMaxEntrySize)
      why = "taille déclarée " + Bytes(e.UncompressedSize) + ", au-delà de la limite";
    else if (e.Stored && e.BlockSize != e.UncompressedSize)
      why = "bloc non compressé de " + Bytes(e.BlockSize) + " pour une taille déclarée de " + Bytes(e.UncompressedSize);
    else if (!e.Stored && e.BlockSize == 0)
      why = "bloc compressé vide";
    else if (!e.Stored && e.UncompressedSize > uint64_t(e.BlockSize) * kMaxDeflateRatio + 64)
      why = "taille déclarée " + Bytes(e.UncompressedSize) + ", impossible pour " + Bytes(e.BlockSize) + " compressés";
    else if ((total += e.UncompressedSize) > kMaxArchiveTotal)
      why = "l'archive dépasse " + Bytes(kMaxArchiveTotal) + " au total";
    if (!why.empty()) {
      CloseArchive();
      Fail(kArcCorrupt, EntryReason(e) + why);
    }
    entries.push_back(std::move(e));
  }
  std::vector<const ZLBEntry*> byOffset;
  for (const auto& e : entries)
    if (e.BlockSize > 0) byOffset.push_back(&e);
  std::sort(byOffset.begin(), byOffset.end(), [](auto a, auto b) { return a->Offset < b->Offset; });
  for (size_t k = 1; k < byOffset.size(); ++k)
    if (uint64_t(byOffset[k - 1]->Offset) + byOffset[k - 1]->BlockSize > byOffset[k]->Offset) {
      CloseArchive();
      Fail(kArcCorrupt, EntryReason(*byOffset[k]) + "bloc recouvrant celui d'une autre entrée");
    }

  FName = fileName;
  FTrailer = trailer;
  FEntries = std::move(entries);
  if (OnArchiveOpened && !FDestroying) OnArchiveOpened();
  Idle();
  return true;
}

void TZLBArchive::CreateArchive(const std::string& fileName, bool replaceExisting) {
  CloseArchive();
  if (fileName.empty()) return;
  std::error_code ec;
  if (!replaceExisting && fs::exists(fs::symlink_status(fileName, ec))) Fail(kArcAlreadyExists);
  FName = fileName;
  FNew = true;
  if (OnArchiveOpened && !FDestroying) OnArchiveOpened();
}

int TZLBArchive::EntryCount() const {
  CheckOpen();
  return static_cast<int>(FEntries.size());
}

ZLBEntry TZLBArchive::GetEntry(int index) const {
  if (index < 0 || index >= static_cast<int>(FEntries.size())) Fail(kArcIndexOutOfRange);
  return FEntries[static_cast<size_t>(index)];
}

std::string ArchiveEntryKey(const std::string& entryName) {
  return FoldKey(Utf8ToWin1252(fs::path(entryName).filename().string()));
}

std::string TZLBArchive::EntryKey(const std::string& sourcePath) const {
  const fs::path p(sourcePath);
  std::string key = Utf8ToWin1252(p.filename().string());
  if (SavePaths) {
    std::string folder = Utf8ToWin1252(p.parent_path().string());
    if (const size_t colon = folder.find(':'); colon != std::string::npos) folder.erase(0, colon + 1);
    key = folder + key;
  }
  return key;
}

int TZLBArchive::IndexOfEntry(const std::string& filePath) const {
  CheckOpen();
  const std::string key = FoldKey(EntryKey(filePath));
  for (size_t i = 0; i < FEntries.size(); ++i)
    if (FoldKey(FEntries[i].StoredPath + FEntries[i].FileName) == key) return static_cast<int>(i);
  return -1;
}

bool TZLBArchive::AddFile(const std::string& sourcePath) {
  return AddEntries({{fs::path(sourcePath).filename().string(), sourcePath, nullptr}});
}

bool TZLBArchive::AddEntries(const std::vector<TArchiveInput>& inputs) {
  CheckOpen();
  FWriteFailure.clear();
  // The entries before the first clash are added; the clash is reported after writing them.
  size_t count = 0;
  std::vector<std::string> keys;
  for (; count < inputs.size(); ++count) {
    const std::string key = FoldKey(EntryKey(inputs[count].EntryName));
    bool clash = false;
    for (const auto& e : FEntries) clash = clash || FoldKey(e.StoredPath + e.FileName) == key;
    for (const auto& k : keys) clash = clash || k == key;
    if (clash) break;
    keys.push_back(key);
  }
  bool written = false;
  if (count > 0) {
    const std::string name = FName;
    try {
      if (FEntries.size() + count > kMaxArchiveEntries) Fail(kArcCorrupt);
      std::string out;
      if (!FNew) {  // the existing data blocks, as they are
        std::string whole;
        if (!ReadWholeFile(name, whole, kMaxArchiveTotal * 2) || whole.size() < FTrailer.DirectoryOffset)
          Fail(ArchiveMessage(kArcCannotOpen, name));
        out.assign(whole, 0, FTrailer.DirectoryOffset);
      }
      std::vector<ZLBEntry> entries = FEntries;
      for (size_t k = 0; k < count; ++k) {
        const TArchiveInput& input = inputs[k];
        std::string fileBytes;
        const std::string* bytes = input.Data;
        if (!bytes) {
          if (!ReadWholeFile(input.SourcePath, fileBytes, kMaxEntrySize)) {
            const std::string why = OpenReason(input.SourcePath);
            Fail(ArchiveMessage(kArcCannotOpen, input.SourcePath),
                 why.empty() ? ReasonOf(std::make_error_code(std::errc::file_too_large)) : why);
          }
          bytes = &fileBytes;
        }
        if (bytes->size() > kMaxEntrySize)
          Fail(ArchiveMessage(kArcCannotOpen, input.SourcePath),
               ReasonOf(std::make_error_code(std::errc::file_too_large)));
        const std::string label = input.Data ? input.EntryName : input.SourcePath;
        Progress(ArchiveMessage("Mise a jour du fichier : %s", label), 0, bytes->size());
        const auto packed = Deflate(*bytes, CompressionLevel);
        Progress(ArchiveMessage("Mise a jour du fichier : %s", label), bytes->size(), bytes->size());
        ZLBEntry e;
        e.Crc = Crc32(bytes->data(), bytes->size());
        e.FileName = Utf8ToWin1252(fs::path(input.EntryName).filename().string()).substr(0, 255);
        if (SavePaths) {
          std::string folder = Utf8ToWin1252(fs::path(input.EntryName).parent_path().string());
          if (const size_t colon = folder.find(':'); colon != std::string::npos) folder.erase(0, colon + 1);
          e.StoredPath = folder.substr(0, 255);
        }
        e.UncompressedSize = static_cast<uint32_t>(bytes->size());
        e.Offset = static_cast<uint32_t>(out.size());
        if (packed && packed->size() < bytes->size()) {
          out += *packed;
          e.BlockSize = static_cast<uint32_t>(packed->size());
          e.Stored = 0;
          e.Level = static_cast<uint8_t>(CompressionLevel);
        } else {
          out += *bytes;
          e.BlockSize = e.UncompressedSize;
          e.Stored = 1;
          e.Level = 0;
        }
        if (out.size() > kMaxArchiveTotal) Fail(kArcCorrupt);
        entries.push_back(std::move(e));
      }
      // Directory, compressed when zlib can, then the trailer.
      std::string dir;
      for (const auto& e : entries) dir += EncodeEntry(e);
      const uint32_t dirOffset = static_cast<uint32_t>(out.size());
      Progress("Ecriture de l'archive", 0, dir.size());
      const auto packedDir = Deflate(dir, CompressionLevel);
      Progress("Ecriture de l'archive", dir.size(), dir.size());
      out += packedDir ? *packedDir : dir;
      std::string trailer;
      Put32(trailer, Crc32(out.data(), out.size()));
      Put32(trailer, static_cast<uint32_t>(entries.size()));
      Put32(trailer, 1);
      Put32(trailer, packedDir ? static_cast<uint32_t>(packedDir->size()) : 0);
      Put32(trailer, dirOffset);
      trailer += static_cast<char>(packedDir ? 1 : 0);
      trailer.append(15, '\0');
      out += trailer;
      if (!WriteOutputFile(name, out, &FWriteFailure, WriteMode))
        Fail(ArchiveMessage(kArcCannotOpen, name), ReasonOf(FWriteFailure));
      CloseArchive();
      OpenArchive(name);
      written = true;
    } catch (const TArchiveError&) {
      // Absorbed as the container always did: the archive on disk is unchanged and the result
      // says that nothing was added.
    }
  }
  if (count < inputs.size()) Fail(kArcAlreadyExists);
  return written;
}

void TZLBArchive::ReadEntry(int index, std::string& out, bool crcIsCorrupt, uint64_t maxSize) {
  const ZLBEntry& e = FEntries[static_cast<size_t>(index)];
  // Refused on its record alone: nothing of a hostile entry is read, let alone inflated.
  if (e.UncompressedSize > maxSize)
    Fail(kArcCorrupt, EntryReason(e) + "taille déclarée " + Bytes(e.UncompressedSize) + ", au-delà de la limite");
  std::ifstream in(FName, std::ios::binary);
  if (!in) Fail(ArchiveMessage(kArcCannotOpen, FName));
  const std::string label = ArchiveMessage("Extraction du fichier : %s", e.FileNameUtf8());
  Progress(label, 0, e.UncompressedSize);
  std::string block(e.BlockSize, '\0');
  in.seekg(static_cast<std::streamoff>(e.Offset));
  if (e.BlockSize && !in.read(block.data(), static_cast<std::streamsize>(block.size())))
    Fail(ArchiveMessage(kArcEntryCorrupt, index), EntryReason(e) + "bloc illisible");
  if (e.Stored) {
    out = std::move(block);
  } else if (const std::string why = InflateExactly(block.data(), block.size(), e.UncompressedSize, out);
             !why.empty()) {
    Fail(ArchiveMessage(kArcEntryCorrupt, index), EntryReason(e) + why);
  }
  Progress(label, e.UncompressedSize, e.UncompressedSize);
  if (!CheckCRC) return;
  if (const uint32_t crc = Crc32(out.data(), out.size()); crc != e.Crc) {
    char sums[80];
    std::snprintf(sums, sizeof sums, "somme de contrôle %08X au lieu de %08X", crc, e.Crc);
    Fail(ArchiveMessage(crcIsCorrupt ? kArcEntryCorrupt : kArcCrcError, index), EntryReason(e) + sums);
  }
}

std::string TZLBArchive::TargetFolder(const std::string& folder, const ZLBEntry& e, int index) const {
  std::string f = folder;
  if (ExtractWithPath && !e.StoredPath.empty()) {
    // Each component of the stored path must stay inside the destination.
    std::string part;
    for (char c : Win1252ToUtf8(e.StoredPath) + "\\") {
      if (c == '\\' || c == '/') {
        if (!part.empty()) {
          if (!SafeComponent(part)) Fail(ArchiveMessage(kArcEntryCorrupt, index));
          f += "/" + part;
        }
        part.clear();
      } else {
        part += c;
      }
    }
  }
  while (f.size() > 1 && f.back() == '/') f.pop_back();
  std::error_code ec;
  fs::create_directories(f, ec);
  if (!fs::is_directory(f, ec)) Fail(kArcCannotCreateFolder);
  return f;
}

void TZLBArchive::WriteEntryFile(const std::string& folder, int index) {
  const ZLBEntry& e = FEntries[static_cast<size_t>(index)];
  const std::string name = e.FileNameUtf8();
  if (!SafeComponent(e.FileName)) Fail(ArchiveMessage(kArcEntryCorrupt, index));
  const std::string dir = TargetFolder(folder, e, index);
  const std::string target = dir + "/" + name;
  std::error_code ec;
  if (fs::exists(fs::symlink_status(target, ec)) && OnReplaceFile && !FDestroying) {
    bool replace = true;
    OnReplaceFile(name, replace);
    if (!replace) return;
  }
  std::string bytes;
  ReadEntry(index, bytes, true);
  if (!WriteOutputFile(target, bytes)) Fail(ArchiveMessage(kArcEntryCorrupt, index));
  if (OnFileExtracted && !FDestroying) OnFileExtracted(folder + "/" + name);
}

void TZLBArchive::ExtractAll(const std::string& folder) {
  CheckOpen();
  for (int i = 0; i < static_cast<int>(FEntries.size()); ++i) WriteEntryFile(folder, i);
  Idle();
}

void TZLBArchive::ExtractFile(const std::string& folder, int index) {
  CheckOpen();
  if (index < 0 || index >= static_cast<int>(FEntries.size())) Fail(kArcIndexOutOfRange);
  WriteEntryFile(folder, index);
  Idle();
}

bool TZLBArchive::ExtractToStream(int index, std::string& out, uint64_t maxSize) {
  CheckOpen();
  if (index < 0 || index >= static_cast<int>(FEntries.size())) Fail(kArcIndexOutOfRange);
  ReadEntry(index, out, false, maxSize);
  Idle();
  return true;
}

void TZLBArchive::ListFolder(const std::string& folder, std::vector<std::string>& list) const {
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_directory(ec)) {
      if (SavePaths) list.push_back(it->path().string());
      if (RecursePaths) ListFolder(it->path().string(), list);
    } else {
      list.push_back(it->path().string());
    }
  }
}

}  // namespace ixoral
