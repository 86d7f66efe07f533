// A developer tool's window beside the game's (the light manager's): a
// second SDL window with an OpenGL context of its own, whose contents the
// tool builds with Dear ImGui once a frame.
//
// The events of that window (its keys, pointer, text input and close box)
// go to the tool and never reach the game: the event pump hands them here
// first. Key events pass the tool's key hook before ImGui sees them; the
// hook takes what it wants (the light manager's nudge keys) unless a text
// field of the window is being typed in. One tool window at a time. Main
// thread only.
#pragma once

#include <SDL.h>

#include <cstdint>

// The keys a tool's key hook tells apart; everything else is Other.
enum class kvToolKey : int { Left, Right, Up, Down, Pad2, Pad8, Pad4, Pad6, Alt, Other };

struct kvToolWindowHooks {
  // Builds the window's contents with ImGui calls, once a frame.
  void (*draw)(void);
  // The window's close box was pressed.
  void (*close)(void);
  // A key went down (down 1) or up (0) while the window has the focus; alt
  // is 1 while an Alt key is held. 1 when the tool took the key: ImGui then
  // does not see it.
  int (*key)(kvToolKey key, int down, int alt);
};

// Opens the window at the right of the game's window. 1 when it is open
// (also when it was already); 0, logged, when the window, its context or
// ImGui could not be set up (nothing stays open).
int kv_ToolWindow_Open(const char* title, int width, int height, const kvToolWindowHooks* hooks);
// Closes it; the hooks are not called. Nothing happens when none is open.
void kv_ToolWindow_Close(void);
int kv_ToolWindow_IsOpen(void);
SDL_Window* kv_ToolWindow_GetWindow(void);

// The event pump's entry: 1 when the event belongs to the tool window (it has
// then been handled here), 0 when it is the game's.
int kv_ToolWindow_HandleEvent(const SDL_Event* event);
// Draws one frame of the window when one is open: the hooks' contents into
// its own context, then the game's context is current again.
void kv_ToolWindow_Frame(void);

// A message box over the tool window, through the platform's message boxes
// (which tests answer): title, text and an OK button.
void kv_ToolWindow_MessageBox(const char* title, const char* text);

// Where a control of the last frame was drawn, in window pixels: the tool
// notes each control it draws under an id of its own (after the ImGui item),
// so that tests can point at it. 0 when no control had that id.
void kv_ToolWindow_NoteControl(int id);
int kv_ToolWindow_GetControlRect(int id, SDL_Rect* rect);
