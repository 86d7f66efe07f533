#include "std/stdConffile.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/kv_Log.h"

char* stdConffile_line = nullptr;

namespace {

constexpr char kSeparators[] = ", \t\n\r";
constexpr char kNotOpen[] = "NOT_OPEN";

// One open read file; the current one and each suspended one.
struct ConffileFile {
  char fileName[kConffileNameSize];
  stdFile_t handle;
  int32_t lineNumber;
  ConffileArgBlock args;
  char* lineBuffer;
  bool longLineReported;  // a line longer than the buffer was logged for this file
};

struct ConffileState {
  ConffileFile current;
  int32_t open;
  int32_t depth;
  ConffileFile stack[kConffileMaxDepth];

  stdFile_t writeHandle;
  char writeFileName[kConffileNameSize];
  char format[kConffileLineSize];
};

ConffileState g_state = [] {
  ConffileState state{};
  std::strcpy(state.writeFileName, kNotOpen);
  return state;
}();

void CopyName(char* destination, const char* path) {
  std::strncpy(destination, path, kConffileNameSize - 1);
  destination[kConffileNameSize - 1] = '\0';
}

void Pop() {
  --g_state.depth;
  g_state.current = g_state.stack[g_state.depth];
  stdConffile_line = g_state.current.lineBuffer;
}

}  // namespace

int stdConffile_Open(const char* path) {
  return stdConffile_OpenMode(path, "r");
}

int stdConffile_OpenMode(const char* path, const char* mode) {
  if (!path || !mode) return 0;
  bool pushed = false;
  if (g_state.open) {
    if (g_state.depth >= kConffileMaxDepth) {
      kv_Log_Printf("[Conffile] cannot open %s: %d files are open already", path,
                    kConffileMaxDepth + 1);
      return 0;
    }
    g_state.stack[g_state.depth++] = g_state.current;
    pushed = true;
    g_state.current.lineNumber = 0;
    g_state.current.handle = 0;
  }

  stdFile_t handle = 0;
  if (std::strcmp(path, "none") != 0) {
    handle = std_pHS->fileOpen(path, mode);
    if (handle <= 0) {
      g_state.current.handle = 0;
      if (pushed) Pop();
      return 0;
    }
  }
  char* buffer = static_cast<char*>(std_pHS->memAlloc(kConffileLineSize, __FILE__, __LINE__));
  if (!buffer) {
    if (handle) std_pHS->fileClose(handle);
    g_state.current.handle = 0;
    if (pushed) Pop();
    return 0;
  }
  buffer[0] = '\0';

  ConffileFile& file = g_state.current;
  file.handle = handle;
  file.lineBuffer = buffer;
  CopyName(file.fileName, path);
  file.lineNumber = 0;
  file.args.count = 0;
  file.longLineReported = false;
  g_state.open = 1;
  stdConffile_line = buffer;
  return 1;
}

int stdConffile_NextLine(void) {
  ConffileFile& file = g_state.current;
  if (!g_state.open || !file.lineBuffer || !file.handle) return 0;  // "none" has no lines
  char* const line = file.lineBuffer;
  size_t position = 0;
  int room = kConffileLineSize - 1;
  bool joining = false;
  for (;;) {
    char* const piece = line + position;
    if (!std_pHS->fileGets(file.handle, piece, room)) {
      if (joining) {
        kv_Log_Printf("[Conffile] %s: the last line ends in a continuation and is dropped",
                      file.fileName);
      }
      return 0;
    }
    ++file.lineNumber;
    const size_t pieceLength = std::strlen(piece);
    if (pieceLength + 1 == static_cast<size_t>(room) && piece[pieceLength - 1] != '\n' &&
        !file.longLineReported) {
      file.longLineReported = true;
      kv_Log_Printf("[Conffile] %s(%d): line longer than %d characters, read in parts",
                    file.fileName, file.lineNumber, room - 1);
    }

    // Comment lines and empty lines are skipped, also in the middle of a join.
    const char first = piece[0];
    if (first == ';' || first == '#' || first == '\n' || first == '\r' || first == '\0') {
      piece[0] = '\0';
      continue;
    }
    // A '#' ends the line's meaningful text.
    if (char* remark = std::strchr(piece, '#')) *remark = '\0';
    for (char* c = piece; *c; ++c) {
      *c = static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
    }

    // A backslash before the final character joins the next line: the next
    // piece overwrites the backslash and the character after it.
    const size_t length = std::strlen(line);
    if (length >= 2 && line[length - 2] == '\\' &&
        kConffileLineSize - static_cast<int>(length) >= 2) {
      position = length - 2;
      room = kConffileLineSize - static_cast<int>(length);
      joining = true;
      continue;
    }
    if (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) {
      line[length - 1] = '\0';
    }
    return 1;
  }
}

