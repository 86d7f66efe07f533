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

int Save(SaveTransferFn write) {
  write(gLog.lines, sizeof gLog.lines);
  write(&gLog.oldest, sizeof gLog.oldest);
  write(&gLog.write, sizeof gLog.write);
  return 0;
}

int Restore(SaveTransferFn read) {
  read(gLog.lines, sizeof gLog.lines);
  uint32_t oldest = 0, write = 0;
  read(&oldest, sizeof oldest);
  read(&write, sizeof write);
  // Every slot is terminated whatever the block held.
  for (auto& line : gLog.lines) line[kDialogLogLineBytes - 1] = '\0';
  if (oldest >= kDialogLogLines || write >= kDialogLogLines) {
    kv_Log_Printf("[Load] - dialog log indices out of range (%u, %u), log cleared", oldest, write);
    drevDialogLog_Clear();
    return 1;
  }
  gLog.oldest = oldest;
  gLog.write = write;
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
