// The trace log writes only when switched on, one flushed line per call.
#include "platform/Trace.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace ixoral;

TEST(Trace, AppendsLinesOnlyWhileOn) {
  const auto path = std::filesystem::temp_directory_path() / "ixoral_trace_test.log";
  std::filesystem::remove(path);
  SetTraceFile("");
  Trace("lost");
  EXPECT_FALSE(std::filesystem::exists(path));
  SetTraceFile(path.string());
  EXPECT_TRUE(TraceEnabled());
  Trace("Creation du directdraw 7");
  Trace("Création de la surface");
  SetTraceFile("");
  Trace("also lost");
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  EXPECT_EQ(s.str(), "Creation du directdraw 7\nCréation de la surface\n");
  std::filesystem::remove(path);
}
