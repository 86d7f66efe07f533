// Window utilities: handles and the stored rectangle; the GDI and USER
// utilities are not available on Linux.
#include "std/stdWin.h"

#include <cstring>

#include "platform/kv_Log.h"

namespace {

void* g_windowHandle = nullptr;
void* g_instanceHandle = nullptr;
int g_rect[4] = {};

// Each utility says once that it is not there.
void NotAvailable(bool& told, const char* name) {
  if (told) return;
  told = true;
  kv_Log_Printf("%s: Windows display utility, not available on Linux", name);
}

}  // namespace

void* stdWin_GetWindowHandle(void) {
  return g_windowHandle;
}
void stdWin_SetWindowHandle(void* handle) {
  g_windowHandle = handle;
}
void* stdWin_GetInstanceHandle(void) {
  return g_instanceHandle;
}
void stdWin_SetInstanceHandle(void* handle) {
  g_instanceHandle = handle;
}

void stdWin_SetRect(const int* rect) {
  if (rect) std::memcpy(g_rect, rect, sizeof g_rect);
}
const int* stdWin_GetRect(void) {
  return g_rect;
}

void* stdWin_CreateDIBSection8(void*, int, int, void** bits, const unsigned char*) {
  static bool told = false;
  NotAvailable(told, "stdWin_CreateDIBSection8");
  if (bits) *bits = nullptr;
  return nullptr;
}
void* stdWin_CreateDIBSection8Indexed(void*, int, int, void** bits) {
  static bool told = false;
  NotAvailable(told, "stdWin_CreateDIBSection8Indexed");
  if (bits) *bits = nullptr;
  return nullptr;
}
void* stdWin_CreateDIBSection16(void*, int, int, void** bits) {
  static bool told = false;
  NotAvailable(told, "stdWin_CreateDIBSection16");
  if (bits) *bits = nullptr;
  return nullptr;
}
void* stdWin_CreateDIBSection565(void*, int, int, void** bits) {
  static bool told = false;
  NotAvailable(told, "stdWin_CreateDIBSection565");
  if (bits) *bits = nullptr;
  return nullptr;
}
int stdWin_SetPalette(void*, const unsigned char*) {
  static bool told = false;
  NotAvailable(told, "stdWin_SetPalette");
  return 0;
}
int stdWin_AnimatePalette(void*, const unsigned char*, int, int) {
  static bool told = false;
  NotAvailable(told, "stdWin_AnimatePalette");
  return 0;
}
void stdWin_AdjustWindowSize(int*, int*, unsigned long, int) {
  static bool told = false;
  NotAvailable(told, "stdWin_AdjustWindowSize");
}
void stdWin_ListBoxFitText(void*, const char*) {
  static bool told = false;
  NotAvailable(told, "stdWin_ListBoxFitText");
}
int stdWin_ListBoxAppend(void*, const char*, int) {
  static bool told = false;
  NotAvailable(told, "stdWin_ListBoxAppend");
  return 0;
}
