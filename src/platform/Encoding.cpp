// Windows-1252 <-> UTF-8 at the boundary of the program's files.
#include "platform/Encoding.h"

#include <array>
#include <cstdint>

namespace ixoral {
namespace {

// Code points of bytes 0x80..0x9F; undefined bytes keep their own value (C1 controls).
constexpr std::array<char32_t, 32> kHigh = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                            0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                            0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                            0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Decodes one code point at i; returns false on malformed input (and advances one byte).
bool DecodeUtf8(std::string_view s, size_t& i, char32_t& out) {
  const auto b0 = static_cast<uint8_t>(s[i]);
  if (b0 < 0x80) {
    out = b0;
    ++i;
    return true;
  }
  int len = 0;
  char32_t cp = 0;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2;
    cp = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3;
    cp = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4;
    cp = b0 & 0x07;
  } else {
    ++i;
    return false;
  }
  if (i + len > s.size()) {
    ++i;
    return false;
  }
  for (int k = 1; k < len; ++k) {
    const auto b = static_cast<uint8_t>(s[i + k]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return false;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  static constexpr char32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return false;
  }
  i += len;
  out = cp;
  return true;
}

}  // namespace

std::string Win1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  for (char ch : bytes) {
    const auto b = static_cast<uint8_t>(ch);
    if (b < 0x80)
      out += ch;
    else if (b < 0xA0)
      AppendUtf8(out, kHigh[b - 0x80]);
    else
      AppendUtf8(out, b);
  }
  return out;
}

std::string Utf8ToWin1252(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    char32_t cp = 0;
    if (!DecodeUtf8(utf8, i, cp)) {
      out += '?';
      continue;
    }
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      out += static_cast<char>(cp);
      continue;
    }
    char mapped = '?';
    for (size_t k = 0; k < kHigh.size(); ++k) {
      if (kHigh[k] == cp) {
        mapped = static_cast<char>(0x80 + k);
        break;
      }
    }
    out += mapped;
  }
  return out;
}

bool IsValidUtf8(std::string_view text) {
  size_t i = 0;
  char32_t cp = 0;
  while (i < text.size())
    if (!DecodeUtf8(text, i, cp)) return false;
  return true;
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

namespace {
// The length of the control character at `text[i]`: 1 for C0 and DEL, 2 for a C1 control in
// UTF-8 (0xC2 0x80 to 0xC2 0x9F), 0 for anything else.
size_t ControlAt(std::string_view text, size_t i) {
  const auto b = static_cast<unsigned char>(text[i]);
  if (b < 0x20 || b == 0x7F) return 1;
  if (b == 0xC2 && i + 1 < text.size()) {
    const auto next = static_cast<unsigned char>(text[i + 1]);
    if (next >= 0x80 && next <= 0x9F) return 2;
  }
  return 0;
}
}  // namespace

std::string TerminalSafe(std::string_view utf8) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const size_t control = ControlAt(utf8, i);
    if (control == 0) {
      if (utf8[i] == '\\') out += '\\';
      out += utf8[i++];
      continue;
    }
    for (size_t k = 0; k < control; ++k, ++i) {
      const auto b = static_cast<unsigned char>(utf8[i]);
      out += "\\x";
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

bool HasControlCharacter(std::string_view utf8) {
  for (size_t i = 0; i < utf8.size(); ++i)
    if (ControlAt(utf8, i) != 0) return true;
  return false;
}

}  // namespace ixoral
