// The X test extension behind xtest:: (see XTestInput.h).
#include "XTestInput.h"

#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
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
  } else if (key >= SDLK_KP_1 && key <= SDLK_KP_9) {
    symbol = XK_KP_1 + (key - SDLK_KP_1);
  } else {
    const struct {
      SDL_Keycode key;
      KeySym symbol;
    } others[] = {{SDLK_SPACE, XK_space},
                  {SDLK_LEFT, XK_Left},
                  {SDLK_RIGHT, XK_Right},
                  {SDLK_UP, XK_Up},
                  {SDLK_DOWN, XK_Down}};
    for (const auto& other : others)
      if (other.key == key) symbol = other.symbol;
  }
  const KeyCode code = XKeysymToKeycode(g_display, symbol);
  if (!code) return;
  XTestFakeKeyEvent(g_display, code, down ? True : False, 0);
  XSync(g_display, False);
}

void AutoRepeat(bool on) {
  if (on) {
    XAutoRepeatOn(g_display);
  } else {
    XAutoRepeatOff(g_display);
  }
  XSync(g_display, False);
}

std::vector<unsigned char> Picture(SDL_Window* window, int* width, int* height) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  std::vector<unsigned char> rgb;
  if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return rgb;
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(info.info.x11.display, info.info.x11.window, &attributes)) return rgb;
  XImage* image = XGetImage(info.info.x11.display, info.info.x11.window, 0, 0,
                            static_cast<unsigned>(attributes.width),
                            static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
  if (!image) return rgb;
  *width = attributes.width;
  *height = attributes.height;
  rgb.reserve(static_cast<size_t>(*width) * *height * 3);
  for (int y = 0; y < *height; ++y) {
    for (int x = 0; x < *width; ++x) {
      const unsigned long pixel = XGetPixel(image, x, y);
      rgb.push_back(static_cast<unsigned char>((pixel & image->red_mask) >> 16));
      rgb.push_back(static_cast<unsigned char>((pixel & image->green_mask) >> 8));
      rgb.push_back(static_cast<unsigned char>(pixel & image->blue_mask));
    }
  }
  XDestroyImage(image);
  return rgb;
}

}  // namespace xtest
