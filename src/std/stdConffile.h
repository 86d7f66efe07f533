// The reader of line-oriented text files (set files, sectors, hotspots, scene
// descriptions, text models and keyframes, the commentary definitions).
//
// Each call of stdConffile_NextLine hands over one meaningful line in
// stdConffile_line: comment lines (';' or '#' first) and empty lines are
// skipped, a '#' cuts the rest of the line, a backslash before the line's end
// joins the next line, and ASCII letters are lower-cased. Files may be opened
// while another is open (up to 20 suspended files): the outer file comes back
// when the inner one is closed. All file access and memory go through the
// services record, so archives serve the reader as well as loose files.
//
// One reader state serves the whole program (main thread only).
#pragma once

#include <cstddef>
#include <cstdint>

#include "std/std.h"

constexpr int kConffileLineSize = 1024;  // bytes of a line buffer
constexpr int kConffileMaxArgs = 128;    // pairs of the argument block
constexpr int kConffileMaxDepth = 20;    // suspended files
constexpr int kConffileNameSize = 255;   // file-name fields (254 characters)

// One name/value pair of a split line; both point into the line buffer.
struct ConffileArg {
  char* name;
  char* value;
};

struct ConffileArgBlock {
  int32_t count;
  ConffileArg pairs[kConffileMaxArgs];
};

// The current line (valid until the next stdConffile_NextLine or stdConffile_Close).
extern char* stdConffile_line;

// 1 opened, 0 failed. "none" opens a pseudo-file without a file. An open while
// a file is open suspends it; when 20 files are already suspended the open fails.
int stdConffile_Open(const char* path);
int stdConffile_OpenMode(const char* path, const char* mode);
// 1 when a line is ready in stdConffile_line, 0 at end of file or on a read failure.
int stdConffile_NextLine(void);
// Reads lines until one splits into at least one pair; 1, or 0 at end of file.
int stdConffile_ReadArgs(void);
// Splits the text in place into pairs (separators ", \t\n\r"; "name=value" or a
// bare token as both); at most 128 pairs, further tokens are dropped (logged).
int stdConffile_SplitArgs(char* text);
// 1 when exactly size bytes were read from the current file.
int stdConffile_Read(void* buffer, size_t size);
stdFile_t stdConffile_GetFile(void);
// Closes the current file; a suspended file becomes current again.
void stdConffile_Close(void);

// The argument block of the current file (filled by stdConffile_SplitArgs).
const ConffileArgBlock* stdConffile_GetArgs(void);
// Physical lines read from the current file so far, and its name.
int stdConffile_GetLineNumber(void);
const char* stdConffile_GetFileName(void);

// The write side: one file at a time, independent of the reader.
int stdConffile_OpenWrite(const char* path);
void stdConffile_CloseWrite(void);
int stdConffile_WriteString(const char* text);
int stdConffile_Write(const void* data, size_t size);
int stdConffile_Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The write file's name, "NOT_OPEN" when none is open.
const char* stdConffile_GetWriteFileName(void);
