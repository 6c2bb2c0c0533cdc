// The drawing threads of the software device.
#include "render/device/RenderThreads.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace ixoral {

namespace {
constexpr int kMaxThreads = 64;
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

void TRenderThreads::Drain() {
  for (;;) {
    const size_t i = FNext.fetch_add(1, std::memory_order_relaxed);
    if (i >= FCount) return;
    (*FTask)(i);
  }
}

void TRenderThreads::ForEach(size_t n, const std::function<void(size_t)>& task) {
  if (n == 0) return;
  if (FWorkers.empty() || n == 1) {
    for (size_t i = 0; i < n; ++i) task(i);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(FMutex);
    FTask = &task;
    FCount = n;
    FNext.store(0, std::memory_order_relaxed);
    FBusy = static_cast<int>(FWorkers.size());
    ++FGeneration;
  }
  FWake.notify_all();
  Drain();
  std::unique_lock<std::mutex> lock(FMutex);
  FDone.wait(lock, [this] { return FBusy == 0; });
  FTask = nullptr;
}

void TRenderThreads::WorkerLoop() {
  uint64_t seen = 0;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(FMutex);
      FWake.wait(lock, [&] { return FQuit || FGeneration != seen; });
      if (FQuit) return;
      seen = FGeneration;
    }
    Drain();
    {
      std::lock_guard<std::mutex> lock(FMutex);
      if (--FBusy == 0) FDone.notify_one();
    }
  }
}

}  // namespace ixoral
