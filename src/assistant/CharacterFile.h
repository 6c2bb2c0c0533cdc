// The assistant's character files ("*.acs"): one archive of the modeller's container holding a
// text description of the character ("character.txt", UTF-8) and its frames as PNG pictures.
//
// The description is one "key=value" per line. The character's own keys come first:
//
//   ixoral-character=1
//   name=Merlin
//   version=1.0
//   description=Un magicien...
//   extradata=...
//   width=128
//   height=160
//
// then each animation, opened by "animation=NAME" and followed by its frames in order
// ("frame=PICTURE DURATION_MS") and at most one of "loop=1" (it starts over) or "next=NAME"
// (that animation follows). Blank lines and lines starting with '#' are ignored.
//
// This part reads and writes the files without decoding the pictures (no Qt), so that it can be
// fuzzed: every picture is checked to be a PNG of the frame size from its header alone.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace ixoral {

inline constexpr const char* kMsgCharacterNotFound = "Le fichier du personnage est introuvable";
inline constexpr const char* kMsgCharacterUnreadable = "Le fichier du personnage est illisible ou endommagé";
inline constexpr const char* kMsgCharacterTooLarge = "Le fichier du personnage est trop volumineux";
inline constexpr const char* kMsgCharacterNoDescription = "Le fichier du personnage ne contient pas sa description";
inline constexpr const char* kMsgCharacterBadDescription = "La description du personnage est invalide";
inline constexpr const char* kMsgCharacterBadFrameSize = "La taille des images du personnage est invalide";
inline constexpr const char* kMsgCharacterTooManyFrames = "Le personnage compte trop d'images";
inline constexpr const char* kMsgCharacterBadPictureName = "Le nom d'une image du personnage est invalide";
inline constexpr const char* kMsgCharacterMissingPicture = "Une image du personnage est absente du fichier";
inline constexpr const char* kMsgCharacterBadDuration = "La durée d'une image du personnage est invalide";
inline constexpr const char* kMsgCharacterBadAnimation = "Une animation du personnage est invalide";
inline constexpr const char* kMsgCharacterBadPicture =
    "Une image du personnage est illisible ou n'a pas la taille du personnage";

inline constexpr const char* kCharacterDescriptionEntry = "character.txt";
inline constexpr int kCharacterFormatVersion = 1;

// What a reader accepts: far more than a character needs, far less than could hurt.
inline constexpr uint64_t kMaxCharacterFileBytes = 64ull << 20;
inline constexpr uint64_t kMaxCharacterDescriptionBytes = 256u << 10;
inline constexpr uint64_t kMaxCharacterPictureBytes = 4u << 20;
inline constexpr int kMaxCharacterSide = 512;
inline constexpr int kMaxCharacterFrames = 2048;
inline constexpr int kMaxCharacterAnimations = 256;
// Pixels of all the distinct pictures once decoded (4 bytes each).
inline constexpr uint64_t kMaxCharacterPixels = 32ull << 20;
inline constexpr int kMinFrameMs = 10;
inline constexpr int kMaxFrameMs = 10000;
inline constexpr size_t kMaxCharacterText = 1024;
inline constexpr size_t kMaxCharacterName = 100;

struct TCharacterFrame {
  std::string Picture;
  int Duration = 100;  // milliseconds
  bool operator==(const TCharacterFrame&) const = default;
};

struct TCharacterAnimation {
  std::string Name;
  std::vector<TCharacterFrame> Frames;
  bool Loops = false;
  std::string Next;  // the animation that follows, when it does not loop
  bool operator==(const TCharacterAnimation&) const = default;
};

struct TCharacterInfo {
  std::string Name, Version, Description, ExtraData;
  int Width = 0, Height = 0;
  std::vector<TCharacterAnimation> Animations;

  const TCharacterAnimation* Find(const std::string& animation) const;
  // The distinct pictures the animations show, in the order they first appear.
  std::vector<std::string> Pictures() const;
  bool operator==(const TCharacterInfo&) const = default;
};

// Whether `name` can name a picture entry: a plain file name, no folder, no "..", no control
// characters.
bool PlainPictureName(const std::string& name);

// Reads a description; on failure returns false with one of the messages above in `error`.
// Pictures are not looked at here.
bool ParseCharacterDescription(const std::string& text, TCharacterInfo& info, std::string& error);
// The description of `info` as ParseCharacterDescription reads it back.
std::string FormatCharacterDescription(const TCharacterInfo& info);

// The width and height a PNG's header announces, without decoding it; false when the bytes do
// not start as a PNG.
bool PngSize(const std::string& bytes, int& width, int& height);

// One character file, read whole and checked: its description and the compressed bytes of every
// picture its animations show, each a PNG of the character's size.
class TCharacterFile {
 public:
  // Reads `path`; false, with the reason in LastError(), for a file that is missing, damaged,
  // oversized or whose description or pictures do not hold together.
  bool Open(const std::string& path);
  const std::string& LastError() const { return FError; }
  const TCharacterInfo& Info() const { return FInfo; }
  const std::map<std::string, std::string>& Pictures() const { return FPictures; }

 private:
  bool Fail(const char* message);
  std::string FError;
  TCharacterInfo FInfo;
  std::map<std::string, std::string> FPictures;
};

// Writes a character file (replacing `path`): the description and the PNG bytes of every picture
// the animations show. False, with the reason in `error`, when the description is not one the
// reader accepts or the file cannot be written.
bool WriteCharacterFile(const std::string& path, const TCharacterInfo& info,
                        const std::map<std::string, std::string>& pictures, std::string& error);

}  // namespace ixoral
