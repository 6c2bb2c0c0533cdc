// The mesh import: the file is read once, whole, and looked over before the Open Asset Import
// Library parses it (what a binary STL, a PLY header or a glTF's JSON declares must fit the bytes
// present and the triangle budget), every further file the library opens comes through an I/O
// system confined to the mesh's folder, and the library's meshes are turned into triangle lists
// as the exports would have written them.
#include "document/MeshImport.h"

#include <assimp/IOStream.hpp>
#include <assimp/IOSystem.hpp>
#include <assimp/Importer.hpp>
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "platform/Encoding.h"
#include "platform/LargePages.h"

namespace ixoral {
namespace fs = std::filesystem;

namespace {

enum class TMeshFormat { Stl, Obj, Gltf, Glb, Ply };

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::optional<TMeshFormat> MeshFormatOf(const std::string& path) {
  const std::string ext = Lower(fs::path(path).extension().string());
  if (ext == ".stl") return TMeshFormat::Stl;
  if (ext == ".obj") return TMeshFormat::Obj;
  if (ext == ".gltf") return TMeshFormat::Gltf;
  if (ext == ".glb") return TMeshFormat::Glb;
  if (ext == ".ply") return TMeshFormat::Ply;
  return std::nullopt;
}

TError Unreadable(const std::string& path, std::string reason) {
  return TError(kMsgMeshUnreadable + path, std::move(reason));
}

TError TooLarge(const std::string& path, uint64_t triangles) {
  return TError(kMsgMeshTooLarge + path + " (" + std::to_string(triangles) + " triangles)");
}

// Opens a regular file of at most `limit` bytes. A device or a pipe named like a mesh would never
// end, or end in something else: only regular files are read.
enum class TRead { Ok, Missing, NotRegular, TooLarge, Failed };
TRead OpenRegularFile(const std::string& path, uint64_t limit, std::ifstream& in, uint64_t& size) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return TRead::Missing;
  if (!S_ISREG(st.st_mode)) return TRead::NotRegular;
  size = uint64_t(st.st_size);
  if (size > limit) return TRead::TooLarge;
  in.open(path, std::ios::binary);
  return in ? TRead::Ok : TRead::Failed;
}

// Reads the next `n` bytes of `in` onto the end of `bytes`.
bool ReadMore(std::ifstream& in, std::string& bytes, size_t n) {
  const size_t at = bytes.size();
  bytes.resize(at + n);
  in.read(bytes.data() + at, std::streamsize(n));
  return size_t(in.gcount()) == n;
}

TRead ReadRegularFile(const std::string& path, uint64_t limit, std::string& bytes, uint64_t& size) {
  std::ifstream in;
  const TRead opened = OpenRegularFile(path, limit, in, size);
  if (opened != TRead::Ok) return opened;
  bytes.clear();
  return ReadMore(in, bytes, size_t(size)) ? TRead::Ok : TRead::Failed;
}

// Whether `p` (absolute, normalised) lies inside `folder` (canonical).
bool Inside(const fs::path& p, const fs::path& folder) {
  auto f = folder.begin();
  auto q = p.begin();
  for (; f != folder.end(); ++f, ++q)
    if (q == p.end() || *q != *f) return false;
  return q != p.end();
}

// ---- reading through the library ----

class TBytesStream final : public Assimp::IOStream {
 public:
  explicit TBytesStream(std::shared_ptr<const std::string> bytes) : FBytes(std::move(bytes)) {}
  size_t Read(void* buffer, size_t size, size_t count) override {
    if (size == 0 || count == 0) return 0;
    const size_t left = FBytes->size() - FAt;
    const size_t n = std::min(count, left / size);
    std::memcpy(buffer, FBytes->data() + FAt, n * size);
    FAt += n * size;
    return n;
  }
  size_t Write(const void*, size_t, size_t) override { return 0; }
  aiReturn Seek(size_t offset, aiOrigin origin) override {
    const size_t base = origin == aiOrigin_SET ? 0 : (origin == aiOrigin_CUR ? FAt : FBytes->size());
    if (offset > FBytes->size() - std::min(base, FBytes->size()) || base > FBytes->size()) return aiReturn_FAILURE;
    FAt = base + offset;
    return aiReturn_SUCCESS;
  }
  size_t Tell() const override { return FAt; }
  size_t FileSize() const override { return FBytes->size(); }
  void Flush() override {}

