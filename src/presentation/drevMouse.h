// Mouse, cursors and the script hotspots.
//
// The mouse module turns the platform mouse into what the scripts work with:
// the mouse position in overlay screen space (1920 x 1080, the 4:3 area at
// x = 240 to 1680), a ray from the camera through it, the walkable floor
// point under it, the hotspots under it and the dialogue line under it. It
// shows the cursor as an overlay whose image is one of 23 cursor images
// ("cursor%02d.png"), plays cursor animations on a second overlay, lets the
// scripts add, move, link and remove hotspots of their own, and saves the two
// overlay ids with the hotspot collection in the "HOTS" block.
//
// Main thread only.
#pragma once

#include <cstdint>

#include "engine/drevMain.h"
#include "quadrix/qxVector.h"
#include "script/runtime/lua31.h"

struct Hotspot;
struct OverlayImage;
struct Pathfinder;

constexpr int MOUSE_CURSOR_COUNT = 23;

int drevMouse_Initialize(HostServices* services, ModuleDescriptor* descriptor);
int drevMouse_Startup(void);
void drevMouse_Shutdown(void);
// The "HOTS" block.
int drevMouse_Save(SaveTransferFn write);
int drevMouse_Restore(SaveTransferFn read);

// The mouse position in overlay screen units, whole numbers: mode 0 maps the
// back buffer as the 4:3 picture is shown, mode 1 as the 16:9 picture is.
void drevMouse_GetPosition(int mode, float* x, float* y);
// The same with the mode of the game state (1 in game state 5).
void drevMouse_GetPositionForState(float* x, float* y);
// The ray from the camera through a point of overlay screen space: near is
// the camera position, far 100 units from it. 0 (outputs untouched) without
// a current camera or set.
int drevMouse_ScreenRay(const float point[2], qxVector3* far, qxVector3* near);
// 1 with the point where the line through near and far meets a walkable,
// visible sector of the current list inside it.
int drevMouse_HitWalkSector(const qxVector3* near, const qxVector3* far, qxVector3* out);
// The point of the plane z = 0 on the ray, moved onto its nearest walk
// sector; 0 for a ray parallel to the ground or when no walk sector exists.
int drevMouse_FloorPointOnGround(const qxVector3* near, const qxVector3* far, qxVector3* out);
// The walkable floor point under the mouse (GetFloorWalkPos); 0 for none.
int drevMouse_FloorWalkPos(int onGround, qxVector3* out);
// The axis parameter of the point of the line origin + t x axis closest to
// the line rayOrigin + k x rayDirection; 0 (t untouched) when they are parallel.
int drevMouse_ClosestOnAxis(const qxVector3* rayDirection, const qxVector3* axis,
                            const qxVector3* rayOrigin, const qxVector3* axisPoint, float* t);
// The dialogue line (1 to count) whose box holds the screen point, 0 for none.
int drevMouse_SelectedDialogLine(int x, int y, int lineHeight, int count, int mouseX, int mouseY);

// Script tables: a point table of the first count of "x", "y", "z", "w", and
// the description of a hotspot.
void drevMouse_PushVector(int count, const float* vector);
void drevMouse_PushHotspotInfo(const Hotspot* hotspot);

// Positions the cursor overlays on the mouse and steps the cursor animation;
// once per drawn frame.
void drevMouse_UpdateCursor(void);
// The cursor image of number n (0 to 22), none when not registered.
OverlayImage* drevMouse_GetCursorImage(int n);
int drevMouse_GetCursorOverlay(void);
int drevMouse_GetAnimationOverlay(void);
int drevMouse_IsMovieCursorEnabled(void);

// What the cursor script functions change: the cursor overlay's image (n < 0
// none; numbers above 22 are ignored), showing the cursor (hiding it stops an
// animation), a cursor animation from first to last in 30 ms steps (numbers
// outside 0..22 are ignored), loading every registered cursor image, and the
// flag that keeps the cursor drawn during full-screen movies.
void drevMouse_SetCursor(int n);
void drevMouse_ShowCursor(int show);
void drevMouse_StartAnimation(int first, int last);
void drevMouse_PreloadCursors(void);
void drevMouse_SetMovieCursor(int enabled);

// The walk-area navigation graph, constructed on first use.
Pathfinder* drevMouse_GetPathfinder(void);

// Where the mouse and the clock come from; tests put their own in (null
// restores the platform's).
struct drevMouseSource {
  void (*mouse)(int* x, int* y);
  uint32_t (*ticks)(void);
};
void drevMouse_SetSource(const drevMouseSource* source);

// The mouse script functions (registered by the startup).
const lua_Reg* drevMouse_GetScriptTable(int* count);
