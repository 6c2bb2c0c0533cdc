// The archive container of the scene documents (".ixr") and the character files (".acs"): data
// blocks, each stored or one zlib stream, then a directory of 532-byte records (compressed when
// possible) and a 36-byte trailer holding the CRC-32 of everything before it.
//
// Errors are raised as TArchiveError carrying the container's French messages and, apart, the
// reason: which entry is damaged and how. Every bound the reader uses comes from the file's real
// size, never from a header alone, and an entry is refused on its directory record (a size above
// what the caller allows, or more than deflate can give from its block) before anything is
// inflated.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/Result.h"

namespace ixoral {

inline constexpr const char* kArcNoArchive = "Pas d'archive ouverte";
inline constexpr const char* kArcIndexOutOfRange = "Indice hors de limite";
inline constexpr const char* kArcNotFound = "le fichier est introuvable";
inline constexpr const char* kArcCannotOpen = "Impossible d'ouvrir le fichier (%s)";
inline constexpr const char* kArcCorrupt = "le fichier est corrompue";
inline constexpr const char* kArcCannotRead = "Impossible de lire le fichier";
inline constexpr const char* kArcEntryCorrupt = "Fichier (%d) est corrompu";
inline constexpr const char* kArcCrcError = "Erreur CRC dans le Fichier (%d)";
inline constexpr const char* kArcCannotCreateFolder = "Impossible de créer le repertoire de destinatiion";
inline constexpr const char* kArcAlreadyExists = "Fichier deja existant";

class TArchiveError : public std::runtime_error {
 public:
  explicit TArchiveError(const std::string& message, std::string reason = {})
      : std::runtime_error(message), FReason(std::move(reason)) {}
  // What the reader found, in the program's words ("entrée « scene.txt » : données compressées
  // tronquées"); empty when the message says it all.
  const std::string& Reason() const { return FReason; }
  // The message and the reason as one failure, the reason to be shown under the message.
  TError Error() const;

 private:
  std::string FReason;
};

enum class TFileCompressionLevel : uint8_t { fcNone = 0, fcFastest = 1, fcDefault = 2, fcMaximum = 3 };

// One directory record. Names and paths are the record's 8-bit (Windows-1252) bytes.
struct ZLBEntry {
  std::string FileName;
  std::string StoredPath;
  uint32_t UncompressedSize = 0;
  uint32_t BlockSize = 0;
  uint32_t Offset = 0;
  uint32_t Crc = 0;
  uint8_t Stored = 0;
  uint8_t Level = 0;
  // The file name as UTF-8, for the file system.
  std::string FileNameUtf8() const;
};

struct ZLBTrailer {
  uint32_t Crc = 0;
  uint32_t Count = 0;
  uint32_t One = 0;
  uint32_t DirectorySize = 0;
  uint32_t DirectoryOffset = 0;
  uint8_t DirectoryCompressed = 0;
};

inline constexpr size_t kZLBEntrySize = 532;
inline constexpr size_t kZLBTrailerSize = 36;
// What the reader accepts: more than the program ever writes, far less than could hurt.
inline constexpr uint32_t kMaxArchiveEntries = 65536;
inline constexpr uint64_t kMaxEntrySize = 256ull << 20;
inline constexpr uint64_t kMaxArchiveTotal = 1ull << 30;

// One thing to add: a file on disk, or bytes in memory, under an entry name (UTF-8).
struct TArchiveInput {
  std::string EntryName;
  std::string SourcePath;  // used when Data is null
  const std::string* Data = nullptr;
};

class TZLBArchive {
 public:
  TZLBArchive() = default;
  ~TZLBArchive();
  TZLBArchive(const TZLBArchive&) = delete;
  TZLBArchive& operator=(const TZLBArchive&) = delete;

  TFileCompressionLevel CompressionLevel = TFileCompressionLevel::fcDefault;
  // How the archive file itself is written: a user's document saved over keeps what the replaced
  // file was and is written through a link to it (TFileMode::KeepReplaced).
  TFileMode WriteMode = TFileMode::UserDefault;
  bool ExtractWithPath = false;
  bool CheckCRC = false;
  bool SavePaths = false;
  bool RecursePaths = false;
  std::function<void(const std::string& message, int percent)> OnProgress;
  std::function<void(const std::string& fileName, bool& replace)> OnReplaceFile;
  std::function<void(const std::string& fileName)> OnFileExtracted;
  std::function<void()> OnArchiveOpened;

  bool OpenArchive(const std::string& fileName);
  void CloseArchive();
  // With `replaceExisting`, a file already at that name is replaced (atomically) by the first
  // write, and stays as it was until then.
  void CreateArchive(const std::string& fileName, bool replaceExisting = false);
  int EntryCount() const;
  ZLBEntry GetEntry(int index) const;
  int IndexOfEntry(const std::string& filePath) const;
  const std::string& ArchiveName() const { return FName; }
  const ZLBTrailer& Trailer() const { return FTrailer; }

  // Adds one file; errors after the checks ("Pas d'archive ouverte", "Fichier deja existant")
  // are absorbed and leave the archive as it was. Returns whether the file was added.
  bool AddFile(const std::string& sourcePath);
  // Adds several entries in one rewrite of the archive, giving the same bytes as adding them one
  // by one. On a name clash the entries before it are added, then "Fichier deja existant" is
  // raised. Returns whether the archive was written.
  bool AddEntries(const std::vector<TArchiveInput>& inputs);
  // Why the last AddEntries could not write the archive file, as the system said it (permission
  // denied, no space left...); no error when it wrote or failed before writing.
  const std::error_code& LastWriteFailure() const { return FWriteFailure; }

  void ExtractAll(const std::string& folder);
  void ExtractFile(const std::string& folder, int index);
  // Reads entry `index` into `out`. An entry whose record declares more than `maxSize` bytes is
  // refused ("le fichier est corrompue") before any of it is read.
  bool ExtractToStream(int index, std::string& out, uint64_t maxSize = kMaxEntrySize);
  void ListFolder(const std::string& folder, std::vector<std::string>& list) const;

 private:
  void Progress(const std::string& message, uint64_t done, uint64_t total);
  void Idle();
  void CheckOpen() const;
  std::string EntryKey(const std::string& sourcePath) const;
  // Reads and checks entry `index` into `out`; raises the entry's messages.
  void ReadEntry(int index, std::string& out, bool crcIsCorrupt, uint64_t maxSize = kMaxEntrySize);
  std::string TargetFolder(const std::string& folder, const ZLBEntry& e, int index) const;
  void WriteEntryFile(const std::string& folder, int index);

  std::string FName;
  bool FNew = false;
  bool FDestroying = false;
  ZLBTrailer FTrailer;
  std::vector<ZLBEntry> FEntries;
  std::error_code FWriteFailure;
};

// The key under which an entry name (a file name, without folders) clashes with another: two
// names with one key cannot both be in an archive that does not save paths.
std::string ArchiveEntryKey(const std::string& entryName);
// The standard CRC-32 (zlib's).
uint32_t Crc32(const void* data, size_t size, uint32_t crc = 0);
// Formats one of the messages above with its %s or %d argument.
std::string ArchiveMessage(const char* pattern, const std::string& argument);
std::string ArchiveMessage(const char* pattern, int argument);
// The start of a reason naming an entry: "entrée « tex/a.bmp » : ".
std::string EntryReason(const ZLBEntry& entry);

}  // namespace ixoral
