// Platform main, event pump and window services.
//
// Not built yet: the platform main, its event pump and the window belong to
// the foundation work. Only the two calls the save slots make are declared
// here, and both are stand-ins that do nothing (see kv_Platform.cpp).
#pragma once

struct SDL_Window;

// Pushes a window-system quit event (SDL_QUIT).
void kv_Platform_PostQuit(void);
// A modal message box over the window; the index of the pressed button, or -1
// when showing the box failed.
int kv_Platform_ShowMessageBox(SDL_Window* window, const char* text, const char* title,
                               int buttonCount, const char* const* labels, int defaultIndex,
                               int errorFlag);
