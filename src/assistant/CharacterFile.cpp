#include "assistant/CharacterFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <set>
#include <string_view>

#include "storage/Archive.h"

namespace ixoral {

namespace {

constexpr std::string_view kFormatKey = "ixoral-character";

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// A whole unsigned decimal number and nothing else; false for anything else or above `max`.
bool ParseCount(std::string_view s, long max, long& value) {
  if (s.empty() || s.size() > 9) return false;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  return ec == std::errc() && end == s.data() + s.size() && value >= 0 && value <= max;
}

bool HasControl(std::string_view s) {
  return std::any_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

}  // namespace

const TCharacterAnimation* TCharacterInfo::Find(const std::string& animation) const {
  for (const TCharacterAnimation& a : Animations)
    if (a.Name == animation) return &a;
  return nullptr;
}

std::vector<std::string> TCharacterInfo::Pictures() const {
  std::vector<std::string> out;
  std::set<std::string> seen;
  for (const TCharacterAnimation& a : Animations)
    for (const TCharacterFrame& f : a.Frames)
      if (seen.insert(f.Picture).second) out.push_back(f.Picture);
  return out;
}

bool PlainPictureName(const std::string& name) {
  if (name.empty() || name.size() > kMaxCharacterName) return false;
  if (name.find_first_of("/\\:") != std::string::npos) return false;
  if (name.find("..") != std::string::npos || name == ".") return false;
  if (name.front() == ' ' || name.back() == ' ' || name.find(' ') != std::string::npos) return false;
  return !HasControl(name);
}

bool ParseCharacterDescription(const std::string& text, TCharacterInfo& info, std::string& error) {
  info = {};
  auto fail = [&error](const char* message) {
    error = message;
    return false;
  };
  if (text.size() > kMaxCharacterDescriptionBytes) return fail(kMsgCharacterTooLarge);

  bool sawFormat = false;
  std::set<std::string> headerKeys;
  std::set<std::string> animationKeys;  // loop/next of the animation being read
  std::set<std::string> names;
  long frames = 0;
  long width = -1, height = -1;
  std::string_view rest(text);
  while (!rest.empty()) {
    const size_t eol = rest.find('\n');
    const std::string_view line = Trim(rest.substr(0, eol));
    rest = eol == std::string_view::npos ? std::string_view() : rest.substr(eol + 1);
    if (line.empty() || line.front() == '#') continue;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) return fail(kMsgCharacterBadDescription);
    const std::string key(Trim(line.substr(0, eq)));
    const std::string_view value = Trim(line.substr(eq + 1));
    if (value.size() > kMaxCharacterText || HasControl(value)) return fail(kMsgCharacterBadDescription);

    if (!sawFormat) {
      // The first line says what the file is and which form of it.
      long version = 0;
      if (key != kFormatKey || !ParseCount(value, 1000, version) || version != kCharacterFormatVersion)
        return fail(kMsgCharacterBadDescription);
      sawFormat = true;
      continue;
    }
    if (key == "animation") {
      if (value.empty() || value.size() > kMaxCharacterName) return fail(kMsgCharacterBadAnimation);
      if (!names.insert(std::string(value)).second) return fail(kMsgCharacterBadAnimation);
      if (static_cast<int>(info.Animations.size()) >= kMaxCharacterAnimations) return fail(kMsgCharacterBadAnimation);
      info.Animations.push_back({std::string(value), {}, false, {}});
      animationKeys.clear();
      continue;
    }
    if (info.Animations.empty()) {
      // The character's own keys, each once.
      if (!headerKeys.insert(key).second) return fail(kMsgCharacterBadDescription);
      if (key == "name") {
        info.Name = value;
      } else if (key == "version") {
        info.Version = value;
      } else if (key == "description") {
        info.Description = value;
      } else if (key == "extradata") {
        info.ExtraData = value;
      } else if (key == "width" || key == "height") {
        long side = 0;
        if (!ParseCount(value, kMaxCharacterSide, side) || side < 1) return fail(kMsgCharacterBadFrameSize);
        (key == "width" ? width : height) = side;
      } else {
        return fail(kMsgCharacterBadDescription);
      }
      continue;
    }
    TCharacterAnimation& a = info.Animations.back();
    if (key == "frame") {
      const size_t space = value.find_last_of(" \t");
      if (space == std::string_view::npos) return fail(kMsgCharacterBadDuration);
      const std::string picture(Trim(value.substr(0, space)));
      if (!PlainPictureName(picture)) return fail(kMsgCharacterBadPictureName);
      long ms = 0;
      if (!ParseCount(value.substr(space + 1), kMaxFrameMs, ms) || ms < kMinFrameMs)
        return fail(kMsgCharacterBadDuration);
      if (++frames > kMaxCharacterFrames) return fail(kMsgCharacterTooManyFrames);
      a.Frames.push_back({picture, static_cast<int>(ms)});
    } else if (key == "loop" || key == "next") {
      if (!animationKeys.insert(key).second) return fail(kMsgCharacterBadDescription);
      if (key == "loop") {
        if (value != "0" && value != "1") return fail(kMsgCharacterBadDescription);
        a.Loops = value == "1";
      } else {
        a.Next = value;
      }
    } else {
      return fail(kMsgCharacterBadDescription);
    }
  }
  if (!sawFormat || !headerKeys.count("name")) return fail(kMsgCharacterBadDescription);
  if (width < 1 || height < 1) return fail(kMsgCharacterBadFrameSize);
  info.Width = static_cast<int>(width);
  info.Height = static_cast<int>(height);
  if (info.Animations.empty()) return fail(kMsgCharacterBadAnimation);
  for (const TCharacterAnimation& a : info.Animations) {
    if (a.Frames.empty()) return fail(kMsgCharacterBadAnimation);
    // An animation either starts over or hands over to one that exists.
    if (!a.Next.empty() && (a.Loops || !info.Find(a.Next))) return fail(kMsgCharacterBadAnimation);
  }
  const uint64_t pixels =
      static_cast<uint64_t>(info.Pictures().size()) * static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  if (pixels > kMaxCharacterPixels) return fail(kMsgCharacterTooManyFrames);
  error.clear();
  return true;
}

std::string FormatCharacterDescription(const TCharacterInfo& info) {
  std::string out = std::string(kFormatKey) + "=" + std::to_string(kCharacterFormatVersion) + "\n";
  out += "name=" + info.Name + "\n";
  out += "version=" + info.Version + "\n";
  out += "description=" + info.Description + "\n";
  out += "extradata=" + info.ExtraData + "\n";
  out += "width=" + std::to_string(info.Width) + "\n";
  out += "height=" + std::to_string(info.Height) + "\n";
  for (const TCharacterAnimation& a : info.Animations) {
    out += "\nanimation=" + a.Name + "\n";
    if (a.Loops) out += "loop=1\n";
    if (!a.Next.empty()) out += "next=" + a.Next + "\n";
    for (const TCharacterFrame& f : a.Frames) out += "frame=" + f.Picture + " " + std::to_string(f.Duration) + "\n";
  }
  return out;
}

bool PngSize(const std::string& bytes, int& width, int& height) {
  static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (bytes.size() < 24 || std::memcmp(bytes.data(), kSignature, 8) != 0 || bytes.compare(12, 4, "IHDR") != 0)
    return false;
  auto be32 = [&bytes](size_t at) {
    uint32_t v = 0;
    for (size_t k = 0; k < 4; ++k) v = (v << 8) | static_cast<unsigned char>(bytes[at + k]);
    return v;
  };
  const uint32_t w = be32(16), h = be32(20);
  if (w > 0x7FFFFFFF || h > 0x7FFFFFFF) return false;
  width = static_cast<int>(w);
  height = static_cast<int>(h);
  return true;
}

bool TCharacterFile::Fail(const char* message) {
  FError = message;
  FInfo = {};
  FPictures.clear();
  return false;
}

bool TCharacterFile::Open(const std::string& path) {
  FError.clear();
  FInfo = {};
  FPictures.clear();
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return Fail(kMsgCharacterNotFound);
  if (!S_ISREG(st.st_mode)) return Fail(kMsgCharacterUnreadable);
  if (static_cast<uint64_t>(st.st_size) > kMaxCharacterFileBytes) return Fail(kMsgCharacterTooLarge);
  try {
    TZLBArchive archive;
    archive.CheckCRC = true;
    if (!archive.OpenArchive(path)) return Fail(kMsgCharacterUnreadable);
    // Entries by name; only plain names at the archive's top level count.
    std::map<std::string, int> entries;
    for (int i = 0; i < archive.EntryCount(); ++i) {
      const ZLBEntry e = archive.GetEntry(i);
      if (e.StoredPath.empty()) entries.emplace(e.FileNameUtf8(), i);
    }
    auto read = [&](const std::string& name, uint64_t limit, std::string& out) -> const char* {
      const auto found = entries.find(name);
      if (found == entries.end())
        return name == kCharacterDescriptionEntry ? kMsgCharacterNoDescription : kMsgCharacterMissingPicture;
      if (archive.GetEntry(found->second).UncompressedSize > limit) return kMsgCharacterTooLarge;
      if (!archive.ExtractToStream(found->second, out)) return kMsgCharacterUnreadable;
      return nullptr;
    };
    std::string text;
    if (const char* message = read(kCharacterDescriptionEntry, kMaxCharacterDescriptionBytes, text))
      return Fail(message);
    TCharacterInfo info;
    std::string error;
    if (!ParseCharacterDescription(text, info, error)) {
      FError = error;
      return false;
    }
    uint64_t total = 0;
    for (const std::string& name : info.Pictures()) {
      std::string bytes;
      if (const char* message = read(name, kMaxCharacterPictureBytes, bytes)) return Fail(message);
      total += bytes.size();
      if (total > kMaxCharacterFileBytes) return Fail(kMsgCharacterTooLarge);
      int w = 0, h = 0;
      if (!PngSize(bytes, w, h) || w != info.Width || h != info.Height) return Fail(kMsgCharacterBadPicture);
      FPictures.emplace(name, std::move(bytes));
    }
    FInfo = std::move(info);
    return true;
  } catch (const std::exception&) {
    // The container's own failures: truncated, bad checksum, damaged blocks.
    return Fail(kMsgCharacterUnreadable);
  }
}

bool WriteCharacterFile(const std::string& path, const TCharacterInfo& info,
                        const std::map<std::string, std::string>& pictures, std::string& error) {
  const std::string text = FormatCharacterDescription(info);
  TCharacterInfo check;
  if (!ParseCharacterDescription(text, check, error)) return false;
  std::vector<TArchiveInput> inputs{{kCharacterDescriptionEntry, {}, &text}};
  for (const std::string& name : info.Pictures()) {
    const auto found = pictures.find(name);
    if (found == pictures.end()) {
      error = kMsgCharacterMissingPicture;
      return false;
    }
    int w = 0, h = 0;
    if (!PngSize(found->second, w, h) || w != info.Width || h != info.Height) {
      error = kMsgCharacterBadPicture;
      return false;
    }
    inputs.push_back({name, {}, &found->second});
  }
  try {
    TZLBArchive archive;
    archive.CompressionLevel = TFileCompressionLevel::fcMaximum;
    archive.CreateArchive(path, true);
    if (!archive.AddEntries(inputs)) {
      error = kMsgCharacterUnreadable;
      return false;
    }
  } catch (const std::exception& e) {
    error = e.what();
    return false;
  }
  error.clear();
  return true;
}

}  // namespace ixoral
