// The drawing threads of the software device.
#include "render/device/RenderThreads.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>

namespace ixoral {

namespace {
constexpr int kMaxThreads = 64;
// How long a thread watches for the next round, or the caller for the last tasks, before it
// sleeps: a picture is a series of rounds with a little work on the caller's thread in between,
// and a sleeping thread takes tens of microseconds to wake.
constexpr std::chrono::microseconds kSpin{200};
}  // namespace

template <typename TDone>
bool TRenderThreads::SpinUntil(TDone done) const {
  if (!FSpin) return done();
  const auto until = std::chrono::steady_clock::now() + kSpin;
  for (;;) {
    for (int i = 0; i < 64; ++i) {
      if (done()) return true;
#if defined(__x86_64__) || defined(__i386__)
      __builtin_ia32_pause();
#endif
    }
    if (std::chrono::steady_clock::now() >= until) return done();
  }
}

int TRenderThreads::DefaultCount() {
  if (const char* text = std::getenv("IXORAL_RENDER_THREADS")) {
    char* end = nullptr;
    const long n = std::strtol(text, &end, 10);
    if (end != text && *end == '\0' && n > 0) return static_cast<int>(std::min<long>(n, kMaxThreads));
  }
  const unsigned cores = std::thread::hardware_concurrency();
  return std::clamp(static_cast<int>(cores), 1, kMaxThreads);
}

TRenderThreads::TRenderThreads(int count) {
  const int workers = std::clamp(count, 1, kMaxThreads) - 1;
  FSpin = unsigned(workers) < std::thread::hardware_concurrency();
  FWorkers.reserve(size_t(workers));
  for (int i = 0; i < workers; ++i) FWorkers.emplace_back([this] { WorkerLoop(); });
}

TRenderThreads::~TRenderThreads() {
  {
    std::lock_guard<std::mutex> lock(FMutex);
    FQuit = true;
  }
  FWake.notify_all();
  for (std::thread& t : FWorkers) t.join();
}

void TRenderThreads::Take(uint32_t round, const std::function<void(size_t)>* task, size_t n) {
  for (;;) {
    uint64_t cur = FNext.load(std::memory_order_relaxed);
    do {
      if (uint32_t(cur >> 32) != round || (cur & 0xFFFFFFFFu) >= n) return;
    } while (!FNext.compare_exchange_weak(cur, cur + 1, std::memory_order_acq_rel, std::memory_order_relaxed));
    (*task)(size_t(cur & 0xFFFFFFFFu));
    if (FFinished.fetch_add(1, std::memory_order_acq_rel) + 1 == n) {
      std::lock_guard<std::mutex> lock(FMutex);
      FDone.notify_one();
    }
  }
}

void TRenderThreads::ForEach(size_t n, const std::function<void(size_t)>& task) {
  if (n == 0) return;
  if (FWorkers.empty() || n == 1 || n > 0xFFFFFFFFu) {
    for (size_t i = 0; i < n; ++i) task(i);
    return;
  }
  std::lock_guard<std::mutex> turn(FTurn);
  uint32_t round;
  {
    std::lock_guard<std::mutex> lock(FMutex);
    FTask = &task;
    FCount = n;
    round = static_cast<uint32_t>(++FGeneration);
    FFinished.store(0, std::memory_order_relaxed);
    FNext.store(uint64_t{round} << 32, std::memory_order_release);
  }
  FWake.notify_all();
  Take(round, &task, n);
  // Tasks other threads took and have not finished yet.
  auto finished = [&] { return FFinished.load(std::memory_order_acquire) == n; };
  if (!SpinUntil(finished)) {
    std::unique_lock<std::mutex> lock(FMutex);
    FDone.wait(lock, finished);
  }
}

void TRenderThreads::WorkerLoop() {
  uint64_t seen = 0;
  for (;;) {
    const std::function<void(size_t)>* task;
    size_t n;
    auto woken = [&] {
      return FQuit.load(std::memory_order_acquire) || FGeneration.load(std::memory_order_acquire) != seen;
    };
    SpinUntil(woken);
    {
      std::unique_lock<std::mutex> lock(FMutex);
      FWake.wait(lock, woken);
      if (FQuit) return;
      seen = FGeneration;
      task = FTask;
      n = FCount;
    }
    Take(static_cast<uint32_t>(seen), task, n);
  }
}

void ForEachRowSlice(TRenderThreads* threads, int from, int to, const std::function<void(int, int)>& slice) {
  // Below this many rows a pass is not worth waking the other threads for.
  constexpr int kFewRows = 64;
  if (from >= to) return;
  const int count = threads ? threads->Count() : 1;
  if (count < 2 || to - from < kFewRows) {
    slice(from, to);
    return;
  }
  // Two slices per thread, so that a thread held up elsewhere holds up little.
  const int slices = std::min(2 * count, (to - from) / (kFewRows / 2));
  threads->ForEach(size_t(slices), [&](size_t k) {
    const int64_t rows = int64_t(to - from);
    slice(from + int(rows * int64_t(k) / slices), from + int(rows * int64_t(k + 1) / slices));
  });
}

}  // namespace ixoral
