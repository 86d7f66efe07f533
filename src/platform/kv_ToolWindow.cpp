// A developer tool's window: SDL window, OpenGL context and Dear ImGui (its
// SDL and OpenGL 3 back ends from Debian's libimgui-dev).
#include "platform/kv_ToolWindow.h"

#include <GL/glew.h>
#include <backends/imgui_impl_opengl3.h>
#include <backends/imgui_impl_sdl.h>
#include <imgui.h>

#include <map>

#include "platform/kv_Log.h"
#include "platform/kv_Platform.h"

namespace {

struct ToolWindow {
  SDL_Window* window = nullptr;
  SDL_GLContext context = nullptr;
  ImGuiContext* imgui = nullptr;
  bool sdlBackend = false;
  bool glBackend = false;
  uint32_t id = 0;
  kvToolWindowHooks hooks{};
  std::map<int, SDL_Rect> controls;  // as drawn in the last frame
  std::map<int, SDL_Rect> drawing;   // noted in the frame being drawn
};
ToolWindow g;

// Makes the game's context current again (when there is one).
void BackToGame() {
  const kvWindowState* game = kv_Platform_GetWindowState();
  if (game->window && game->glContext) {
    SDL_GL_MakeCurrent(game->window, game->glContext);
  } else {
    SDL_GL_MakeCurrent(nullptr, nullptr);
  }
}

uint32_t EventWindowId(const SDL_Event& event) {
  switch (event.type) {
    case SDL_WINDOWEVENT:
      return event.window.windowID;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      return event.key.windowID;
    case SDL_TEXTEDITING:
      return event.edit.windowID;
    case SDL_TEXTINPUT:
      return event.text.windowID;
    case SDL_MOUSEMOTION:
      return event.motion.windowID;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      return event.button.windowID;
    case SDL_MOUSEWHEEL:
      return event.wheel.windowID;
    default:
      return 0;
  }
}

kvToolKey ToolKey(SDL_Scancode code) {
  static constexpr struct {
    SDL_Scancode code;
    kvToolKey key;
  } kKeys[] = {{SDL_SCANCODE_LEFT, kvToolKey::Left}, {SDL_SCANCODE_RIGHT, kvToolKey::Right},
               {SDL_SCANCODE_UP, kvToolKey::Up},     {SDL_SCANCODE_DOWN, kvToolKey::Down},
               {SDL_SCANCODE_KP_2, kvToolKey::Pad2}, {SDL_SCANCODE_KP_8, kvToolKey::Pad8},
               {SDL_SCANCODE_KP_4, kvToolKey::Pad4}, {SDL_SCANCODE_KP_6, kvToolKey::Pad6},
               {SDL_SCANCODE_LALT, kvToolKey::Alt},  {SDL_SCANCODE_RALT, kvToolKey::Alt}};
  for (const auto& key : kKeys)
    if (key.code == code) return key.key;
  return kvToolKey::Other;
}

// The key hook: 1 when the tool took the key. Nothing is taken while a text
// field is being typed in.
bool KeyTaken(const SDL_KeyboardEvent& key) {
  if (!g.hooks.key) return false;
  ImGui::SetCurrentContext(g.imgui);
  if (ImGui::GetIO().WantTextInput) return false;
  const int alt = (SDL_GetModState() & KMOD_ALT) ? 1 : 0;
  return g.hooks.key(ToolKey(key.keysym.scancode), key.type == SDL_KEYDOWN ? 1 : 0, alt) != 0;
}

// The corner of the display that holds the game's window: the tool window
// goes to its top right.
void Place(int width, int height, int* x, int* y) {
  SDL_Rect bounds{0, 0, 1280, 1024};
  const kvWindowState* game = kv_Platform_GetWindowState();
  const int display = game->window ? SDL_GetWindowDisplayIndex(game->window) : 0;
  SDL_GetDisplayBounds(display < 0 ? 0 : display, &bounds);
  *x = bounds.x + (bounds.w > width ? bounds.w - width : 0);
  *y = bounds.y;
  (void)height;
}

}  // namespace

