// The optional trace log of the display and device code.
//
// Tracing is off unless switched on: set the environment variable IXORAL_TRACE to the path of a
// log file before starting the program (or call SetTraceFile). Each line is appended, flushed and
// the file closed again, so a crash never loses the lines before it.
#pragma once

#include <string>

namespace ixoral {

void Trace(const std::string& text);

// Switches tracing to the given file; an empty path switches it off.
void SetTraceFile(const std::string& path);
bool TraceEnabled();

}  // namespace ixoral
