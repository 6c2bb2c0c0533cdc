#include "assistant/CharacterPlayer.h"

#include <QBuffer>
#include <QImageReader>
#include <cstdlib>

namespace ixoral {

std::shared_ptr<const TCharacterData> LoadCharacterData(const std::string& path, std::string& error) {
  TCharacterFile file;
  if (!file.Open(path)) {
    error = file.LastError();
    return nullptr;
  }
  auto data = std::make_shared<TCharacterData>();
  data->Info = file.Info();
  const QSize expected(data->Info.Width, data->Info.Height);
  for (const auto& [name, bytes] : file.Pictures()) {
    QByteArray raw = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&raw);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    // The header's size is checked before anything is decoded.
    if (reader.size() != expected) {
      error = kMsgCharacterBadPicture;
      return nullptr;
    }
    QImage image;
    if (!reader.read(&image) || image.size() != expected) {
      error = kMsgCharacterBadPicture;
      return nullptr;
    }
    image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    data->Shapes.emplace(name, image.createAlphaMask());
    data->Frames.emplace(name, std::move(image));
  }
  error.clear();
  return data;
}

const char* GestureToward(int cx, int cy, int x, int y) {
  const int dx = x - cx, dy = y - cy;
  if (std::abs(dx) >= std::abs(dy)) return dx < 0 ? kAnimGestureLeft : kAnimGestureRight;
  return dy < 0 ? kAnimGestureUp : kAnimGestureDown;
}

TFramePlayer::TFramePlayer(QObject* owner) : QObject(owner) {
  FTimer.setSingleShot(true);
  connect(&FTimer, &QTimer::timeout, this, [this] { Advance(); });
}

void TFramePlayer::SetCharacter(std::shared_ptr<const TCharacterData> character) {
  FTimer.stop();
  ++FGeneration;
  FCharacter = std::move(character);
  FAnimation.clear();
  FFrame = 0;
  FFinished = nullptr;
  if (Changed) Changed();
}

const TCharacterAnimation* TFramePlayer::Current() const {
  return FCharacter && !FAnimation.empty() ? FCharacter->Info.Find(FAnimation) : nullptr;
}

bool TFramePlayer::Play(const std::string& animation, std::function<void()> finished) {
  if (!FCharacter || !FCharacter->Info.Find(animation)) return false;
  ++FGeneration;
  FAnimation = animation;
  FFrame = 0;
  FFinished = std::move(finished);
  StartFrame();
  return true;
}

void TFramePlayer::Stop() {
  ++FGeneration;
  FTimer.stop();
}

void TFramePlayer::StartFrame() {
  const TCharacterAnimation* a = Current();
  if (!a) return;
  FTimer.start(a->Frames[static_cast<size_t>(FFrame)].Duration);
  if (Changed) Changed();
}

void TFramePlayer::Advance() {
  const TCharacterAnimation* a = Current();
  if (!a) return;
  if (FFrame + 1 < static_cast<int>(a->Frames.size())) {
    ++FFrame;
    StartFrame();
    return;
  }
  const bool loops = a->Loops;
  const std::string next = a->Next;
  // The owner may start another animation from here; then that one goes on.
  const unsigned generation = FGeneration;
  if (auto finished = std::exchange(FFinished, nullptr)) finished();
  if (generation != FGeneration) return;
  if (loops) {
    FFrame = 0;
    StartFrame();
  } else if (!next.empty() && FCharacter->Info.Find(next)) {
    FAnimation = next;
    FFrame = 0;
    StartFrame();
  } else if (!FResting.empty() && FResting != FAnimation && FCharacter->Info.Find(FResting)) {
    FAnimation = FResting;
    FFrame = 0;
    StartFrame();
  }
}

const QImage* TFramePlayer::Frame() const {
  const TCharacterAnimation* a = Current();
  if (!a) return nullptr;
  const auto found = FCharacter->Frames.find(a->Frames[static_cast<size_t>(FFrame)].Picture);
  return found == FCharacter->Frames.end() ? nullptr : &found->second;
}

const QImage* TFramePlayer::Shape() const {
  const TCharacterAnimation* a = Current();
  if (!a) return nullptr;
  const auto found = FCharacter->Shapes.find(a->Frames[static_cast<size_t>(FFrame)].Picture);
  return found == FCharacter->Shapes.end() ? nullptr : &found->second;
}

}  // namespace ixoral
