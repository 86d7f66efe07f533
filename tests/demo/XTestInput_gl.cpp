// The X test extension behind xtest:: (see XTestInput.h).
#include "XTestInput.h"

#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace xtest {
namespace {

Display* g_display = nullptr;
::Window g_window = 0;

}  // namespace

int Open(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return 0;
  // SDL's own connection: XSync waits for the server's answer, which comes
  // after the events it caused, so they sit in SDL's queue when it returns.
  g_display = info.info.x11.display;
  int event = 0, error = 0, major = 0, minor = 0;
  if (!XTestQueryExtension(g_display, &event, &error, &major, &minor)) return 0;
  g_window = info.info.x11.window;
  return 1;
}

void MovePointer(int x, int y) {
  XWarpPointer(g_display, 0, g_window, 0, 0, 0, 0, x, y);
  XSync(g_display, False);
}

void Button(int button, bool down) {
  XTestFakeButtonEvent(g_display, static_cast<unsigned>(button), down ? True : False, 0);
  XSync(g_display, False);
}

void Key(SDL_Keycode key, bool down) {
  KeySym symbol = NoSymbol;
  if (key >= SDLK_F1 && key <= SDLK_F12) {
    symbol = XK_F1 + (key - SDLK_F1);
  } else if (key == SDLK_ESCAPE) {
    symbol = XK_Escape;
  } else if (key >= SDLK_a && key <= SDLK_z) {
    symbol = XK_a + (key - SDLK_a);
  }
  const KeyCode code = XKeysymToKeycode(g_display, symbol);
  if (!code) return;
  XTestFakeKeyEvent(g_display, code, down ? True : False, 0);
  XSync(g_display, False);
}

}  // namespace xtest
