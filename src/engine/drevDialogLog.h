// The dialogue log: the last 100 lines spoken, for the scripts' history view
// and the "DLGS" block of a saved game.
#pragma once

#include <cstdint>

#include "engine/drevMain.h"

constexpr int kDialogLogLines = 100;
constexpr int kDialogLogLineBytes = 150;

int drevDialogLog_Initialize(HostServices* services, ModuleDescriptor* descriptor);
// Stores up to 149 characters of the text; null is ignored.
void drevDialogLog_AddLine(const char* text);
// The text of a slot below the used count, else null.
const char* drevDialogLog_GetLine(int slot);
// Walks the log from the oldest line: a cursor of -1 starts the walk; answers
// null (cursor -1) when the walk ends. The walk stops before the write index,
// so a full log yields its 99 newest lines.
const char* drevDialogLog_NextLine(int* cursor);
void drevDialogLog_Clear(void);
uint32_t drevDialogLog_GetOldest(void);
uint32_t drevDialogLog_GetWrite(void);
