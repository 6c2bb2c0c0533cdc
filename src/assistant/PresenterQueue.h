// What the character window does without a window: its queue of requests with their numbers, the
// time a balloon stays up for a text, and the command menu's entries.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "assistant/Presenter.h"

namespace ixoral {

enum class TRequestKind { Show, Hide, Speak, MoveTo, GestureAt, Play };

struct TRequest {
  TRequestId Id = 0;
  TRequestKind Kind = TRequestKind::Show;
  std::string Text;  // the spoken text or the animation's name
  int X = 0, Y = 0;
  int Speed = 1;
};

// Requests run one at a time in the order they were made. Numbers start at 1 and are never reused.
class TRequestQueue {
 public:
  // Queues a request and gives it the next number.
  TRequestId Add(TRequest request);
  // The request under way, if any.
  const TRequest* Current() const { return FRunning ? &FItems.front() : nullptr; }
  // Starts the next request when none is under way; returns it, or null when there is none.
  const TRequest* StartNext();
  // Ends the request under way and returns its number (0 when none was under way).
  TRequestId CompleteCurrent();
  // Drops everything, under way or waiting, and returns the numbers in their order.
  std::vector<TRequestId> Clear();
  bool Empty() const { return FItems.empty(); }
  size_t Size() const { return FItems.size(); }

 private:
  std::deque<TRequest> FItems;
  bool FRunning = false;
  TRequestId FNext = 1;
};

// How long a balloon stays up when no voice reads it: a reading time from the number of
// characters (about 15 characters a second), never shorter than 2 s nor longer than 20 s.
int BalloonMilliseconds(const std::string& utf8Text);
// How long a text read aloud may take before the character stops waiting for the voice's end:
// half as long again as the reading time, and two seconds more.
inline int VoiceCapMilliseconds(const std::string& utf8Text) { return BalloonMilliseconds(utf8Text) * 3 / 2 + 2000; }

struct TCommandEntry {
  std::string Name;
  std::string Caption;
  bool Enabled = true;
  bool VisibleInMenu = true;
};

// The character's command menu: entries by name, in the order they were added; adding a name
// already present replaces its caption and flags.
class TCommandList {
 public:
  void Add(TCommandEntry entry);
  void Clear() { FEntries.clear(); }
  const std::vector<TCommandEntry>& Entries() const { return FEntries; }
  // The entries the menu shows (visible ones), in order.
  std::vector<TCommandEntry> MenuEntries() const;
  std::optional<TCommandEntry> Find(const std::string& name) const;

 private:
  std::vector<TCommandEntry> FEntries;
};

}  // namespace ixoral
