// The chore tool's developer dialogs (none opens on Linux) and the logic of
// their bodies.
#include "actors/drevTool.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "platform/kv_Log.h"

namespace {

char gFolder[kToolFolderSize];
char gChosenPath[kToolPathSize];

// One log line per dialog, the first time it is asked for.
void NotAvailable(bool& reported, const char* what) {
  if (reported) return;
  reported = true;
  kv_Log_Printf("[Tool] - %s: the dialog is not available on Linux", what);
}

// Writes a text as UTF-16 (each byte of the system code page, Latin-1, is
// one code unit) with its terminator; null writes an empty text.
size_t PutText(uint8_t* out, size_t at, const char* text) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text ? text : "");
  for (;; ++p) {
    if (out) {
      out[at] = *p;
      out[at + 1] = 0;
    }
    at += 2;
    if (!*p) return at;
  }
}

size_t TextBytes(const char* text) {
  return 2 * (std::strlen(text ? text : "") + 1);
}

size_t Put16(uint8_t* out, size_t at, int value) {
  const auto v = static_cast<uint16_t>(value);
  if (out) {
    out[at] = static_cast<uint8_t>(v);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
  }
  return at + 2;
}

size_t Put32(uint8_t* out, size_t at, uint32_t value) {
  at = Put16(out, at, static_cast<int>(value & 0xFFFF));
  return Put16(out, at, static_cast<int>(value >> 16));
}

// The size a description takes: what is written plus one, up to a multiple of 4.
size_t Rounded(size_t written) {
  return (written + 1 + 3) & ~size_t{3};
}

}  // namespace

int drevTool_MessageBox(const char* title, const char* text, int) {
  static bool reported = false;
  NotAvailable(reported, "drevTool_MessageBox");
  kv_Log_Printf("[Tool] - %s: %s", title ? title : "", text ? text : "");
  return 0;
}

void drevTool_SetRequesterFolder(const char* folder) {
  std::snprintf(gFolder, sizeof gFolder, "%s", folder ? folder : "");
}

const char* drevTool_GetRequesterFolder(void) {
  return gFolder;
}

char* drevTool_GetChosenPath(void) {
  return gChosenPath;
}

int drevTool_OpenFileRequester(const char*, const char*) {
  static bool reported = false;
  NotAvailable(reported, "drevTool_OpenFileRequester");
  return 0;
}

int drevTool_SaveFileRequester(const char*, const char*) {
  static bool reported = false;
  NotAvailable(reported, "drevTool_SaveFileRequester");
  return 0;
}

int drevTool_IntegerListDialog(const char*, const char* const*, int*, int) {
  static bool reported = false;
  NotAvailable(reported, "drevTool_IntegerListDialog");
  return 1;
}

int drevTool_TreePickerDialog(const char*, const char* const*, int, int*) {
  static bool reported = false;
  NotAvailable(reported, "drevTool_TreePickerDialog");
  return -1;
}

int drevTool_InputDialog(const char*, const char*, char*, int, const char*) {
  static bool reported = false;
  NotAvailable(reported, "drevTool_InputDialog");
  return 1;
}

// ---- Dialog bodies --------------------------------------------------------------

void drevTool_FormatInteger(int value, char* text, size_t size) {
  std::snprintf(text, size, "%d", value);
}

void drevTool_ReadIntegers(const char* const* texts, int* values, int count) {
  for (int i = 0; i < count; ++i) {
    const char* text = texts[i] ? texts[i] : "";
    while (*text == ' ' || *text == '\t') ++text;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    const bool whole = end != text && *end == '\0';
    values[i] =
        whole && value >= -2147483647L - 1 && value <= 2147483647L ? static_cast<int>(value) : 0;
  }
}

void drevTool_TreeParents(const char* const* items, int count, int* parents) {
  int previousLevel = 0;
  for (int i = 0; i < count; ++i) {
    int level = 0;
    while (items[i][level] == '\t') ++level;
    if (i == 0) {
      parents[i] = -1;
    } else if (level > previousLevel) {
      parents[i] = i - 1;  // a deeper item goes under the item before it
    } else {
      // Same level: the same parent; shallower: climb the difference.
      int parent = parents[i - 1];
      for (int up = previousLevel - level; up > 0 && parent >= 0; --up) parent = parents[parent];
      parents[i] = parent;
    }
    previousLevel = level;
  }
}

const char* drevTool_TreeShownText(const char* item) {
  while (*item == '\t') ++item;
  return item;
}

int drevTool_TreeAnswer(const char* const* items, int count, int selected) {
  if (selected < 0 || selected >= count) return -1;
  const char* shown = drevTool_TreeShownText(items[selected]);
  for (int i = 0; i < count; ++i) {
    if (std::strstr(items[i], shown)) return i;
  }
  return -1;
}

int drevTool_InputLimit(int size) {
  return size > 1 ? size - 1 : 0;
}

void drevTool_CopyInputText(char* buffer, int size, const char* text) {
  if (!buffer || size < 1) return;
  std::snprintf(buffer, static_cast<size_t>(size), "%s", text ? text : "");
}

size_t drevTool_BuildDialogHeader(uint32_t style, int itemCount, int x, int y, int width,
                                  int height, const char* menu, const char* title, uint8_t* out,
                                  size_t capacity, size_t* size) {
  const size_t written = 18 + TextBytes(menu) + TextBytes(title);
  if (size) *size = Rounded(written);
  if (!out || capacity < Rounded(written)) return 0;
  std::memset(out, 0, Rounded(written));
  size_t at = Put32(out, 0, style);
  at = Put32(out, at, 0);
  for (int v : {itemCount, x, y, width, height}) at = Put16(out, at, v);
  at = PutText(out, at, menu);
  return PutText(out, at, title);
}

size_t drevTool_BuildDialogItem(uint32_t style, int x, int y, int width, int height, int id,
                                const char* className, const char* text, int creationValue,
                                uint8_t* out, size_t capacity, size_t* size) {
  const size_t written = 20 + TextBytes(className) + (text ? 2 + TextBytes(text) : 0);
  if (size) *size = Rounded(written);
  if (!out || capacity < Rounded(written)) return 0;
  std::memset(out, 0, Rounded(written));
  size_t at = Put32(out, 0, text ? style | 0x40u : style);
  at = Put32(out, at, 0);
  for (int v : {x, y, width, height, id, 0}) at = Put16(out, at, v);
  at = PutText(out, at, className);
  if (text) {
    at = Put16(out, at, creationValue);
    at = PutText(out, at, text);
  }
  return at;
}
