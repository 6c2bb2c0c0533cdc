// The archive container: layout, round trips, and archives crafted to escape or exhaust.
#include "storage/Archive.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <random>
#include <tuple>

// The largest single request made of operator new while a test counts. Kept out of line, so the
// compiler pairs their malloc and free instead of the library's own.
static std::atomic<bool> gCounting{false};
static std::atomic<size_t> gLargest{0};
[[gnu::noinline]] void* operator new(size_t size) {
  if (gCounting && size > gLargest) gLargest = size;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, size_t) noexcept { std::free(p); }

using namespace ixoral;
namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}
void WriteAll(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

void Put32(std::string& s, uint32_t v) {
  for (int k = 0; k < 4; ++k) s += static_cast<char>(v >> (8 * k));
}

// Builds an archive by hand: raw data area, raw directory records, and a trailer with a correct
// CRC, so that only the field under test is wrong.
struct TRawEntry {
  std::string Name;
  uint32_t Size, Block, Offset, Crc = 0;
  uint8_t Stored = 1;
  std::string Path = {};
};
std::string CraftArchive(const std::string& data, const std::vector<TRawEntry>& entries, uint32_t count = UINT32_MAX) {
  std::string out = data, dir;
  for (const auto& e : entries) {
    std::string r;
    r += static_cast<char>(std::min<size_t>(e.Name.size(), 255));
    r += e.Name.substr(0, 255);
    r.resize(256, '\0');
    r += static_cast<char>(e.Path.size()) + e.Path;
    r.resize(512, '\0');
    Put32(r, e.Size);
    Put32(r, e.Block);
    Put32(r, e.Offset);
    Put32(r, e.Crc);
    r += static_cast<char>(e.Stored);
    r.append(3, '\0');
    dir += r;
  }
  const uint32_t dirOffset = static_cast<uint32_t>(out.size());
  out += dir;
  std::string t;
  Put32(t, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(out.data()), out.size())));
  Put32(t, count == UINT32_MAX ? static_cast<uint32_t>(entries.size()) : count);
  Put32(t, 1);
  Put32(t, 0);
  Put32(t, dirOffset);
  t.append(16, '\0');
  return out + t;
}

class ArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("ixoral_archive_" + std::to_string(::getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir / "src");
    fs::create_directories(dir / "out");
  }
  void TearDown() override { fs::remove_all(dir); }
  fs::path Source(const std::string& name, const std::string& bytes) {
    WriteAll(dir / "src" / name, bytes);
    return dir / "src" / name;
  }
  std::string Message(const std::function<void()>& f) { return Failure(f).Message; }
  TError Failure(const std::function<void()>& f) {
    try {
      f();
    } catch (const TArchiveError& e) {
      return e.Error();
    }
    return {};
  }
  fs::path dir;
};

std::string Incompressible(size_t n) {
  std::mt19937 rng(42);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

}  // namespace

TEST_F(ArchiveTest, OneEntryLayout) {
  const std::string text(5000, 'a');
  const auto src = Source("scene.ixr.tmp", text);
  TZLBArchive a;
  a.CreateArchive((dir / "doc.ixr").string());
  EXPECT_FALSE(fs::exists(dir / "doc.ixr"));  // an archive with no entries is not on disk
  EXPECT_TRUE(a.AddFile(src.string()));
  ASSERT_EQ(a.EntryCount(), 1);
  const ZLBEntry e = a.GetEntry(0);
  EXPECT_EQ(e.FileName, "scene.ixr.tmp");
  EXPECT_EQ(e.Offset, 0u);
  EXPECT_EQ(e.Stored, 0);
  EXPECT_EQ(e.Level, static_cast<uint8_t>(TFileCompressionLevel::fcDefault));
  EXPECT_EQ(e.UncompressedSize, 5000u);
  EXPECT_EQ(e.Crc, Crc32(text.data(), text.size()));
  EXPECT_EQ(a.Trailer().DirectoryOffset, e.BlockSize);
  EXPECT_EQ(a.Trailer().Count, 1u);
  EXPECT_EQ(a.Trailer().One, 1u);
  EXPECT_EQ(a.Trailer().DirectoryCompressed, 1);
  const std::string bytes = ReadAll(dir / "doc.ixr");
  EXPECT_EQ(bytes.size(), e.BlockSize + a.Trailer().DirectorySize + 36);
  std::string back;
  EXPECT_TRUE(a.ExtractToStream(0, back));
  EXPECT_EQ(back, text);
}

TEST_F(ArchiveTest, IncompressibleDataIsStored) {
  const std::string noise = Incompressible(3000);
  TZLBArchive a;
  a.CreateArchive((dir / "doc.ixr").string());
  a.AddFile(Source("texture.jpg", noise).string());
  const ZLBEntry e = a.GetEntry(0);
  EXPECT_EQ(e.Stored, 1);
  EXPECT_EQ(e.Level, 0);
  EXPECT_EQ(e.BlockSize, 3000u);
}

