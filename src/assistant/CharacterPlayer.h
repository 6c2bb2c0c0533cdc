// A character's frames once decoded, and their playback: one animation at a time, each frame
// held for its own duration on a single-shot timer, so that a resting character wakes the
// program only a few times a second and not at all while stopped.
#pragma once

#include <QImage>
#include <QObject>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "assistant/CharacterFile.h"

namespace ixoral {

// The names of the animations the guide plays.
inline constexpr const char* kAnimShow = "Show";
inline constexpr const char* kAnimHide = "Hide";
inline constexpr const char* kAnimIdle = "Idle";
inline constexpr const char* kAnimSpeaking = "Speaking";
inline constexpr const char* kAnimMoving = "Moving";
inline constexpr const char* kAnimExplain = "Explain";
inline constexpr const char* kAnimGestureUp = "GestureUp";
inline constexpr const char* kAnimGestureDown = "GestureDown";
inline constexpr const char* kAnimGestureLeft = "GestureLeft";
inline constexpr const char* kAnimGestureRight = "GestureRight";

struct TCharacterData {
  TCharacterInfo Info;
  std::map<std::string, QImage> Frames;  // by picture name
  std::map<std::string, QImage> Shapes;  // each picture's outline from its alpha (one bit a pixel)
};

// Reads and decodes the character file at `path`; null with the reason in `error` when it cannot.
// Each picture's size is checked from its header before it is decoded.
std::shared_ptr<const TCharacterData> LoadCharacterData(const std::string& path, std::string& error);

// The gesture that points from a character whose centre is at (cx, cy) toward (x, y): the one of
// the four directions nearest the target's.
const char* GestureToward(int cx, int cy, int x, int y);

class TFramePlayer : public QObject {
  Q_OBJECT
 public:
  explicit TFramePlayer(QObject* owner = nullptr);

  void SetCharacter(std::shared_ptr<const TCharacterData> character);
  const std::shared_ptr<const TCharacterData>& Character() const { return FCharacter; }

  // Plays `animation` from its first frame. `finished` runs once, when its last frame has been
  // held (at the end of the first round for one that loops); it is dropped when another Play,
  // Stop or SetCharacter comes first. Then a looping animation starts
  // over, one with a follower hands over to it, and any other gives way to the resting
  // animation. False, and nothing changes, when the character has no such animation.
  bool Play(const std::string& animation, std::function<void()> finished = {});
  // The animation played when another ends without a follower ("Idle"); empty holds the last
  // frame.
  void SetResting(const std::string& animation) { FResting = animation; }
  // Stops the timer, keeping the frame shown; Play starts again.
  void Stop();
  bool Running() const { return FTimer.isActive(); }

  const std::string& Animation() const { return FAnimation; }
  int FrameIndex() const { return FFrame; }
  // The picture shown now, null when there is none.
  const QImage* Frame() const;
  const QImage* Shape() const;

  // Runs whenever the frame shown changes.
  std::function<void()> Changed;

 private:
  void Advance();
  void StartFrame();
  const TCharacterAnimation* Current() const;

  std::shared_ptr<const TCharacterData> FCharacter;
  std::string FAnimation, FResting;
  int FFrame = 0;
  unsigned FGeneration = 0;  // changes with every Play, Stop and SetCharacter
  std::function<void()> FFinished;
  QTimer FTimer;
};

}  // namespace ixoral