 private:
  std::shared_ptr<const std::string> FBytes;
  size_t FAt = 0;
};

// A material file from its first "newmtl" line on: the library writes the statements before it
// into a material that does not exist.
std::string MaterialsFromFirst(const std::string& b) {
  for (size_t at = 0; at < b.size();) {
    size_t k = at;
    while (k < b.size() && (b[k] == ' ' || b[k] == '\t')) ++k;
    if (b.compare(k, 6, "newmtl") == 0 && k + 6 < b.size() && (b[k + 6] == ' ' || b[k + 6] == '\t'))
      return b.substr(at);
    const size_t end = b.find('\n', at);
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return {};
}

// The mesh file is served from the bytes already read and looked over; any other file the
// library asks for (an OBJ's material file, a glTF buffer) is read only from inside the mesh's
// folder, only when it is a regular file within the size limit, and read-only.
class TConfinedIOSystem final : public Assimp::IOSystem {
 public:
  TConfinedIOSystem(fs::path main, std::shared_ptr<const std::string> bytes, fs::path folder, uint64_t limit)
      : FMain(std::move(main)), FBytes(std::move(bytes)), FFolder(std::move(folder)), FLimit(limit) {}

  bool Exists(const char* file) const override { return IsMain(file) || Resolve(file).has_value(); }
  char getOsSeparator() const override { return '/'; }
  Assimp::IOStream* Open(const char* file, const char* mode) override {
    if (!file || (mode && std::strchr(mode, 'r') == nullptr) || (mode && std::strpbrk(mode, "wa+"))) return nullptr;
    if (IsMain(file)) return new TBytesStream(FBytes);
    const std::optional<fs::path> p = Resolve(file);
    if (!p) {
      Refused.push_back(Relative(file));
      return nullptr;
    }
    auto bytes = std::make_shared<std::string>();
    uint64_t size = 0;
    if (ReadRegularFile(p->string(), FLimit, *bytes, size) != TRead::Ok) {
      if (size > FLimit) TooLargeFile = Relative(file);
      return nullptr;
    }
    if (Lower(fs::path(file).extension().string()) == ".mtl") *bytes = MaterialsFromFirst(*bytes);
    return new TBytesStream(std::move(bytes));
  }
  void Close(Assimp::IOStream* stream) override { delete stream; }

  std::vector<std::string> Refused;  // names outside the folder the library asked for
  std::string TooLargeFile;

 private:
  bool IsMain(const char* file) const { return fs::path(file).lexically_normal() == FMain; }
  std::string Relative(const char* file) const {
    const fs::path p(file);
    const fs::path r = p.lexically_relative(FFolder);
    return r.empty() ? p.string() : r.string();
  }
  // The canonical name of an existing regular file inside the folder (links followed).
  std::optional<fs::path> Resolve(const char* file) const {
    if (!file || !*file) return std::nullopt;
    std::error_code ec;
    fs::path p(file);
    if (p.is_relative()) p = FFolder / p;
    const fs::path c = fs::weakly_canonical(p, ec);
    if (ec || !Inside(c, FFolder)) return std::nullopt;
    if (!fs::is_regular_file(c, ec)) return std::nullopt;
    return c;
  }

  fs::path FMain;
  std::shared_ptr<const std::string> FBytes;
  fs::path FFolder;
  uint64_t FLimit;
};

// ---- what the file declares, before the library reads it ----

uint32_t Le32(const std::string& b, size_t at) {
  return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
         uint32_t(uint8_t(b[at + 3])) << 24;
}

// A binary STL is an 80-byte header, a triangle count and 50 bytes a triangle: the count must give
// the file's size exactly (the library would otherwise size its mesh on the count). Anything else
// must be ASCII text opening with "solid".
// Only the file's first bytes and its size are needed: garbage is refused before it is read.
std::optional<TError> CheckStl(const std::string& path, const std::string& b, uint64_t size,
                               const TMeshImportLimits& limits) {
  if (size >= 84 && b.size() >= 84) {
    const uint64_t count = Le32(b, 80);
    if (84 + 50 * count == size) {
      if (count > limits.Triangles) return TooLarge(path, count);
      return std::nullopt;
    }
    // The library's test of a binary file counts in 32 bits: a count that wraps around to the
    // file's size would be taken for the truth.
    if (uint32_t(84 + 50 * count) == uint32_t(size))
      return Unreadable(
          path, "nombre de triangles déclaré (" + std::to_string(count) + ") sans rapport avec la taille du fichier");
  }
  size_t at = 0;
  while (at < b.size() && std::isspace(static_cast<unsigned char>(b[at]))) ++at;
  if (b.compare(at, 5, "solid") != 0)
    return Unreadable(path, size >= 84 ? "ni STL binaire (taille sans rapport avec le nombre de triangles), ni texte"
                                       : "ni STL binaire, ni texte");
  return std::nullopt;
}

// The PLY header's elements and the bytes they take, walked over without keeping anything: every
// count (of an element, of a list) must fit the bytes that follow, so that the library never sizes
// an array on a number alone.
struct TPlyProperty {
  int Size = 0;       // a scalar's bytes; for a list, its items'
  int CountSize = 0;  // a list's count bytes; 0 for a scalar
  bool SignedCount = false;
  bool Corners = false;  // a face's list of vertex indices
};
struct TPlyElement {
  std::string Name;
  uint64_t Count = 0;
  std::vector<TPlyProperty> Properties;
};

int PlyTypeSize(const std::string& t, bool* isSigned = nullptr) {
  static const std::array<std::pair<const char*, int>, 16> kTypes{{{"char", -1},
                                                                   {"int8", -1},
                                                                   {"uchar", 1},
                                                                   {"uint8", 1},
                                                                   {"short", -2},
                                                                   {"int16", -2},
                                                                   {"ushort", 2},
                                                                   {"uint16", 2},
                                                                   {"int", -4},
                                                                   {"int32", -4},
                                                                   {"uint", 4},
                                                                   {"uint32", 4},
                                                                   {"float", -4},
                                                                   {"float32", -4},
                                                                   {"double", -8},
                                                                   {"float64", -8}}};
  for (const auto& [name, size] : kTypes)
    if (t == name) {
      if (isSigned) *isSigned = size < 0;
      return std::abs(size);
    }
  return 0;
}

std::optional<TError> CheckPly(const std::string& path, const std::string& b, const TMeshImportLimits& limits) {
  constexpr size_t kMaxHeader = 64 << 10;
  const auto badHeader = [&] { return Unreadable(path, "en-tête PLY absent ou incomplet"); };
  if (b.compare(0, 3, "ply") != 0) return badHeader();
  // The header is lines of the words below up to a line "end_header": the library's own reading
  // of a header runs past the file's end on anything else.
  std::vector<TPlyElement> elements;
  int format = -1;  // 0 ascii, 1 little endian, 2 big endian
  size_t line = 0, data = 0;
  for (bool first = true; data == 0; first = false) {
    if (line >= std::min(b.size(), kMaxHeader)) return badHeader();
    size_t next = b.find('\n', line);
    if (next == std::string::npos) return badHeader();
    std::vector<std::string> words;
    for (size_t k = line; k < next;) {
      while (k < next && std::isspace(static_cast<unsigned char>(b[k]))) ++k;
      size_t w = k;
      while (w < next && !std::isspace(static_cast<unsigned char>(b[w]))) ++w;
      if (w > k) words.emplace_back(b, k, w - k);
      k = w;
    }
    line = next + 1;
    if (first) {
      if (words.size() != 1 || words[0] != "ply") return badHeader();
      continue;
    }
    if (words.empty()) return badHeader();
    if (words[0] == "end_header") {
      if (words.size() != 1) return badHeader();
      data = line;
    } else if (words[0] == "comment" || words[0] == "obj_info") {
      continue;
    } else if ((words[0] != "format" && words[0] != "element" && words[0] != "property") ||
               (words[0] == "format" && words.size() != 3) || (words[0] == "element" && words.size() != 3) ||
               (words[0] == "property" && words.size() < 3)) {
      return badHeader();
    }
    if (words[0] == "format" && words.size() >= 2) {
      format = words[1] == "ascii"                  ? 0
               : words[1] == "binary_little_endian" ? 1
               : words[1] == "binary_big_endian"    ? 2
                                                    : -1;
    } else if (words[0] == "element" && words.size() >= 3) {
      TPlyElement e;
      e.Name = words[1];
      if (words[2].empty() || words[2].size() > 19 || !std::all_of(words[2].begin(), words[2].end(), ::isdigit))
        return Unreadable(path, "nombre d'éléments PLY invalide : " + words[2]);
      e.Count = std::stoull(words[2]);
      elements.push_back(std::move(e));
    } else if (words[0] == "property" && words.size() >= 3) {
      if (elements.empty()) return Unreadable(path, "propriété PLY hors d'un élément");
      TPlyProperty p;
      if (words[1] == "list") {
        if (words.size() < 5) return Unreadable(path, "liste PLY incomplète");
        p.CountSize = PlyTypeSize(words[2], &p.SignedCount);
        p.Size = PlyTypeSize(words[3]);
        p.Corners = elements.back().Name == "face" && words[4].rfind("vertex_ind", 0) == 0;
        if (p.CountSize == 0) return Unreadable(path, "type PLY inconnu : " + words[2]);
      } else {
        p.Size = PlyTypeSize(words[1]);
      }
      if (p.Size == 0) return Unreadable(path, "type PLY inconnu : " + words[p.CountSize ? 3 : 1]);
      elements.back().Properties.push_back(p);
    }
  }
  if (format < 0) return Unreadable(path, "format PLY inconnu");
  if (std::none_of(elements.begin(), elements.end(),
                   [](const TPlyElement& e) { return e.Name == "vertex" && !e.Properties.empty(); }))
    return Unreadable(path, "aucun sommet dans l'en-tête PLY");
  for (const TPlyElement& e : elements) {
    if (e.Name == "face" && e.Count > limits.Triangles) return TooLarge(path, e.Count);
    if (e.Name == "vertex" && e.Count > 3 * uint64_t(limits.Triangles)) return TooLarge(path, e.Count / 3);
  }
  const auto truncated = [&] { return Unreadable(path, "données PLY plus courtes que l'en-tête ne l'annonce"); };
  // The library's checks stop the program on a face without a corner.
  const auto noCorner = [&] { return Unreadable(path, "face PLY sans sommet"); };
  size_t at = data;
  if (format == 0) {
    // Text: each value a word; a list's count must leave room for its words.
    const auto word = [&](std::string_view& w) {
      while (at < b.size() && std::isspace(static_cast<unsigned char>(b[at]))) ++at;
      const size_t s = at;
      while (at < b.size() && !std::isspace(static_cast<unsigned char>(b[at]))) ++at;
      w = std::string_view(b).substr(s, at - s);
      return at > s;
    };
    for (const TPlyElement& e : elements) {
      if (e.Count > b.size() - std::min(at, b.size())) return truncated();
      for (uint64_t k = 0; k < e.Count; ++k)
        for (const TPlyProperty& p : e.Properties) {
          std::string_view w;
          if (!word(w)) return truncated();
          if (p.CountSize == 0) continue;
          uint64_t n = 0;
          for (char c : w) {
            if (c < '0' || c > '9' || n > b.size()) return Unreadable(path, "longueur de liste PLY invalide");
            n = n * 10 + uint64_t(c - '0');
          }
          if (n > (b.size() - at) / 2 + 1) return truncated();
          if (p.Corners && n == 0) return noCorner();
          for (uint64_t i = 0; i < n; ++i)
            if (!word(w)) return truncated();
        }
    }
    return std::nullopt;
  }
  const bool little = format == 1;
  for (const TPlyElement& e : elements) {
    uint64_t least = 0;
    for (const TPlyProperty& p : e.Properties) least += uint64_t(p.CountSize ? p.CountSize : p.Size);
    if (e.Count > (b.size() - at) / std::max<uint64_t>(least, 1)) return truncated();
    for (uint64_t k = 0; k < e.Count; ++k)
      for (const TPlyProperty& p : e.Properties) {
        if (p.CountSize == 0) {
          if (uint64_t(p.Size) > b.size() - at) return truncated();
          at += size_t(p.Size);
          continue;
        }
        if (uint64_t(p.CountSize) > b.size() - at) return truncated();
        uint64_t n = 0;
        for (int i = 0; i < p.CountSize; ++i) {
          const uint8_t byte = uint8_t(b[at + size_t(little ? p.CountSize - 1 - i : i)]);
          n = (n << 8) | byte;
        }
        if (p.SignedCount && (n >> (8 * p.CountSize - 1)) != 0)
          return Unreadable(path, "longueur de liste PLY négative");
        at += size_t(p.CountSize);
        if (n > (b.size() - at) / uint64_t(p.Size)) return truncated();
        if (p.Corners && n == 0) return noCorner();
        at += size_t(n) * size_t(p.Size);
      }
  }
  return std::nullopt;
}

// Every index an OBJ face, line or point gives (position / texture / normal) must name an entry
// the file has: positive ones among all of that kind, negative ones among those before it. The
// library writes through texture coordinates a face names even when the file has none.
std::optional<TError> CheckObj(const std::string& path, const std::string& b) {
  const auto lines = [&](const auto& each) -> std::optional<TError> {
    for (size_t at = 0; at < b.size();) {
      size_t end = b.find('\n', at);
      if (end == std::string::npos) end = b.size();
      const std::string_view line = std::string_view(b).substr(at, end - at);
      at = end + 1;
      size_t k = 0;
      while (k < line.size() && (line[k] == ' ' || line[k] == '\t')) ++k;
      size_t w = k;
      while (w < line.size() && !std::isspace(static_cast<unsigned char>(line[w]))) ++w;
      if (auto refused = each(line.substr(k, w - k), line.substr(w))) return refused;
    }
    return std::nullopt;
  };
  std::array<int64_t, 3> total{0, 0, 0};  // v, vt, vn
  const auto kindOf = [](std::string_view word) { return word == "v" ? 0 : word == "vt" ? 1 : word == "vn" ? 2 : -1; };
  (void)lines([&](std::string_view word, std::string_view) -> std::optional<TError> {
    if (const int kind = kindOf(word); kind >= 0) ++total[size_t(kind)];
    return std::nullopt;
  });
  std::array<int64_t, 3> seen{0, 0, 0};
  const auto bad = [&](std::string_view token) {
    return Unreadable(path, "indice de sommet hors limites : " + std::string(token.substr(0, 40)));
  };
  const std::optional<TError> refused =
      lines([&](std::string_view word, std::string_view rest) -> std::optional<TError> {
        if (const int kind = kindOf(word); kind >= 0) {
          ++seen[size_t(kind)];
          return std::nullopt;
        }
        if (word != "f" && word != "l" && word != "p") return std::nullopt;
        for (size_t k = 0; k < rest.size();) {
          while (k < rest.size() && std::isspace(static_cast<unsigned char>(rest[k]))) ++k;
          if (k < rest.size() && rest[k] == '#') break;
          size_t w = k;
          while (w < rest.size() && !std::isspace(static_cast<unsigned char>(rest[w]))) ++w;
          const std::string_view token = rest.substr(k, w - k);
          k = w;
          if (token.empty() || token == "\\") continue;
          size_t part = 0;
          for (size_t p = 0; p <= token.size(); ++part) {
            size_t q = token.find('/', p);
            if (q == std::string_view::npos) q = token.size();
            const std::string_view number = token.substr(p, q - p);
            p = q + 1;
            if (part > 2) return bad(token);
            if (number.empty()) {
              if (part == 0) return bad(token);
              continue;
            }
            size_t d = number[0] == '-' || number[0] == '+' ? 1 : 0;
            if (d == number.size() || number.size() > 12) return bad(token);
            int64_t value = 0;
            for (; d < number.size(); ++d) {
              if (number[d] < '0' || number[d] > '9') return bad(token);
              value = value * 10 + (number[d] - '0');
            }
            if (value == 0 || value > (number[0] == '-' ? seen[part] : total[part])) return bad(token);
          }
        }
        return std::nullopt;
      });
  return refused;
}

// How deep the JSON's arrays and objects nest: the library's JSON reader goes down one call per
// level, so a deep file would run it out of stack.
bool JsonNestsWithin(std::string_view text, int limit) {
  bool inString = false, escaped = false;
  int depth = 0;
  for (char c : text) {
    if (inString) {
      if (escaped)
        escaped = false;
      else if (c == '\\')
        escaped = true;
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > limit) return false;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return true;
}

std::string PercentDecoded(const std::string& s) {
  std::string out;
  for (size_t k = 0; k < s.size(); ++k) {
    if (s[k] == '%' && k + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[k + 1])) &&
        std::isxdigit(static_cast<unsigned char>(s[k + 2]))) {
      out += char(std::stoi(s.substr(k + 1, 2), nullptr, 16));
      k += 2;
    } else {
      out += s[k] == '\\' ? '/' : s[k];
    }
  }
  return out;
}

// A URI a glTF file may name: embedded data, or a relative name that stays inside its folder.
bool UriStaysInFolder(const std::string& uri) {
  if (uri.rfind("data:", 0) == 0) return true;
  const std::string p = PercentDecoded(uri);
  if (p.empty() || p[0] == '/' || p.find(':') != std::string::npos) return false;  // absolute, a scheme, a drive
  const fs::path n = fs::path(p).lexically_normal();
  return !n.empty() && *n.begin() != "..";
}

uint64_t JsonCount(const nlohmann::json& v) {
  if (v.is_number_unsigned()) return v.get<uint64_t>();
  if (v.is_number_integer()) return v.get<int64_t>() < 0 ? UINT64_MAX : uint64_t(v.get<int64_t>());
  if (v.is_number_float()) {
    const double d = v.get<double>();
    return d >= 0 && d < 1.8e19 ? uint64_t(d) : UINT64_MAX;
  }
  return 0;
}

// The glTF's JSON: version 2, its buffers inside the folder and within the size limit, its
// accessors within the triangle budget, its nodes a forest (each node one parent at most, no
// cycle), so that neither the library's reading nor its node tree can grow beyond the file.
std::optional<TError> CheckGltfJson(const std::string& path, std::string_view text, const TMeshImportLimits& limits,
                                    size_t& materials) {
  if (!JsonNestsWithin(text, 64)) return Unreadable(path, "JSON imbriqué trop profondément");
  const nlohmann::json doc = nlohmann::json::parse(text, nullptr, false);
  if (doc.is_discarded() || !doc.is_object()) return Unreadable(path, "JSON invalide");
  const auto array = [&](const char* key) -> const nlohmann::json& {
    static const nlohmann::json empty = nlohmann::json::array();
    const auto it = doc.find(key);
    return it != doc.end() && it->is_array() ? *it : empty;
  };
  const auto asset = doc.find("asset");
  if (asset == doc.end() || !asset->is_object() || !asset->contains("version") || !(*asset)["version"].is_string() ||
      (*asset)["version"].get<std::string>().rfind("2.", 0) != 0)
    return Unreadable(path, "seul glTF 2.0 est lu");
  for (const auto& buffer : array("buffers")) {
    if (!buffer.is_object()) continue;
    if (buffer.contains("byteLength") && JsonCount(buffer["byteLength"]) > limits.FileBytes)
      return TError(kMsgMeshTooLarge + path,
                    "tampon de " + std::to_string(JsonCount(buffer["byteLength"])) + " octets");
    if (buffer.contains("uri") && buffer["uri"].is_string() && !UriStaysInFolder(buffer["uri"].get<std::string>()))
      return Unreadable(path, "référence hors du dossier du fichier : " + buffer["uri"].get<std::string>());
  }
  const uint64_t vertices = 3 * uint64_t(limits.Triangles);
  for (const auto& accessor : array("accessors")) {
    if (!accessor.is_object()) continue;
    uint64_t count = accessor.contains("count") ? JsonCount(accessor["count"]) : 0;
    if (accessor.contains("sparse") && accessor["sparse"].is_object() && accessor["sparse"].contains("count"))
      count = std::max(count, JsonCount(accessor["sparse"]["count"]));
    if (count > vertices) return TooLarge(path, count / 3);
  }
  materials = array("materials").size();
  const auto& nodes = array("nodes");
  const size_t n = nodes.size();
  std::vector<int64_t> parent(n, -1);
  for (size_t k = 0; k < n; ++k) {
    if (!nodes[k].is_object() || !nodes[k].contains("children")) continue;
    for (const auto& c : nodes[k]["children"]) {
      if (!c.is_number_integer() || c.get<int64_t>() < 0 || uint64_t(c.get<int64_t>()) >= n)
        return Unreadable(path, "nœud enfant inexistant");
      const auto child = size_t(c.get<int64_t>());
      if (parent[child] >= 0 || child == k) return Unreadable(path, "nœud rattaché à plusieurs parents");
      parent[child] = int64_t(k);
    }
  }
  // One parent each: a cycle is a walk up that comes back to a node of the same walk.
  std::vector<uint8_t> state(n, 0);  // 0 not seen, 1 on this walk, 2 leads to a root
  for (size_t k = 0; k < n; ++k) {
    std::vector<size_t> walk;
    int64_t at = int64_t(k);
    while (at >= 0 && state[size_t(at)] == 0) {
      state[size_t(at)] = 1;
      walk.push_back(size_t(at));
      at = parent[size_t(at)];
    }
    if (at >= 0 && state[size_t(at)] == 1) return Unreadable(path, "nœuds en cycle");
    for (size_t w : walk) state[w] = 2;
  }
  return std::nullopt;
}

std::optional<TError> CheckGlbHead(const std::string& path, const std::string& b, uint64_t size) {
  if (b.size() < 20 || b.compare(0, 4, "glTF") != 0) return Unreadable(path, "en-tête glTF binaire absent");
  if (Le32(b, 4) != 2) return Unreadable(path, "seul glTF 2.0 est lu");
  if (Le32(b, 8) > size || 20 + uint64_t(Le32(b, 12)) > size)
    return Unreadable(path, "morceaux du glTF binaire incohérents avec sa taille");
  return std::nullopt;
}

std::optional<TError> CheckGlb(const std::string& path, const std::string& b, const TMeshImportLimits& limits,
                               size_t& materials) {
  if (auto refused = CheckGlbHead(path, b, b.size())) return refused;
  const uint64_t length = Le32(b, 8), json = Le32(b, 12);
  if (length > b.size() || 20 + json > length || b.compare(16, 4, "JSON") != 0)
    return Unreadable(path, "morceaux du glTF binaire incohérents avec sa taille");
  return CheckGltfJson(path, std::string_view(b).substr(20, size_t(json)), limits, materials);
}

// ---- conversion ----

struct TVec {
  double x = 0, y = 0, z = 0;
};
TVec Cross(const TVec& a, const TVec& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double Dot(const TVec& a, const TVec& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// The normal the drawing gives the triangle (a, b, c): clockwise in front, left-handed.
TVec FaceNormal(const D3DVERTEX& a, const D3DVERTEX& b, const D3DVERTEX& c) {
  return Cross({double(b.x) - a.x, double(b.y) - a.y, double(b.z) - a.z},
               {double(c.x) - a.x, double(c.y) - a.y, double(c.z) - a.z});
}

bool Unit(TVec& v) {
  const double len = std::sqrt(Dot(v, v));
  if (!std::isfinite(len) || len < 1e-30) return false;
  v = {v.x / len, v.y / len, v.z / len};
  return true;
}

void SetNormal(D3DVERTEX& v, const TVec& n) { v.nx = float(n.x), v.ny = float(n.y), v.nz = float(n.z); }

// Normals for a mesh that has none: at each corner, the area-weighted mean of the faces meeting at
// the same point whose directions are within the crease angle of its own face, so a sphere is
// smooth and a cube keeps its edges. A point shared by very many faces (a cone's apex, a fan) takes
// its own face's normal: no corner costs more than a bounded number of comparisons.
void SmoothNormals(std::vector<D3DVERTEX>& v) {
  constexpr double kCreaseCos = 0.17364817766693;  // cos 80°
  constexpr size_t kMaxShared = 32;
  const size_t triangles = v.size() / 3;
  std::vector<TVec> face(triangles), unit(triangles);
  for (size_t t = 0; t < triangles; ++t) {
    face[t] = FaceNormal(v[3 * t], v[3 * t + 1], v[3 * t + 2]);
    unit[t] = face[t];
    if (!Unit(unit[t])) unit[t] = {0, 0, 0};
  }
  struct TKey {
    float x, y, z;
    bool operator==(const TKey& o) const { return x == o.x && y == o.y && z == o.z; }
  };
  struct THash {
    size_t operator()(const TKey& k) const {
      uint32_t b[3];
      std::memcpy(b, &k, sizeof b);
      return (size_t(b[0]) * 0x9E3779B1u) ^ (size_t(b[1]) * 0x85EBCA77u) ^ (size_t(b[2]) * 0xC2B2AE3Du);
    }
  };
  // + 0.0f joins -0 and +0.
  const auto keyOf = [&](size_t i) { return TKey{v[i].x + 0.0f, v[i].y + 0.0f, v[i].z + 0.0f}; };
  std::unordered_map<TKey, std::vector<uint32_t>, THash> shared;
  shared.reserve(v.size() / 4 + 1);
  for (size_t i = 0; i < 3 * triangles; ++i) shared[keyOf(i)].push_back(uint32_t(i / 3));
  for (size_t i = 0; i < 3 * triangles; ++i) {
    const size_t t = i / 3;
    TVec n = face[t];
    const std::vector<uint32_t>& faces = shared[keyOf(i)];
    if (faces.size() <= kMaxShared) {
      n = {0, 0, 0};
      for (uint32_t f : faces)
        if (f == t || Dot(unit[f], unit[t]) >= kCreaseCos) n = {n.x + face[f].x, n.y + face[f].y, n.z + face[f].z};
    }
    if (!Unit(n) && !Unit(n = unit[t])) n = {0, 1, 0};
    SetNormal(v[i], n);
  }
}

double SrgbOfLinear(double c) { return c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1 / 2.4) - 0.055; }

uint32_t Byte(double c) {
  if (!std::isfinite(c)) return 0;
  return uint32_t(std::lround(std::clamp(c, 0.0, 1.0) * 255));
}

class TConverter {
 public:
  TConverter(const aiScene& scene, const std::string& path, TMeshFormat format, const fs::path& folder,
             const TMeshImportLimits& limits, size_t gltfMaterials)
      : FScene(scene), FPath(path), FFormat(format), FFolder(folder), FLimits(limits), FGltfMaterials(gltfMaterials) {}

  // Every mesh of every node, placed by the node's transformation.
  std::optional<TError> Run(TMeshImport& out) {
    const aiNode* root = FScene.mRootNode;
    if (!root) return std::nullopt;
    // The triangles of the whole file, instances included, against the budget first.
    uint64_t total = 0;
    std::vector<const aiNode*> stack{root};
    while (!stack.empty()) {
      const aiNode* node = stack.back();
      stack.pop_back();
      for (unsigned k = 0; k < node->mNumMeshes; ++k)
        if (node->mMeshes[k] < FScene.mNumMeshes) total += Triangles(*FScene.mMeshes[node->mMeshes[k]]);
      for (unsigned c = 0; c < node->mNumChildren; ++c)
        if (node->mChildren[c]) stack.push_back(node->mChildren[c]);
    }
    if (total > FLimits.Triangles) return TooLarge(FPath, total);

    struct TPlaced {
      const aiNode* Node;
      aiMatrix4x4 World;
    };
    std::vector<TPlaced> walk{{root, root->mTransformation}};
    while (!walk.empty()) {
      const TPlaced p = walk.back();
      walk.pop_back();
      for (unsigned k = 0; k < p.Node->mNumMeshes; ++k)
        if (p.Node->mMeshes[k] < FScene.mNumMeshes)
          if (auto error = AddMesh(*FScene.mMeshes[p.Node->mMeshes[k]], *p.Node, p.World, out)) return error;
      // Children in their order: pushed last to first.
      for (unsigned c = p.Node->mNumChildren; c-- > 0;)
        if (const aiNode* child = p.Node->mChildren[c]) walk.push_back({child, p.World * child->mTransformation});
    }
    if (FDropped > 0)
      out.Notices.push_back(kMsgMeshNonFinite + FPath + " (" + std::to_string(FDropped) + " triangles)");
    return std::nullopt;
  }

 private:
  static uint64_t Triangles(const aiMesh& m) {
    uint64_t n = 0;
    for (unsigned f = 0; f < m.mNumFaces; ++f) n += m.mFaces[f].mNumIndices == 3;
    return n;
  }

  std::optional<TError> AddMesh(const aiMesh& mesh, const aiNode& node, const aiMatrix4x4& world, TMeshImport& out) {
    TImportedMesh m;
    m.SourceName = mesh.mName.length > 0 ? mesh.mName.C_Str() : node.mName.C_Str();
    if (!IsValidUtf8(m.SourceName)) m.SourceName = Win1252ToUtf8(m.SourceName);
    const bool identity = world.IsIdentity();
    // Normals go through the transposed inverse of the placement's 3 x 3 part.
    aiMatrix3x3 normalMatrix(world);
    normalMatrix.Inverse().Transpose();
    const bool hasNormals = mesh.mNormals != nullptr;
    const aiVector3D* uv = mesh.mTextureCoords[0];
    m.HasTextureCoords = uv != nullptr;
    std::vector<D3DVERTEX>& v = m.Triangles.Vertices;
    m.Triangles.PrimitiveType = D3DPT_TRIANGLELIST;
    v.reserve(3 * size_t(Triangles(mesh)));
    AdviseLargePages(v.data(), v.capacity() * sizeof(D3DVERTEX));
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
      const aiFace& face = mesh.mFaces[f];
      if (face.mNumIndices != 3) continue;  // points and lines are no surface
      D3DVERTEX corner[3];
      bool finite = true;
      for (int c = 0; c < 3; ++c) {
        const unsigned i = face.mIndices[c];
        if (i >= mesh.mNumVertices)
          return Unreadable(FPath, "indice de sommet hors limites (" + std::to_string(i) + " pour " +
                                       std::to_string(mesh.mNumVertices) + " sommets)");
        const aiVector3D p = identity ? mesh.mVertices[i] : world * mesh.mVertices[i];
        // The exchange formats are right-handed: z is mirrored, as the exports mirror it.
        D3DVERTEX& d = corner[c];
        d.x = p.x, d.y = p.y, d.z = -p.z;
        finite = finite && std::isfinite(d.x) && std::isfinite(d.y) && std::isfinite(d.z);
        if (hasNormals) {
          const aiVector3D n = identity ? mesh.mNormals[i] : normalMatrix * mesh.mNormals[i];
          d.nx = n.x, d.ny = n.y, d.nz = -n.z;
        }
        if (uv) {
          // The library gives texture coordinates from the picture's bottom left.
          d.tu = std::isfinite(uv[i].x) ? uv[i].x : 0.0f;
          d.tv = std::isfinite(uv[i].y) ? 1.0f - uv[i].y : 0.0f;
        }
      }
      if (!finite) {
        ++FDropped;
        continue;
      }
      // Counter-clockwise in the file, clockwise in front for the drawing: the exports write
      // (a, c, b) for the drawn (a, b, c).
      v.push_back(corner[0]);
      v.push_back(corner[2]);
      v.push_back(corner[1]);
    }
    if (v.empty()) return std::nullopt;
    if (hasNormals) {
      // A normal the file leaves zero or invalid takes its face's.
      for (size_t t = 0; t < v.size(); t += 3) {
        TVec face{};
        bool faceMade = false;
        for (size_t c = t; c < t + 3; ++c) {
          TVec n{v[c].nx, v[c].ny, v[c].nz};
          if (Unit(n)) {
            SetNormal(v[c], n);
            continue;
          }
          if (!faceMade) {
            face = FaceNormal(v[t], v[t + 1], v[t + 2]);
            if (!Unit(face)) face = {0, 1, 0};
            faceMade = true;
          }
          SetNormal(v[c], face);
        }
      }
    } else {
      SmoothNormals(v);
    }
    const bool gltf = FFormat == TMeshFormat::Gltf || FFormat == TMeshFormat::Glb;
    if (mesh.mMaterialIndex < FScene.mNumMaterials && (!gltf || mesh.mMaterialIndex < FGltfMaterials))
      Material(*FScene.mMaterials[mesh.mMaterialIndex], m, out);
    out.Meshes.push_back(std::move(m));
    return std::nullopt;
  }

  void Material(const aiMaterial& mat, TImportedMesh& m, TMeshImport& out) {
    aiString name;
    const bool isDefault =
        mat.Get(AI_MATKEY_NAME, name) == aiReturn_SUCCESS && name == aiString(AI_DEFAULT_MATERIAL_NAME);
    const bool gltf = FFormat == TMeshFormat::Gltf || FFormat == TMeshFormat::Glb;
    aiColor4D c;
    bool found = false;
    if (!isDefault) {
      found = (gltf && mat.Get(AI_MATKEY_BASE_COLOR, c) == aiReturn_SUCCESS) ||
              mat.Get(AI_MATKEY_COLOR_DIFFUSE, c) == aiReturn_SUCCESS;
    }
    if (found) {
      double r = c.r, g = c.g, b = c.b, a = c.a;
      if (gltf) {
        // glTF factors are linear; the program's colours are display colours.
        r = SrgbOfLinear(r), g = SrgbOfLinear(g), b = SrgbOfLinear(b);
      } else if (float opacity = 1; mat.Get(AI_MATKEY_OPACITY, opacity) == aiReturn_SUCCESS) {
        a = opacity;
      }
      m.Color = Byte(a) << 24 | Byte(r) << 16 | Byte(g) << 8 | Byte(b);
      m.HasColor = true;
    }
    aiString texture;
    if (!((gltf && mat.GetTexture(aiTextureType_BASE_COLOR, 0, &texture) == aiReturn_SUCCESS) ||
          mat.GetTexture(aiTextureType_DIFFUSE, 0, &texture) == aiReturn_SUCCESS) ||
        texture.length == 0)
      return;
    if (const aiTexture* embedded = FScene.GetEmbeddedTexture(texture.C_Str())) {
      // Only pictures kept in their own file format: an array of texels has no format to extract.
      if (embedded->mHeight == 0 && embedded->pcData && embedded->mWidth > 0) {
        m.EmbeddedTexture.assign(reinterpret_cast<const char*>(embedded->pcData), embedded->mWidth);
        m.EmbeddedTextureFormat = Lower(std::string(embedded->achFormatHint, strnlen(embedded->achFormatHint, 9)));
      }
      return;
    }
    const std::string named = texture.C_Str();
    if (named.rfind("data:", 0) == 0) return;
    std::error_code ec;
    fs::path p(gltf ? PercentDecoded(named) : named);
    if (p.is_relative()) p = FFolder / p;
    const fs::path resolved = fs::weakly_canonical(p, ec);
    if (ec || !Inside(resolved, FFolder)) {
      Notice(out, kMsgMeshOutsideFolder + named);
      return;
    }
    if (!fs::is_regular_file(resolved, ec)) {
      Notice(out, kMsgMeshTextureMissing + named);
      return;
    }
    m.TexturePath = resolved.string();
  }

  // Each notice once, however many meshes share the material.
  static void Notice(TMeshImport& out, const std::string& text) {
    if (std::find(out.Notices.begin(), out.Notices.end(), text) == out.Notices.end()) out.Notices.push_back(text);
  }

  const aiScene& FScene;
  const std::string& FPath;
  TMeshFormat FFormat;
  const fs::path& FFolder;
  const TMeshImportLimits& FLimits;
  // The materials a glTF file defines: the library appends its own default after them.
  size_t FGltfMaterials;
  uint64_t FDropped = 0;
};

}  // namespace

