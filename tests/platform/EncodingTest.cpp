// Windows-1252 <-> UTF-8 conversion at the boundary of documents.
#include "platform/Encoding.h"

#include <gtest/gtest.h>

using namespace ixoral;

TEST(Encoding, EveryByteSurvivesARoundTrip) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::string utf8 = Win1252ToUtf8(all);
  EXPECT_TRUE(IsValidUtf8(utf8));
  EXPECT_EQ(Utf8ToWin1252(utf8), all);
}

TEST(Encoding, FrenchTextAndTheEuroSign) {
  EXPECT_EQ(Win1252ToUtf8("Lumi\xE8re1"), "Lumière1");
  EXPECT_EQ(Utf8ToWin1252("Sphère Percé"), "Sph\xE8re Perc\xE9");
  EXPECT_EQ(Win1252ToUtf8("\x80"), "€");
  EXPECT_EQ(Utf8ToWin1252("€œ"), "\x80\x9C");
}

TEST(Encoding, UnmappableAndMalformedBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToWin1252("a\xE4\xB8\xAD"
                          "b"),
            "a?b");                                 // CJK character
  EXPECT_EQ(Utf8ToWin1252("a\xC3"), "a?");          // truncated sequence
  EXPECT_EQ(Utf8ToWin1252("\xC0\xAF"), "??");       // overlong form
  EXPECT_EQ(Utf8ToWin1252("\xED\xA0\x80"), "???");  // surrogate
  EXPECT_FALSE(IsValidUtf8("\xFF"));
  EXPECT_TRUE(IsValidUtf8(""));
}

TEST(Encoding, AsciiLowerLeavesOtherBytesAlone) { EXPECT_EQ(AsciiLower("\\Options\\Été"), "\\options\\Été"); }

TEST(Encoding, NamesShownOnATerminalCarryNoControlCharacters) {
  // An escape sequence that would clear the screen, a newline, a C1 control (U+009B, the
  // one-byte CSI) and a backslash: all visible, none obeyed; French text stays as it is.
  EXPECT_EQ(TerminalSafe("Cube\x1b[2J\nSphère\xc2\x9b\\"), "Cube\\x1B[2J\\x0ASphère\\xC2\\x9B\\\\");
  EXPECT_EQ(TerminalSafe("Théière 3D"), "Théière 3D");
  EXPECT_TRUE(HasControlCharacter("tex\nture.bmp"));
  EXPECT_TRUE(HasControlCharacter("a\x7f"));
  EXPECT_TRUE(HasControlCharacter("a\xc2\x85"));  // NEL
  EXPECT_FALSE(HasControlCharacter("pierre_à_feu.bmp"));
  EXPECT_FALSE(HasControlCharacter("\xc2"));  // a lone lead byte is no control
}
