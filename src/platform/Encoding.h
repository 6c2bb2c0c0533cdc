// Conversion between the Windows-1252 bytes of documents and tips files and the UTF-8 used inside the program.
#pragma once

#include <string>
#include <string_view>

namespace ixoral {

// Every byte maps to one character; the five bytes Windows-1252 leaves undefined map to the
// C1 control of the same value, so any byte string survives a round trip.
std::string Win1252ToUtf8(std::string_view bytes);

// Characters without a Windows-1252 byte, and malformed UTF-8, become '?'.
std::string Utf8ToWin1252(std::string_view utf8);

// Whether the text is well-formed UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF).
bool IsValidUtf8(std::string_view text);

// Lower-cases ASCII letters only; used where the original compared without regard to case.
std::string AsciiLower(std::string_view text);

// A name from a document as a terminal may show it: each byte of a control character (C0, DEL
// and the C1 controls written in UTF-8) that a terminal would obey is written as \xNN and a
// backslash is doubled, so an escape sequence hidden in a name is printed, not run. Other text
// is unchanged.
std::string TerminalSafe(std::string_view utf8);

// Whether a name has a control character in it (a newline, an escape...): no file name the
// program writes holds one.
bool HasControlCharacter(std::string_view utf8);

}  // namespace ixoral
