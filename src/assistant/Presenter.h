// The animated guide as the rest of the program sees it: a character loaded under an identifier
// that shows and hides itself, speaks in a balloon, moves about the screen, points and plays named
// animations, and offers a command menu. Requests queue up and complete one after the other; the
// caller learns of each through the events and is never kept waiting.
#pragma once

#include <functional>
#include <string>

namespace ixoral {

// Identifies one queued request; 0 means "nothing was queued".
using TRequestId = long;

struct TPresenterEvents {
  std::function<void()> Shown;
  std::function<void()> Hidden;
  std::function<void(const std::string& command)> Command;
  std::function<void(TRequestId)> RequestComplete;
  std::function<void(int left, int top)> Moved;
};

class IAssistantPresenter {
 public:
  virtual ~IAssistantPresenter() = default;

  // Loads the character of `file` under `id`; false when the file cannot be read, with the reason
  // in LastError(). Loading the identifier already loaded keeps the character as it is.
  virtual bool Load(const std::string& id, const std::string& file) = 0;
  virtual std::string LastError() const { return {}; }
  virtual void Unload(const std::string& id) = 0;
  virtual bool Loaded() const = 0;

  // The requests below act on the loaded character and return 0 when none is loaded.
  virtual TRequestId Show() = 0;
  virtual TRequestId Hide() = 0;
  // Drops the request under way and every queued one; each is reported complete.
  virtual void Stop() = 0;
  virtual TRequestId Speak(const std::string& text) = 0;
  virtual TRequestId MoveTo(int x, int y, int speed) = 0;
  virtual TRequestId GestureAt(int x, int y) = 0;
  virtual TRequestId Play(const std::string& animation) = 0;
  // Whether the character is in the "Speaking" state.
  virtual bool Speaking() const = 0;

  virtual bool Visible() const = 0;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual int Left() const = 0;
  virtual int Top() const = 0;
  virtual void SetPosition(int left, int top) = 0;

  virtual void AddCommand(const std::string& name, const std::string& caption, bool enabled, bool visible) = 0;
  virtual void RemoveCommands() = 0;
  virtual void SetCommandWindowVisible(bool visible) = 0;

  TPresenterEvents Events;
};

}  // namespace ixoral