int stdConffile_SplitArgs(char* text) {
  ConffileArgBlock& args = g_state.current.args;
  args.count = 0;
  if (!text) return 0;
  char* position = nullptr;
  for (char* token = strtok_r(text, kSeparators, &position); token;
       token = strtok_r(nullptr, kSeparators, &position)) {
    if (args.count == kConffileMaxArgs) {
      kv_Log_Printf("[Conffile] %s(%d): more than %d values on one line, the rest is ignored",
                    g_state.current.fileName, g_state.current.lineNumber, kConffileMaxArgs);
      break;
    }
    ConffileArg& pair = args.pairs[args.count++];
    if (char* equals = std::strchr(token, '=')) {
      *equals = '\0';
      pair.name = token;
      pair.value = equals + 1;
    } else {
      pair.name = token;
      pair.value = token;
    }
  }
  return args.count;
}

int stdConffile_ReadArgs(void) {
  while (stdConffile_NextLine()) {
    if (stdConffile_SplitArgs(stdConffile_line) != 0) return 1;
  }
  return 0;
}

int stdConffile_Read(void* buffer, size_t size) {
  if (!g_state.open || !g_state.current.handle || !buffer) return 0;
  return std_pHS->fileRead(g_state.current.handle, buffer, size) == size ? 1 : 0;
}

stdFile_t stdConffile_GetFile(void) {
  return g_state.current.handle;
}

void stdConffile_Close(void) {
  if (!g_state.open) return;
  ConffileFile& file = g_state.current;
  if (file.handle) std_pHS->fileClose(file.handle);
  if (file.lineBuffer) std_pHS->memFree(file.lineBuffer);
  file.lineBuffer = nullptr;
  file.handle = 0;
  if (g_state.depth > 0) {
    Pop();
  } else {
    g_state.open = 0;
    stdConffile_line = nullptr;
  }
}

const ConffileArgBlock* stdConffile_GetArgs(void) {
  return &g_state.current.args;
}

int stdConffile_GetLineNumber(void) {
  return g_state.current.lineNumber;
}

const char* stdConffile_GetFileName(void) {
  return g_state.open ? g_state.current.fileName : "";
}

// --- Write side ------------------------------------------------------------------

int stdConffile_OpenWrite(const char* path) {
  if (!path || g_state.writeHandle) return 0;
  const stdFile_t handle = std_pHS->fileOpen(path, "wb");
  if (handle <= 0) {
    g_state.writeHandle = 0;
    return 0;
  }
  g_state.writeHandle = handle;
  CopyName(g_state.writeFileName, path);
  return 1;
}

void stdConffile_CloseWrite(void) {
  if (!g_state.writeHandle) return;
  std_pHS->fileClose(g_state.writeHandle);
  g_state.writeHandle = 0;
  std::strcpy(g_state.writeFileName, kNotOpen);
}

int stdConffile_Write(const void* data, size_t size) {
  if (!g_state.writeHandle || !data) return 0;
  return std_pHS->fileWrite(g_state.writeHandle, data, size) == size ? 1 : 0;
}

int stdConffile_WriteString(const char* text) {
  if (!text) return 0;
  return stdConffile_Write(text, std::strlen(text));
}

int stdConffile_Printf(const char* format, ...) {
  if (!g_state.writeHandle || !format) return 0;
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(g_state.format, sizeof g_state.format, format, args);
  va_end(args);
  if (length < 0) return 0;
  // Text past the buffer is cut: what fits is written and the call fails.
  const size_t written = std::min(static_cast<size_t>(length), sizeof g_state.format - 1);
  const int complete = stdConffile_Write(g_state.format, written);
  if (static_cast<size_t>(length) > written) {
    kv_Log_Printf("[Conffile] %s: formatted text of %d characters cut to %zu",
                  g_state.writeFileName, length, written);
    return 0;
  }
  return complete;
}

const char* stdConffile_GetWriteFileName(void) {
  return g_state.writeFileName;
}
