// Small window utilities of the general library: the window and instance
// handles and one stored rectangle. The DIB-section, palette, window-size and
// list-box utilities serve window-based displays of Windows' GDI and USER
// services; on Linux they are not available: each says so once in the log
// and answers 0 or null.
#pragma once

// The game window's native handle; nothing sets it, so the optional tool
// libraries are given null.
void* stdWin_GetWindowHandle(void);
void stdWin_SetWindowHandle(void* handle);
// The application instance handle (null).
void* stdWin_GetInstanceHandle(void);
void stdWin_SetInstanceHandle(void* handle);
// One rectangle {x, y, width, height}: stored and returned.
void stdWin_SetRect(const int* rect);
const int* stdWin_GetRect(void);

// Not available on Linux: null, and *bits null.
void* stdWin_CreateDIBSection8(void* deviceContext, int width, int height, void** bits,
                               const unsigned char* palette);
void* stdWin_CreateDIBSection8Indexed(void* deviceContext, int width, int height, void** bits);
void* stdWin_CreateDIBSection16(void* deviceContext, int width, int height, void** bits);
void* stdWin_CreateDIBSection565(void* deviceContext, int width, int height, void** bits);
// Not available on Linux: 0.
int stdWin_SetPalette(void* deviceContext, const unsigned char* palette);
int stdWin_AnimatePalette(void* deviceContext, const unsigned char* palette, int first, int count);
// Not available on Linux: the sizes are left as they are.
void stdWin_AdjustWindowSize(int* width, int* height, unsigned long style, int hasMenu);
void stdWin_ListBoxFitText(void* listBox, const char* text);
// Not available on Linux: 0.
int stdWin_ListBoxAppend(void* listBox, const char* text, int maximumLines);