TEST_F(ArchiveTest, NamesAreKeysWithoutRegardToCase) {
  TZLBArchive a;
  a.CreateArchive((dir / "doc.ixr").string());
  a.AddFile(Source("Bois.jpg", "x").string());
  fs::create_directories(dir / "other");
  WriteAll(dir / "other" / "BOIS.JPG", "y");
  EXPECT_EQ(Message([&] { a.AddFile((dir / "other" / "BOIS.JPG").string()); }), kArcAlreadyExists);
  EXPECT_EQ(a.IndexOfEntry("/anywhere/bois.JPG"), 0);
  EXPECT_EQ(a.EntryCount(), 1);
  TZLBArchive closed;
  EXPECT_EQ(Message([&] { closed.EntryCount(); }), kArcNoArchive);
  EXPECT_EQ(Message([&] { a.GetEntry(1); }), kArcIndexOutOfRange);
  EXPECT_EQ(Message([&] { a.CreateArchive((dir / "doc.ixr").string()); }), kArcAlreadyExists);
}

TEST_F(ArchiveTest, OneRewriteGivesTheSameBytesAsAddingOneByOne) {
  std::vector<fs::path> files;
  for (int i = 0; i < 5; ++i)
    files.push_back(Source("f" + std::to_string(i) + ".bmp", std::string(100 + i * 50, char('a' + i))));
  TZLBArchive one;
  one.CreateArchive((dir / "one.ixr").string());
  for (const auto& f : files) one.AddFile(f.string());
  TZLBArchive batch;
  batch.CreateArchive((dir / "batch.ixr").string());
  std::vector<TArchiveInput> inputs;
  for (const auto& f : files) inputs.push_back({f.filename().string(), f.string(), nullptr});
  EXPECT_TRUE(batch.AddEntries(inputs));
  EXPECT_EQ(ReadAll(dir / "one.ixr"), ReadAll(dir / "batch.ixr"));
  // A clash in the middle: the entries before it are written, then the error.
  TZLBArchive clash;
  clash.CreateArchive((dir / "clash.ixr").string());
  inputs.insert(inputs.begin() + 2, inputs[0]);
  EXPECT_EQ(Message([&] { clash.AddEntries(inputs); }), kArcAlreadyExists);
  EXPECT_EQ(clash.EntryCount(), 2);
}

TEST_F(ArchiveTest, AFailedAddLeavesTheArchiveAsItWas) {
  TZLBArchive a;
  a.CreateArchive((dir / "doc.ixr").string());
  a.AddFile(Source("a.txt", "hello").string());
  const std::string before = ReadAll(dir / "doc.ixr");
  EXPECT_FALSE(a.AddFile((dir / "src" / "missing.txt").string()));
  EXPECT_EQ(ReadAll(dir / "doc.ixr"), before);
  EXPECT_EQ(a.EntryCount(), 1);
  size_t files = 0;
  for ([[maybe_unused]] auto& e : fs::directory_iterator(dir)) ++files;
  EXPECT_EQ(files, 3u);  // src, out, doc.ixr: no temporary left behind
}

TEST_F(ArchiveTest, AnyChangedByteOrTruncationIsCorrupt) {
  TZLBArchive a;
  a.CreateArchive((dir / "doc.ixr").string());
  a.AddFile(Source("a.txt", std::string(2000, 'z')).string());
  a.CloseArchive();
  const std::string good = ReadAll(dir / "doc.ixr");
  for (size_t at : {size_t(0), good.size() / 2, good.size() - 37}) {
    std::string bad = good;
    bad[at] ^= 0x20;
    WriteAll(dir / "bad.ixr", bad);
    EXPECT_EQ(Message([&] { a.OpenArchive((dir / "bad.ixr").string()); }), kArcCorrupt) << at;
    EXPECT_TRUE(a.ArchiveName().empty());
  }
  for (size_t len : {size_t(0), size_t(10), good.size() - 1}) {
    WriteAll(dir / "short.ixr", good.substr(0, len));
    EXPECT_EQ(Message([&] { a.OpenArchive((dir / "short.ixr").string()); }), kArcCorrupt) << len;
  }
  const TError cut = Failure([&] { a.OpenArchive((dir / "short.ixr").string()); });
  EXPECT_EQ(cut.Reason, "somme de contrôle de l'archive erronée : fichier tronqué ou modifié");
  EXPECT_EQ(Message([&] { a.OpenArchive((dir / "none.ixr").string()); }), kArcNotFound);
  EXPECT_FALSE(a.OpenArchive(""));
}

