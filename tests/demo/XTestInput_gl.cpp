// The X test extension and the screen capture behind xtest:: (see XTestInput.h).
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

bool CaptureWindow(std::string* rgb, int* width, int* height) {
  if (!g_display || !g_window) return false;
  // Everything the program asked of the server (the swap's picture among
  // it) is done before the picture is read.
  XSync(g_display, False);
  XWindowAttributes window, root;
  if (!XGetWindowAttributes(g_display, g_window, &window) ||
      !XGetWindowAttributes(g_display, window.root, &root)) {
    return false;
  }
  int x = 0, y = 0;
  ::Window child = 0;
  XTranslateCoordinates(g_display, g_window, window.root, 0, 0, &x, &y, &child);
  // The part of the window that lies on the screen.
  const int left = x < 0 ? 0 : x, top = y < 0 ? 0 : y;
  const int right = x + window.width < root.width ? x + window.width : root.width;
  const int bottom = y + window.height < root.height ? y + window.height : root.height;
  if (right <= left || bottom <= top) return false;
  XImage* image = XGetImage(g_display, window.root, left, top, static_cast<unsigned>(right - left),
                            static_cast<unsigned>(bottom - top), AllPlanes, ZPixmap);
  if (!image) return false;
  // A channel of a pixel by its mask, scaled to 8 bits.
  auto channel = [](unsigned long pixel, unsigned long mask) {
    if (!mask) return 0;
    int shift = 0;
    while (!((mask >> shift) & 1)) ++shift;
    const unsigned long most = mask >> shift;
    return static_cast<int>(((pixel & mask) >> shift) * 255 / most);
  };
  *width = image->width;
  *height = image->height;
  rgb->resize(static_cast<size_t>(image->width) * image->height * 3);
  size_t at = 0;
  for (int row = 0; row < image->height; ++row) {
    for (int column = 0; column < image->width; ++column) {
      const unsigned long pixel = XGetPixel(image, column, row);
      (*rgb)[at++] = static_cast<char>(channel(pixel, image->red_mask));
      (*rgb)[at++] = static_cast<char>(channel(pixel, image->green_mask));
      (*rgb)[at++] = static_cast<char>(channel(pixel, image->blue_mask));
    }
  }
  XDestroyImage(image);
  return true;
}

}  // namespace xtest
