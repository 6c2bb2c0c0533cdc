// Appends trace lines to the file named by IXORAL_TRACE when tracing is on.
#include "platform/Trace.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace ixoral {
namespace {

struct TTraceState {
  std::mutex Lock;
  std::string Path;
  TTraceState() {
    if (const char* env = std::getenv("IXORAL_TRACE")) Path = env;
  }
};

TTraceState& State() {
  static TTraceState state;
  return state;
}

}  // namespace

void SetTraceFile(const std::string& path) {
  auto& s = State();
  std::lock_guard guard(s.Lock);
  s.Path = path;
}

bool TraceEnabled() {
  auto& s = State();
  std::lock_guard guard(s.Lock);
  return !s.Path.empty();
}

void Trace(const std::string& text) {
  auto& s = State();
  std::lock_guard guard(s.Lock);
  if (s.Path.empty()) return;
  if (std::FILE* f = std::fopen(s.Path.c_str(), "a")) {
    std::fwrite(text.data(), 1, text.size(), f);
    std::fputc('\n', f);
    std::fclose(f);
  }
}

}  // namespace ixoral
