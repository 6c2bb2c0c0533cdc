// The drawing threads of the software device: created once, woken for each parallel step of a
// flush, joined when the last device that draws with them goes. The display device keeps one set
// for all the devices it makes, so that remaking the device (a resize) starts no threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace ixoral {

class TRenderThreads {
 public:
  // `count` threads in all: the caller's and count - 1 workers (at least one thread).
  explicit TRenderThreads(int count);
  ~TRenderThreads();
  TRenderThreads(const TRenderThreads&) = delete;
  TRenderThreads& operator=(const TRenderThreads&) = delete;

  int Count() const { return static_cast<int>(FWorkers.size()) + 1; }

  // Calls task(i) for every i below n, spread over the threads, the caller's included, and
  // returns when all are done. Which thread does which task is left to chance: tasks must not
  // depend on one another, nor call ForEach. Callers on several threads (devices sharing the
  // threads) take turns.
  void ForEach(size_t n, const std::function<void(size_t)>& task);

  // The thread count asked for by IXORAL_RENDER_THREADS, else one per core; 1 to 64.
  static int DefaultCount();

 private:
  void WorkerLoop();
  // Waits up to a moment, without sleeping, for `done` to hold; true if it did. Only while
  // there are no more threads than cores: else a waiting thread would hold up a working one.
  template <typename TDone>
  bool SpinUntil(TDone done) const;
  // Runs the tasks of round `round` left to take; returns when there are none. The task is
  // called only while its round lasts.
  void Take(uint32_t round, const std::function<void(size_t)>* task, size_t n);

  std::vector<std::thread> FWorkers;
  bool FSpin = false;
  std::mutex FTurn;  // held by the caller whose round it is
  std::mutex FMutex;
  std::condition_variable FWake, FDone;
  // The round: changed under FMutex with the task and count, and watched without it by threads
  // waiting a moment for the next round before they sleep.
  std::atomic<uint64_t> FGeneration{0};
  std::atomic<bool> FQuit{false};
  const std::function<void(size_t)>* FTask = nullptr;
  size_t FCount = 0;
  // The round (high half) and its next task (low half): a worker that wakes after its round is
  // over takes nothing, and the caller waits only for tasks actually taken.
  std::atomic<uint64_t> FNext{0};
  std::atomic<size_t> FFinished{0};
};

// Calls slice(a, b) for pieces a .. b - 1 of the rows from .. to - 1, covering each row once,
// spread over `threads`; on the caller's thread alone without threads or with few rows. For
// whole-view passes bound by memory (copies, fills), which two cores move faster than one.
void ForEachRowSlice(TRenderThreads* threads, int from, int to, const std::function<void(int, int)>& slice);

}  // namespace ixoral