int kv_ToolWindow_Open(const char* title, int width, int height, const kvToolWindowHooks* hooks) {
  if (g.window) return 1;
  if (!hooks) return 0;
  int x = 0, y = 0;
  Place(width, height, &x, &y);
  g.window = SDL_CreateWindow(title, x, y, width, height,
                              SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
  if (!g.window) {
    kv_Log_Printf("[Tool] - the window \"%s\" could not be made: %s", title, SDL_GetError());
    return 0;
  }
  g.context = SDL_GL_CreateContext(g.window);
  if (!g.context) {
    kv_Log_Printf("[Tool] - the window \"%s\" has no OpenGL context: %s", title, SDL_GetError());
    kv_ToolWindow_Close();
    return 0;
  }
  SDL_GL_MakeCurrent(g.window, g.context);
  SDL_GL_SetSwapInterval(0);  // the game's frame sets the pace
  ImGuiContext* previous = ImGui::GetCurrentContext();
  g.imgui = ImGui::CreateContext();
  ImGui::SetCurrentContext(g.imgui);
  ImGuiIO& io = ImGui::GetIO();
  io.IniFilename = nullptr;  // no imgui.ini beside the game
  // The game hides the system cursor for every window; ImGui draws its own
  // here and leaves the system cursor alone.
  io.MouseDrawCursor = true;
  io.ConfigFlags |= ImGuiConfigFlags_NoMouseCursorChange;
  ImGui::StyleColorsDark();
  g.sdlBackend = ImGui_ImplSDL2_InitForOpenGL(g.window, g.context);
  g.glBackend = g.sdlBackend && ImGui_ImplOpenGL3_Init("#version 330 core");
  ImGui::SetCurrentContext(previous);
  if (!g.glBackend) {
    kv_Log_Printf("[Tool] - the window \"%s\" could not start its drawing", title);
    kv_ToolWindow_Close();
    return 0;
  }
  g.id = SDL_GetWindowID(g.window);
  g.hooks = *hooks;
  BackToGame();
  return 1;
}

void kv_ToolWindow_Close(void) {
  if (!g.window) return;
  if (g.imgui) {
    SDL_GL_MakeCurrent(g.window, g.context);
    ImGuiContext* previous = ImGui::GetCurrentContext();
    ImGui::SetCurrentContext(g.imgui);
    if (g.glBackend) ImGui_ImplOpenGL3_Shutdown();
    if (g.sdlBackend) ImGui_ImplSDL2_Shutdown();
    ImGui::DestroyContext(g.imgui);
    ImGui::SetCurrentContext(previous == g.imgui ? nullptr : previous);
  }
  if (g.context) SDL_GL_DeleteContext(g.context);
  SDL_DestroyWindow(g.window);
  g = ToolWindow{};
  BackToGame();
}

int kv_ToolWindow_IsOpen(void) {
  return g.window ? 1 : 0;
}

SDL_Window* kv_ToolWindow_GetWindow(void) {
  return g.window;
}

int kv_ToolWindow_HandleEvent(const SDL_Event* event) {
  if (!g.window || !event || EventWindowId(*event) != g.id) return 0;
  if (event->type == SDL_WINDOWEVENT && event->window.event == SDL_WINDOWEVENT_CLOSE) {
    if (g.hooks.close) g.hooks.close();
    return 1;
  }
  // A key the hook takes is not ImGui's; releases reach ImGui all the same,
  // so that no key stays held there.
  const bool key = event->type == SDL_KEYDOWN || event->type == SDL_KEYUP;
  if (key && KeyTaken(event->key) && event->type == SDL_KEYDOWN) return 1;
  if (!g.window) return 1;  // the hook may have closed the window
  ImGui::SetCurrentContext(g.imgui);
  ImGui_ImplSDL2_ProcessEvent(event);
  return 1;
}

void kv_ToolWindow_Frame(void) {
  if (!g.window) return;
  SDL_GL_MakeCurrent(g.window, g.context);
  ImGui::SetCurrentContext(g.imgui);
  ImGui_ImplOpenGL3_NewFrame();
  ImGui_ImplSDL2_NewFrame();
  ImGui::NewFrame();
  g.drawing.clear();
  if (g.hooks.draw) g.hooks.draw();
  if (!g.window) return;  // closed while drawing
  ImGui::Render();
  int width = 0, height = 0;
  SDL_GL_GetDrawableSize(g.window, &width, &height);
  glViewport(0, 0, width, height);
  glClearColor(0.1f, 0.1f, 0.12f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
  SDL_GL_SwapWindow(g.window);
  g.controls.swap(g.drawing);
  BackToGame();
}

void kv_ToolWindow_MessageBox(const char* title, const char* text) {
  static const char* const kOk[] = {"OK"};
  kv_Platform_ShowMessageBox(g.window, text, title, 1, kOk, 0, 0);
}

void kv_ToolWindow_NoteControl(int id) {
  if (!g.window) return;
  const ImVec2 min = ImGui::GetItemRectMin();
  const ImVec2 max = ImGui::GetItemRectMax();
  g.drawing[id] = SDL_Rect{static_cast<int>(min.x), static_cast<int>(min.y),
                           static_cast<int>(max.x - min.x), static_cast<int>(max.y - min.y)};
}

int kv_ToolWindow_GetControlRect(int id, SDL_Rect* rect) {
  const auto found = g.controls.find(id);
  if (found == g.controls.end()) return 0;
  if (rect) *rect = found->second;
  return 1;
}