TEST_F(ArchiveTest, ExtractionRoundTripAndEvents) {
  TZLBArchive a;
  a.CreateArchive((dir / "doc.ixr").string());
  a.AddFile(Source("Lumière.txt", "lumière").string());
  a.AddFile(Source("b.bin", Incompressible(100)).string());
  std::vector<std::string> extracted;
  a.OnFileExtracted = [&](const std::string& f) { extracted.push_back(f); };
  int progressCalls = 0;
  a.OnProgress = [&](const std::string&, int pct) {
    ++progressCalls;
    EXPECT_GE(pct, 0);
    EXPECT_LE(pct, 100);
  };
  a.CheckCRC = true;
  a.ExtractAll((dir / "out" / "sub").string());
  EXPECT_EQ(ReadAll(dir / "out" / "sub" / "Lumière.txt"), "lumière");
  EXPECT_EQ(ReadAll(dir / "out" / "sub" / "b.bin"), ReadAll(dir / "src" / "b.bin"));
  EXPECT_EQ(extracted.size(), 2u);
  EXPECT_GT(progressCalls, 0);
  // The entry name is kept in Windows-1252 inside the archive.
  EXPECT_EQ(a.GetEntry(0).FileName, "Lumi\xE8re.txt");
  // An existing file: the event decides.
  a.OnReplaceFile = [](const std::string&, bool& replace) { replace = false; };
  WriteAll(dir / "out" / "sub" / "b.bin", "keep");
  a.ExtractFile((dir / "out" / "sub").string(), 1);
  EXPECT_EQ(ReadAll(dir / "out" / "sub" / "b.bin"), "keep");
}

TEST_F(ArchiveTest, ExtractionNeverFollowsALink) {
  TZLBArchive a;
  a.CreateArchive((dir / "doc.ixr").string());
  a.AddFile(Source("t.txt", "new").string());
  WriteAll(dir / "victim.txt", "precious");
  fs::create_symlink(dir / "victim.txt", dir / "out" / "t.txt");
  a.ExtractAll((dir / "out").string());
  EXPECT_EQ(ReadAll(dir / "victim.txt"), "precious");
  EXPECT_EQ(ReadAll(dir / "out" / "t.txt"), "new");
  EXPECT_FALSE(fs::is_symlink(dir / "out" / "t.txt"));
}

TEST_F(ArchiveTest, NamesThatLeaveTheFolderAreCorrupt) {
  for (const std::string& name : {std::string("../evil"), std::string("/etc/evil"), std::string("a\\b"),
                                  std::string(".."), std::string("."), std::string(""), std::string("a\0b", 3)}) {
    const std::string bytes = CraftArchive("abc", {{name, 3, 3, 0, 0, 1}});
    WriteAll(dir / "hostile.ixr", bytes);
    TZLBArchive a;
    ASSERT_TRUE(a.OpenArchive((dir / "hostile.ixr").string()));
    EXPECT_EQ(Message([&] { a.ExtractAll((dir / "out").string()); }), "Fichier (0) est corrompu");
  }
  EXPECT_FALSE(fs::exists(dir / "evil"));
  EXPECT_TRUE(fs::is_empty(dir / "out"));
}

TEST_F(ArchiveTest, SizesTheFileCannotHoldAreCorrupt) {
  const std::string data(64, 'x');
  const std::vector<std::vector<TRawEntry>> cases = {
      {{"a", 64, 64, 10, 0, 1}},                          // block runs past the data area
      {{"a", 32, 32, 0, 0, 1}, {"b", 32, 32, 16, 0, 1}},  // blocks overlap
      {{"a", 1000, 64, 0, 0, 1}},                         // stored block shorter than its size
      {{"a", 300u << 20, 64, 0, 0, 0}},                   // 300 MiB from a 64-byte block
      {{"a", 64, 0, 0, 0, 0}},                            // compressed with no bytes
  };
  for (size_t k = 0; k < cases.size(); ++k) {
    WriteAll(dir / "hostile.ixr", CraftArchive(data, cases[k]));
    TZLBArchive a;
    EXPECT_EQ(Message([&] { a.OpenArchive((dir / "hostile.ixr").string()); }), kArcCorrupt) << k;
  }
  WriteAll(dir / "big.ixr", CraftArchive(data, {{"a", 300u << 20, 64, 0, 0, 0, "tex"}}));
  TZLBArchive big;
  EXPECT_EQ(Failure([&] { big.OpenArchive((dir / "big.ixr").string()); }).Reason,
            "entrée « tex/a » : taille déclarée 314572800 octets, au-delà de la limite");
  // A count whose records cannot fit in the file.
  WriteAll(dir / "count.ixr", CraftArchive(data, {{"a", 64, 64, 0, 0, 1}}, 1000000));
  TZLBArchive a;
  EXPECT_EQ(Message([&] { a.OpenArchive((dir / "count.ixr").string()); }), kArcCorrupt);
}

