// The dialogue log.
#include "engine/drevDialogLog.h"

#include <cstring>

#include "platform/kv_Log.h"

namespace {

struct {
  char lines[kDialogLogLines][kDialogLogLineBytes];
  uint32_t oldest;
  uint32_t write;
} gLog;

static_assert(sizeof gLog.lines == 15000, "the DLGS block holds 15000 bytes of slots");

void Shutdown() {
  drevDialogLog_Clear();
}

// The "DLGS" block: the slots as they lie, then the oldest and write indices.
int Save(SaveTransferFn write) {
  if (write(gLog.lines, sizeof gLog.lines) || write(&gLog.oldest, sizeof gLog.oldest) ||
      write(&gLog.write, sizeof gLog.write)) {
    kv_Log_Printf("[Save] - dialog log could not be written");
    return 1;
  }
  return 0;
}

// The block is read into a copy and checked whole before it replaces the live
// log, so a short or bad block leaves the log as it was.
int Restore(SaveTransferFn read) {
  static decltype(gLog) restored;  // 15 KB: kept off the stack
  if (read(restored.lines, sizeof restored.lines) ||
      read(&restored.oldest, sizeof restored.oldest) ||
      read(&restored.write, sizeof restored.write)) {
    kv_Log_Printf("[Load] - dialog log could not be read");
    return 1;
  }
  if (restored.oldest >= kDialogLogLines || restored.write >= kDialogLogLines) {
    kv_Log_Printf("[Load] - dialog log indices out of range (%u, %u)", restored.oldest,
                  restored.write);
    return 1;
  }
  // Every slot is terminated whatever the block held.
  for (auto& line : restored.lines) line[kDialogLogLineBytes - 1] = '\0';
  std::memcpy(&gLog, &restored, sizeof gLog);
  return 0;
}

}  // namespace

int drevDialogLog_Initialize(HostServices*, ModuleDescriptor* descriptor) {
  drevDialogLog_Clear();
  descriptor->shutdown = Shutdown;
  descriptor->save = Save;
  descriptor->restore = Restore;
  return 0;
}

void drevDialogLog_Clear(void) {
  std::memset(&gLog, 0, sizeof gLog);
}

void drevDialogLog_AddLine(const char* text) {
  if (!text) return;
  char* slot = gLog.lines[gLog.write];
  std::memset(slot, 0, kDialogLogLineBytes);
  std::strncpy(slot, text, kDialogLogLineBytes - 1);
  gLog.write = (gLog.write + 1) % kDialogLogLines;
  if (gLog.write == gLog.oldest) gLog.oldest = (gLog.oldest + 1) % kDialogLogLines;
}

const char* drevDialogLog_GetLine(int slot) {
  int used;
  if (gLog.oldest == gLog.write)
    used = 0;
  else if (gLog.oldest != 0)
    used = kDialogLogLines;  // the log has wrapped
  else
    used = static_cast<int>(gLog.write);
  if (slot < 0 || slot >= used) return nullptr;
  return gLog.lines[slot];
}

const char* drevDialogLog_NextLine(int* cursor) {
  if (!cursor) return nullptr;
  if (gLog.oldest == gLog.write) {
    *cursor = -1;
    return nullptr;
  }
  if (*cursor == -1) {
    *cursor = static_cast<int>(gLog.oldest);
    return gLog.lines[gLog.oldest];
  }
  if (*cursor < 0 || *cursor >= kDialogLogLines) {  // not a cursor of this walk
    *cursor = -1;
    return nullptr;
  }
  const uint32_t following = (static_cast<uint32_t>(*cursor) + 1) % kDialogLogLines;
  if (following == gLog.oldest || following == gLog.write) {
    *cursor = -1;
    return nullptr;
  }
  *cursor = static_cast<int>(following);
  return gLog.lines[following];
}

uint32_t drevDialogLog_GetOldest(void) {
  return gLog.oldest;
}
uint32_t drevDialogLog_GetWrite(void) {
  return gLog.write;
}