bool IsMeshFileName(const std::string& path) { return MeshFormatOf(path).has_value(); }

TExpected<TMeshImport> ImportMesh(const std::string& path, const TMeshImportLimits& limits) {
  const std::optional<TMeshFormat> format = MeshFormatOf(path);
  if (!format) return TError(kMsgMeshUnknownFormat + path);
  std::error_code ec;
  const fs::path absolute = fs::absolute(path, ec).lexically_normal();
  const fs::path folder = fs::weakly_canonical(absolute.parent_path(), ec);
  if (ec) return Unreadable(path, ReasonOf(ec));
  auto bytes = std::make_shared<std::string>();
  uint64_t size = 0;
  std::ifstream in;
  switch (OpenRegularFile(absolute.string(), limits.FileBytes, in, size)) {
    case TRead::Ok:
      break;
    case TRead::Missing:
      return Unreadable(path, ReasonOf(std::make_error_code(std::errc::no_such_file_or_directory)));
    case TRead::NotRegular:
      return Unreadable(path, "pas un fichier ordinaire");
    case TRead::TooLarge:
      return TError(kMsgMeshTooLarge + path, std::to_string(size) + " octets");
    case TRead::Failed:
      return Unreadable(path, ReasonOf(std::make_error_code(std::errc::io_error)));
  }
  // The head first: what it declares must fit before the rest is read.
  constexpr size_t kHead = 64 << 10;
  const size_t head = size_t(std::min<uint64_t>(size, kHead));
  bytes->reserve(size_t(size));
  AdviseLargePages(bytes->data(), bytes->capacity());
  if (!ReadMore(in, *bytes, head)) return Unreadable(path, ReasonOf(std::make_error_code(std::errc::io_error)));
  std::optional<TError> refused;
  if (*format == TMeshFormat::Stl)
    refused = CheckStl(path, *bytes, size, limits);
  else if (*format == TMeshFormat::Glb && size > 0)
    refused = CheckGlbHead(path, *bytes, size);
  else if (*format == TMeshFormat::Ply && size > 0 &&
           (bytes->compare(0, 3, "ply") != 0 || bytes->find("end_header") == std::string::npos))
    refused = Unreadable(path, "en-tête PLY absent ou incomplet");
  if (refused && size > 0) return *refused;
  if (!ReadMore(in, *bytes, size_t(size) - head))
    return Unreadable(path, ReasonOf(std::make_error_code(std::errc::io_error)));
  if (bytes->empty()) return TError(kMsgMeshEmpty + path, "fichier vide");

  size_t gltfMaterials = 0;
  switch (*format) {
    case TMeshFormat::Stl:
      break;
    case TMeshFormat::Ply:
      refused = CheckPly(path, *bytes, limits);
      break;
    case TMeshFormat::Gltf:
      refused = CheckGltfJson(path, *bytes, limits, gltfMaterials);
      break;
    case TMeshFormat::Glb:
      refused = CheckGlb(path, *bytes, limits, gltfMaterials);
      break;
    case TMeshFormat::Obj:
      refused = CheckObj(path, *bytes);
      break;
  }
  if (refused) return *refused;

  Assimp::Importer importer;
  auto* io = new TConfinedIOSystem(absolute, bytes, folder, limits.FileBytes);  // the importer owns it
  importer.SetIOHandler(io);
  // Lines and points are left in meshes of their own, and skipped; polygons become triangles.
  // Nothing else: the library's normal generation sorts points, and a file's invalid coordinates
  // must not reach a sort. Normals are made here where the file has none.
  const aiScene* scene = importer.ReadFile(absolute.string(), aiProcess_Triangulate);
  if (!scene) {
    std::string reason = importer.GetErrorString();
    if (!io->TooLargeFile.empty()) return TError(kMsgMeshTooLarge + path, io->TooLargeFile);
    if (!io->Refused.empty()) reason = "référence hors du dossier du fichier : " + io->Refused.front();
    return Unreadable(path, reason);
  }
  TMeshImport out;
  for (const std::string& r : io->Refused) out.Notices.push_back(kMsgMeshOutsideFolder + r);
  if (auto error = TConverter(*scene, path, *format, folder, limits, gltfMaterials).Run(out)) return *error;
  if (out.Meshes.empty()) return TError(kMsgMeshEmpty + path);
  // Named after the file: the first mesh as the file, the others numbered.
  std::string stem = absolute.stem().string();
  if (!IsValidUtf8(stem)) stem = Win1252ToUtf8(stem);
  for (size_t k = 0; k < out.Meshes.size(); ++k)
    out.Meshes[k].Name = k == 0 ? stem : stem + " " + std::to_string(k + 1);
  return out;
}

}  // namespace ixoral
