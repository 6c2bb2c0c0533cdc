#include "assistant/PresenterQueue.h"

#include <algorithm>

namespace ixoral {

TRequestId TRequestQueue::Add(TRequest request) {
  request.Id = FNext++;
  FItems.push_back(std::move(request));
  return FItems.back().Id;
}

const TRequest* TRequestQueue::StartNext() {
  if (FRunning) return nullptr;
  if (FItems.empty()) return nullptr;
  FRunning = true;
  return &FItems.front();
}

TRequestId TRequestQueue::CompleteCurrent() {
  if (!FRunning) return 0;
  const TRequestId id = FItems.front().Id;
  FItems.pop_front();
  FRunning = false;
  return id;
}

std::vector<TRequestId> TRequestQueue::Clear() {
  std::vector<TRequestId> ids;
  for (const TRequest& r : FItems) ids.push_back(r.Id);
  FItems.clear();
  FRunning = false;
  return ids;
}

int BalloonMilliseconds(const std::string& utf8Text) {
  // Count characters, not bytes: continuation bytes of UTF-8 do not start a character.
  long characters = 0;
  for (unsigned char c : utf8Text)
    if ((c & 0xC0) != 0x80) ++characters;
  const long ms = 1000 + characters * 1000 / 15;
  return static_cast<int>(std::clamp(ms, 2000L, 20000L));
}

void TCommandList::Add(TCommandEntry entry) {
  for (TCommandEntry& e : FEntries)
    if (e.Name == entry.Name) {
      e = std::move(entry);
      return;
    }
  FEntries.push_back(std::move(entry));
}

std::vector<TCommandEntry> TCommandList::MenuEntries() const {
  std::vector<TCommandEntry> shown;
  for (const TCommandEntry& e : FEntries)
    if (e.VisibleInMenu) shown.push_back(e);
  return shown;
}

std::optional<TCommandEntry> TCommandList::Find(const std::string& name) const {
  for (const TCommandEntry& e : FEntries)
    if (e.Name == name) return e;
  return std::nullopt;
}

}  // namespace ixoral
