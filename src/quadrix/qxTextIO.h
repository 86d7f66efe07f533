// Line-by-line reading and printf-style writing of the 3D library's text
// forms (models and keyframes).
//
// Reading goes through the configuration reader, which hands over lines with
// comments cut off, empty lines skipped and letters lower-cased; each line is
// matched against a scanf pattern (leading blanks allowed) and a line that
// does not match fails the read. Writing goes through the services record's
// file operations; any failed write fails the whole write.
#pragma once

#include <cstdint>
#include <cstdio>

#include "quadrix/qxCore.h"
#include "std/stdConffile.h"

// The next line of the open configuration file matched against the pattern;
// true when it gave exactly the expected number of fields.
template <typename... Fields>
bool qxText_Scan(int expected, const char* pattern, Fields... fields) {
  if (!stdConffile_NextLine()) return false;
  return std::sscanf(stdConffile_line, pattern, fields...) == expected;
}

// The size of the open configuration file in bytes (a bound for the counts
// that the file gives before its items); 0 when unknown.
inline int64_t qxText_FileBytes() {
  HostServices* hs = qxCore_pHS;
  const stdFile_t file = stdConffile_GetFile();
  if (!hs || !file || !hs->fileTell || !hs->fileSeek) return 0;
  const int64_t here = hs->fileTell(file);
  if (here < 0 || hs->fileSeek(file, 0, 2) != 0) return 0;
  const int64_t end = hs->fileTell(file);
  hs->fileSeek(file, here, 0);
  return end > 0 ? end : 0;
}

// Whether count items of at least itemBytes characters each can be in a text
// file of fileBytes bytes (an unknown size bounds nothing but the sign).
inline bool qxText_Fits(int64_t count, int64_t fileBytes, int64_t itemBytes) {
  if (count < 0) return false;
  return fileBytes <= 0 || count <= fileBytes / itemBytes;
}

// The integer part of a float for the text writers, clamped to the int32 range.
inline int32_t qxText_Truncate(float value) {
  if (!(value == value)) return 0;
  if (value >= 2147483647.0f) return INT32_MAX;
  if (value <= -2147483648.0f) return INT32_MIN;
  return static_cast<int32_t>(value);
}

struct qxTextWriter {
  HostServices* hs;
  stdFile_t file;
  bool failed = false;

  template <typename... Args>
  void Print(const char* format, Args... args) {
    if (failed) return;
    if (hs->filePrintf(file, format, args...) < 0) failed = true;
  }
};
