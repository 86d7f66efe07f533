// Real window-system input and screen capture for the end-to-end tests: the
// X test extension moves the pointer, presses buttons and keys on the X
// server, which sends the events to the program's window like a player's hand
// would, and the server's own picture of the screen shows what reached the
// window. Each call waits until the server has handled the request, so the
// next event pump sees the events. Kept apart from the tests because Xlib's
// macros clash with GoogleTest's names.
#pragma once

#include <SDL.h>

#include <string>

namespace xtest {

// 1 when the window's X display offers the test extension.
int Open(SDL_Window* window);
// Moves the pointer to window pixel (x, y).
void MovePointer(int x, int y);
// Button 1 is the left, 3 the right.
void Button(int button, bool down);
// A key by its SDL key code (F-keys, Escape, letters, space, the arrows and
// the keypad's digits).
void Key(SDL_Keycode key, bool down);
// Switches the X server's auto-repeat of held keys (on by default); the
// repeats come on the server's clock.
void AutoRepeat(bool on);
// What the screen shows where the window is: the root window's pixels over
// the window's rectangle, 3 bytes a pixel (red, green, blue), rows from the
// top. False when the server gives no picture.
bool CaptureWindow(std::string* rgb, int* width, int* height);

}  // namespace xtest