TEST_F(ArchiveTest, ACompressedBlockMustInflateToItsExactSize) {
  const std::string text(1000, 'q');
  uLongf packedSize = compressBound(text.size());
  std::string packed(packedSize, '\0');
  compress(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(text.data()),
           text.size());
  packed.resize(packedSize);
  const uint32_t n = static_cast<uint32_t>(packed.size());
  // Each refusal names the entry and says how its data differs from its record.
  const std::tuple<uint32_t, uint32_t, std::string> lies[] = {
      {999, n, "données décompressées au-delà des 999 octets déclarés"},
      {1001, n, "1000 octets décompressés au lieu des 1001 octets déclarés"},
      {1000, n / 2, "données compressées tronquées"}};
  for (const auto& [claimed, block, why] : lies) {
    WriteAll(dir / "lie.ixr", CraftArchive(packed.substr(0, block), {{"a", claimed, block, 0, 0, 0}}));
    TZLBArchive a;
    ASSERT_TRUE(a.OpenArchive((dir / "lie.ixr").string()));
    std::string out;
    const TError e = Failure([&] { a.ExtractToStream(0, out); });
    EXPECT_EQ(e.Message, "Fichier (0) est corrompu") << claimed;
    EXPECT_EQ(e.Reason, "entrée « a » : " + why);
  }
  // A size no deflate stream of that block could give is refused when the archive opens.
  WriteAll(dir / "bomb.ixr", CraftArchive(packed, {{"a", 5000000u, n, 0, 0, 0}}));
  TZLBArchive bomb;
  EXPECT_EQ(Message([&] { bomb.OpenArchive((dir / "bomb.ixr").string()); }), kArcCorrupt);
  // The right size, but a wrong CRC in the record.
  WriteAll(dir / "crc.ixr", CraftArchive(packed, {{"a", 1000, n, 0, 12345, 0}}));
  TZLBArchive a;
  a.OpenArchive((dir / "crc.ixr").string());
  std::string out;
  EXPECT_TRUE(a.ExtractToStream(0, out));  // no check unless asked
  a.CheckCRC = true;
  char sums[80];
  std::snprintf(sums, sizeof sums, "entrée « a » : somme de contrôle %08X au lieu de 00003039",
                Crc32(text.data(), text.size()));
  const TError e = Failure([&] { a.ExtractToStream(0, out); });
  EXPECT_EQ(e.Message, "Erreur CRC dans le Fichier (0)");
  EXPECT_EQ(e.Reason, sums);
}

TEST_F(ArchiveTest, AnEntryIsReadIntoNoMoreThanItsSizeAndRefusedAboveItsLimitUnread) {
  // One and a half mebibytes: an output grown by doubling would ask for two.
  const std::string zeros(3u << 19, '\0');
  uLongf packedSize = compressBound(zeros.size());
  std::string packed(packedSize, '\0');
  compress(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(zeros.data()),
           zeros.size());
  packed.resize(packedSize);
  // The second block is as long as a deflate stream giving 256 MiB would be.
  const std::string bomb(300000, 'x');
  const uint32_t n = static_cast<uint32_t>(packed.size());
  WriteAll(dir / "a.ixr", CraftArchive(packed + bomb, {{"tex.bmp", 3u << 19, n, 0, 0, 0},
                                                       {"scene.txt", 256u << 20, 300000, n, 0, 0}}));
  TZLBArchive a;
  ASSERT_TRUE(a.OpenArchive((dir / "a.ixr").string()));
  std::string out;
  gLargest = 0;
  gCounting = true;
  const bool read = a.ExtractToStream(0, out);
  const size_t readPeak = gLargest.exchange(0);
  const TError refused = Failure([&] { a.ExtractToStream(1, out, 128u << 20); });
  gCounting = false;
  EXPECT_TRUE(read && out == zeros);
  EXPECT_LE(readPeak, zeros.size() + 1);
  EXPECT_EQ(refused.Message, kArcCorrupt);
  EXPECT_EQ(refused.Reason, "entrée « scene.txt » : taille déclarée 268435456 octets, au-delà de la limite");
  EXPECT_LT(gLargest.load(), bomb.size()) << "refused before its block is read";
}

TEST_F(ArchiveTest, LongNamesAreCutTo255) {
  const std::string longName = std::string(250, 'n') + ".texture";
  TZLBArchive a;
  a.CreateArchive((dir / "doc.ixr").string());
  const std::string data = "d";
  a.AddEntries({{longName, "", &data}});
  EXPECT_EQ(a.GetEntry(0).FileName.size(), 255u);
}
