// Shared helpers of the codec library's tests: a recording error printer.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

namespace vembratest {

inline std::vector<std::string>& Messages() {
  static std::vector<std::string> messages;
  return messages;
}

inline int RecordingPrinter(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  Messages().push_back(text);
  return 0;
}

}  // namespace vembratest
