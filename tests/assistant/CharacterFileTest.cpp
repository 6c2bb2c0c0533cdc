// Character files: what the writer writes the reader reads back; every damaged or hostile file is
// refused with its own message, never read past its limits; the shipped characters have every
// animation the guide plays; the character folders and the chooser's listing rule.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <filesystem>
#include <fstream>

#include "TempFolder.h"
#include "assistant/CharacterFile.h"
#include "assistant/CharacterFolders.h"
#include "assistant/CharacterPlayer.h"
#include "storage/Archive.h"

namespace ixoral {
namespace {

std::string Png(int w, int h, QColor colour = Qt::red) {
  QImage image(w, h, QImage::Format_ARGB32);
  image.fill(colour);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes.toStdString();
}

TCharacterInfo SmallCharacter() {
  TCharacterInfo info;
  info.Name = "Petit";
  info.Version = "2.1";
  info.Description = "Un personnage d'essai, tout petit";
  info.ExtraData = "données";
  info.Width = 16;
  info.Height = 20;
  info.Animations = {{"Show", {{"a.png", 50}}, false, "Idle"},
                     {"Idle", {{"a.png", 200}, {"b.png", 300}}, true, {}},
                     {"Hide", {{"b.png", 40}, {"a.png", 40}}, false, {}}};
  return info;
}

std::map<std::string, std::string> SmallPictures() {
  return {{"a.png", Png(16, 20)}, {"b.png", Png(16, 20, Qt::blue)}};
}

// An archive written directly, past the writer's own checks.
void WriteRaw(const std::string& path, const std::string& description,
              const std::map<std::string, std::string>& pictures, bool withDescription = true) {
  std::vector<TArchiveInput> inputs;
  if (withDescription) inputs.push_back({kCharacterDescriptionEntry, {}, &description});
  for (const auto& [name, bytes] : pictures) inputs.push_back({name, {}, &bytes});
  TZLBArchive a;
  a.CreateArchive(path, true);
  a.AddEntries(inputs);
}

std::string Describe(const std::string& body, const std::string& size = "width=16\nheight=20\n") {
  return "ixoral-character=1\nname=X\n" + size + body;
}

TEST(CharacterFile, WhatTheWriterWritesTheReaderReadsBackAndDecodes) {
  test::TTempFolder folder("character");
  const std::string path = folder.File("petit.acs");
  std::string error;
  ASSERT_TRUE(WriteCharacterFile(path, SmallCharacter(), SmallPictures(), error)) << error;
  TCharacterFile file;
  ASSERT_TRUE(file.Open(path)) << file.LastError();
  EXPECT_EQ(file.Info(), SmallCharacter());
  EXPECT_EQ(file.Pictures(), SmallPictures());
  EXPECT_EQ(file.Info().Pictures(), (std::vector<std::string>{"a.png", "b.png"}));

  const auto data = LoadCharacterData(path, error);
  ASSERT_TRUE(data) << error;
  ASSERT_EQ(data->Frames.size(), 2u);
  EXPECT_EQ(data->Frames.at("b.png").size(), QSize(16, 20));
  EXPECT_EQ(QColor(data->Frames.at("b.png").pixel(3, 3)), QColor(Qt::blue));

  // The writer refuses what the reader would: a picture missing or of another size.
  auto pictures = SmallPictures();
  pictures.erase("b.png");
  EXPECT_FALSE(WriteCharacterFile(folder.File("x.acs"), SmallCharacter(), pictures, error));
  EXPECT_EQ(error, kMsgCharacterMissingPicture);
  pictures["b.png"] = Png(17, 20);
  EXPECT_FALSE(WriteCharacterFile(folder.File("x.acs"), SmallCharacter(), pictures, error));
  EXPECT_EQ(error, kMsgCharacterBadPicture);
}

TEST(CharacterFile, DamagedMissingOrOversizedFilesAreRefused) {
  test::TTempFolder folder("character");
  TCharacterFile file;
  EXPECT_FALSE(file.Open(folder.File("absent.acs")));
  EXPECT_EQ(file.LastError(), kMsgCharacterNotFound);
  EXPECT_FALSE(file.Open(folder.Path().string()));
  EXPECT_EQ(file.LastError(), kMsgCharacterUnreadable);

  const std::string good = folder.File("petit.acs");
  std::string error;
  ASSERT_TRUE(WriteCharacterFile(good, SmallCharacter(), SmallPictures(), error));
  const auto size = std::filesystem::file_size(good);
  for (uintmax_t cut : {size / 2, size - 1, uintmax_t(10)}) {
    const std::string cutPath = folder.File("cut.acs");
    std::filesystem::copy_file(good, cutPath, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::resize_file(cutPath, cut);
    EXPECT_FALSE(file.Open(cutPath)) << cut;
    EXPECT_EQ(file.LastError(), kMsgCharacterUnreadable) << cut;
  }
  std::ofstream(folder.File("junk.acs")) << "pas une archive du tout";
  EXPECT_FALSE(file.Open(folder.File("junk.acs")));
  EXPECT_EQ(file.LastError(), kMsgCharacterUnreadable);

  // A file past the size limit is refused before being read (a sparse file costs nothing).
  const std::string huge = folder.File("huge.acs");
  std::ofstream(huge).put('x');
  std::filesystem::resize_file(huge, kMaxCharacterFileBytes + 1);
  EXPECT_FALSE(file.Open(huge));
  EXPECT_EQ(file.LastError(), kMsgCharacterTooLarge);

  WriteRaw(folder.File("nodesc.acs"), {}, SmallPictures(), false);
  EXPECT_FALSE(file.Open(folder.File("nodesc.acs")));
  EXPECT_EQ(file.LastError(), kMsgCharacterNoDescription);
}

TEST(CharacterFile, HostileDescriptionsAndPicturesAreRefusedWithTheirMessage) {
  test::TTempFolder folder("character");
  const auto pictures = SmallPictures();
  const std::string anim = "animation=Idle\nframe=a.png 100\n";
  std::string many;
  for (int k = 0; k <= kMaxCharacterFrames; ++k) many += "frame=a.png 10\n";
  std::string distinct;  // 129 pictures of 512 x 512: past the decoded pixels' limit
  for (int k = 0; k < 129; ++k) distinct += "frame=p" + std::to_string(k) + ".png 10\n";
  const struct {
    const char* label;
    std::string text;
    const char* message;
  } cases[] = {
      {"not a description", "bonjour\n", kMsgCharacterBadDescription},
      {"another format", "ixoral-character=2\nname=X\nwidth=16\nheight=20\n" + anim, kMsgCharacterBadDescription},
      {"no name", "ixoral-character=1\nwidth=16\nheight=20\n" + anim, kMsgCharacterBadDescription},
      {"key twice", Describe("name=Y\n" + anim), kMsgCharacterBadDescription},
      {"unknown key", Describe("couleur=bleu\n" + anim), kMsgCharacterBadDescription},
      {"unknown animation key", Describe(anim + "vitesse=2\n"), kMsgCharacterBadDescription},
      {"loop twice", Describe(anim + "loop=1\nloop=1\n"), kMsgCharacterBadDescription},
      {"too wide", Describe(anim, "width=513\nheight=20\n"), kMsgCharacterBadFrameSize},
      {"no height", Describe(anim, "width=16\n"), kMsgCharacterBadFrameSize},
      {"zero size", Describe(anim, "width=0\nheight=20\n"), kMsgCharacterBadFrameSize},
      {"negative size", Describe(anim, "width=-16\nheight=20\n"), kMsgCharacterBadFrameSize},
      {"huge size", Describe(anim, "width=99999999999999\nheight=20\n"), kMsgCharacterBadFrameSize},
      {"too many frames", Describe("animation=Idle\n" + many), kMsgCharacterTooManyFrames},
      {"too many pixels", Describe("animation=Idle\n" + distinct, "width=512\nheight=512\n"),
       kMsgCharacterTooManyFrames},
      {"picture in a folder", Describe("animation=Idle\nframe=sous/a.png 100\n"), kMsgCharacterBadPictureName},
      {"picture climbing out", Describe("animation=Idle\nframe=../a.png 100\n"), kMsgCharacterBadPictureName},
      {"picture with backslash", Describe("animation=Idle\nframe=..\\a.png 100\n"), kMsgCharacterBadPictureName},
      {"picture in a Windows folder", Describe("animation=Idle\nframe=sous\\a.png 100\n"), kMsgCharacterBadPictureName},
      {"absolute picture", Describe("animation=Idle\nframe=/etc/passwd 100\n"), kMsgCharacterBadPictureName},
      {"picture absent", Describe("animation=Idle\nframe=c.png 100\n"), kMsgCharacterMissingPicture},
      {"no duration", Describe("animation=Idle\nframe=a.png\n"), kMsgCharacterBadDuration},
      {"zero duration", Describe("animation=Idle\nframe=a.png 0\n"), kMsgCharacterBadDuration},
      {"endless duration", Describe("animation=Idle\nframe=a.png 10001\n"), kMsgCharacterBadDuration},
      {"duration not a number", Describe("animation=Idle\nframe=a.png 1e3\n"), kMsgCharacterBadDuration},
      {"no animation", Describe(""), kMsgCharacterBadAnimation},
      {"animation without frames", Describe("animation=Idle\n"), kMsgCharacterBadAnimation},
      {"animation twice", Describe(anim + anim), kMsgCharacterBadAnimation},
      {"unknown follower", Describe(anim + "next=Dance\n"), kMsgCharacterBadAnimation},
      {"loops and follows", Describe(anim + "loop=1\nnext=Idle\n"), kMsgCharacterBadAnimation},
  };
  for (const auto& c : cases) {
    const std::string path = folder.File("hostile.acs");
    WriteRaw(path, c.text, pictures);
    TCharacterFile file;
    EXPECT_FALSE(file.Open(path)) << c.label;
    EXPECT_EQ(file.LastError(), c.message) << c.label;
    EXPECT_TRUE(file.Info().Animations.empty()) << c.label;
  }

  // Pictures that are not PNGs of the character's size, by their header or by their data.
  std::string truncatedPng = Png(16, 20);
  truncatedPng.resize(40);
  std::string lyingPng = Png(4, 4);
  lyingPng[19] = 16;  // the header says 16 x 20, the data is 4 x 4
  lyingPng[23] = 20;
  for (const std::string& bad : {std::string("GIF89a......................"), Png(32, 20), Png(16, 21)}) {
    WriteRaw(folder.File("bad.acs"), Describe(anim), {{"a.png", bad}});
    TCharacterFile file;
    EXPECT_FALSE(file.Open(folder.File("bad.acs")));
    EXPECT_EQ(file.LastError(), kMsgCharacterBadPicture);
  }
  for (const std::string& bad : {truncatedPng, lyingPng}) {
    WriteRaw(folder.File("bad.acs"), Describe(anim), {{"a.png", bad}});
    std::string error;
    EXPECT_FALSE(LoadCharacterData(folder.File("bad.acs"), error));
    EXPECT_EQ(error, kMsgCharacterBadPicture);
  }
}

TEST(CharacterFile, ShippedCharactersHaveEveryAnimationTheGuidePlays) {
  for (const char* name : {"merlin.acs", "hibou.acs"}) {
    const std::string path = std::string(IXORAL_SHIPPED_DATA_DIR) + "/chars/" + name;
    EXPECT_LE(std::filesystem::file_size(path), 500u * 1024) << name << " stays small";
    std::string error;
    const auto data = LoadCharacterData(path, error);
    ASSERT_TRUE(data) << name << ": " << error;
    EXPECT_FALSE(data->Info.Name.empty());
    EXPECT_FALSE(data->Info.Description.empty());
    for (const char* animation : {"Show", "Hide", "Idle", "Speaking", "Explain", "GestureUp", "GestureDown",
                                  "GestureLeft", "GestureRight", "Moving"}) {
      const TCharacterAnimation* a = data->Info.Find(animation);
      ASSERT_NE(a, nullptr) << name << " " << animation;
      const bool loops = std::string(animation) == "Idle" || std::string(animation) == "Speaking" ||
                         std::string(animation) == "Moving";
      EXPECT_EQ(a->Loops, loops) << name << " " << animation;
    }
    // The character rests at a frame every few tenths of a second, not faster.
    int idleMs = 0;
    for (const TCharacterFrame& f : data->Info.Find("Idle")->Frames) {
      EXPECT_GE(f.Duration, 100);
      idleMs += f.Duration;
    }
    EXPECT_GE(idleMs, 2000);
  }
}

TEST(CharacterFolders, SettingNamesResolveInTheUsersFolderFirstAndNeverOutside) {
  test::TTempFolder user("chars-user"), shipped("chars-shipped");
  std::ofstream(shipped.File("merlin.acs")) << "m";
  std::ofstream(shipped.File("hibou.acs")) << "h";
  std::ofstream(user.File("hibou.acs")) << "u";
  std::ofstream(user.File("secret.txt")) << "s";
  const std::vector<std::string> folders{user.Path().string(), shipped.Path().string()};
  EXPECT_EQ(ResolveCharacterPath("", folders), shipped.File("merlin.acs"));
  EXPECT_EQ(ResolveCharacterPath("hibou.acs", folders), user.File("hibou.acs"));
  EXPECT_EQ(ResolveCharacterPath("absent.acs", folders), "");
  const std::string up = "../" + user.Path().filename().string() + "/secret.txt";
  for (const std::string& escaping : {up, user.File("secret.txt"), std::string(".."), std::string("a\\..\\b.acs")})
    EXPECT_EQ(ResolveCharacterPath(escaping, folders), "") << escaping;
  EXPECT_EQ(UserCharacterFolder().substr(UserCharacterFolder().size() - 13), "/Ixoral/chars");
  // Should the user's own file prove broken: the shipped one of the same name, then the default.
  EXPECT_EQ(CharacterCandidates("hibou.acs", folders),
            (std::vector<std::string>{user.File("hibou.acs"), shipped.File("hibou.acs"), shipped.File("merlin.acs")}));
  EXPECT_EQ(CharacterCandidates("", folders), std::vector<std::string>{shipped.File("merlin.acs")});
  EXPECT_EQ(CharacterCandidates(up, folders), std::vector<std::string>{shipped.File("merlin.acs")});
}

TEST(CharacterFolders, ChooserListsTheFirstFileAndOneMerlinVariantOnly) {
  using V = std::vector<std::string>;
  EXPECT_EQ(ChooseCharacterNames({}), V{});
  EXPECT_EQ(ChooseCharacterNames({"merlin.acs", "merlinsfx.acs", "a.acs"}), (V{"merlin.acs", "a.acs"}));
  EXPECT_EQ(ChooseCharacterNames({"merlinsfx.acs", "merlin.acs"}), (V{"merlinsfx.acs"}));
  EXPECT_EQ(ChooseCharacterNames({"a.acs", "merlinsfx.acs", "b.acs", "merlin.acs"}),
            (V{"a.acs", "merlinsfx.acs", "b.acs"}));
  EXPECT_EQ(ChooseCharacterNames({"a.acs", "b.acs", "a.acs"}), (V{"a.acs", "b.acs"}));

  // Folders: the user's first, a name once, directories and other files left out.
  test::TTempFolder user("chars-user"), shipped("chars-shipped");
  std::ofstream(user.File("hibou.acs")) << "u";
  std::ofstream(user.File("notes.txt")) << "n";
  std::filesystem::create_directory(user.File("dossier.acs"));
  std::ofstream(shipped.File("merlin.acs")) << "m";
  std::ofstream(shipped.File("hibou.acs")) << "h";
  std::ofstream(shipped.File("MerlinSFX.ACS")) << "x";
  const auto list = ListCharacters({user.Path().string(), shipped.Path().string(), "/nonexistent/chars"});
  ASSERT_EQ(list.size(), 2u) << "merlin.acs comes after MerlinSFX.ACS and is left out";
  EXPECT_EQ(list[0].Name, "hibou.acs");
  EXPECT_EQ(list[0].Path, user.File("hibou.acs"));
  EXPECT_EQ(list[1].Name, "MerlinSFX.ACS");
  EXPECT_EQ(list[1].Path, shipped.File("MerlinSFX.ACS"));
}

}  // namespace
}  // namespace ixoral
