// The front end's logging switch, its five message printers and the optional
// debug-log window library "Tallowin".
#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "app/voskdemo.h"
#include "engine/Res.h"
#include "platform/kv_Log.h"
#include "std/stdWin.h"

namespace {

constexpr int kMessageBufferSize = 1024;

// The printers' buffers, one per printer and thread: engine threads print too.
thread_local char t_messageBuffers[5][kMessageBufferSize];
// Guards debug.log between the printers of any thread and its closing.
std::mutex g_debugLogLock;

// Formats into the printer's own buffer (cut at its size) and passes the text
// on as text: to Tallowin in windowed mode when it is loaded, else to the
// debugger output; and to debug.log when -l made one.
int Print(int printer, const char* format, va_list args) {
  char* text = t_messageBuffers[printer];
  int length = std::vsnprintf(text, kMessageBufferSize, format ? format : "", args);
  if (length < 0) {
    text[0] = '\0';
    length = 0;
  } else if (length >= kMessageBufferSize) {
    length = kMessageBufferSize - 1;
  }
  const voskdemo_State* state = voskdemo_GetState();
  if (state->tallowinActive && state->windowed && state->tallowinPrint) {
    state->tallowinPrint("%s", text);
  } else {
    std_DebugPrintf("%s", text);
  }
  std::lock_guard<std::mutex> lock(g_debugLogLock);
  if (state->logToFile && state->debugLog) Res_FilePrintf(state->debugLog, "%s", text);
  return length;
}

void CloseDebugLog() {
  std::lock_guard<std::mutex> lock(g_debugLogLock);
  voskdemo_State* state = voskdemo_GetState();
  if (!state->debugLog) return;
  Res_FileClose(state->debugLog);
  state->debugLog = 0;
}

}  // namespace

#define VOSKDEMO_PRINTER(name, index)              \
  int name(const char* format, ...) {              \
    va_list args;                                  \
    va_start(args, format);                        \
    const int length = Print(index, format, args); \
    va_end(args);                                  \
    return length;                                 \
  }

VOSKDEMO_PRINTER(voskdemo_PrintMessage, 0)
VOSKDEMO_PRINTER(voskdemo_PrintStatus, 1)
VOSKDEMO_PRINTER(voskdemo_PrintWarning, 2)
VOSKDEMO_PRINTER(voskdemo_PrintError, 3)
VOSKDEMO_PRINTER(voskdemo_PrintDebug, 4)

#undef VOSKDEMO_PRINTER

int voskdemo_LogFilePrintf(const char* format, ...) {
  const voskdemo_State* state = voskdemo_GetState();
  std::lock_guard<std::mutex> lock(g_debugLogLock);
  if (!state->debugLog || !format) return 0;
  char text[kMessageBufferSize];
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (length < 0) return 0;
  return Res_FilePrintf(state->debugLog, "%s", text);
}

void voskdemo_SetLogging(int on) {
  voskdemo_State* state = voskdemo_GetState();
  if (!on) {
    if (state->loggingSetUp) CloseDebugLog();
    return;
  }
  if (state->loggingSetUp) return;

  if (state->logToFile && state->developer) {
    std::lock_guard<std::mutex> lock(g_debugLogLock);
    state->debugLog = Res_FileOpen("debug.log", "w");
    // Without debug.log the other logs and the printers still go in.
    if (!state->debugLog) kv_Log_Printf("[voskdemo] - debug.log could not be opened");
  }
  if (state->logResources) voskdemo_Calls().openResourceLog("resource.log");
  state->tallowinActive = voskdemo_OpenTallowin();

  HostServices* services = std_pHS ? std_pHS : &std_Services;
  services->printMessage = voskdemo_PrintMessage;
  services->printStatus = voskdemo_PrintStatus;
  services->printWarning = voskdemo_PrintWarning;
  services->printError = voskdemo_PrintError;
  services->printDebug = voskdemo_PrintDebug;
  state->loggingSetUp = 1;
  kv_Log_Printf("[voskdemo] - message printers installed");
}

int voskdemo_OpenTallowin(void) {
  voskdemo_State* state = voskdemo_GetState();
  if (!state->windowed) return 0;
  voskdemoCalls& calls = voskdemo_Calls();
  if (!state->tallowinLibrary) {
    state->tallowinLibrary = calls.loadLibrary("libtallowin.so");
    if (!state->tallowinLibrary) {
      static bool told = false;
      if (!told) {
        kv_Log_Printf("[voskdemo] - libtallowin.so not found: messages go to standard error");
        told = true;
      }
      return 0;
    }
  }
  // A library without the two functions stays loaded but is not used.
  state->tallowinPrint = reinterpret_cast<voskdemo_TallowinPrintFn>(
      calls.findSymbol(state->tallowinLibrary, "_logPrintf"));
  state->tallowinShow = reinterpret_cast<voskdemo_TallowinShowFn>(
      calls.findSymbol(state->tallowinLibrary, "_ShowTallowin"));
  if (!state->tallowinPrint || !state->tallowinShow) return 0;
  state->tallowinShow("Vosk Debug", 1, stdWin_GetWindowHandle());
  return 1;
}
