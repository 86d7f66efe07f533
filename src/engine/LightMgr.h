// The editor light manager: a developer tool for placing the set-file lights
// of the current set while the game runs.
//
// On Windows it is a dialog with a marker actor and a keyboard hook; that
// window is not available on Linux (LightMgrStartup says so once in the
// log). Its editing logic is here as functions over the set being edited:
// every edit acts on the set's RoomLight records and on each setup camera's
// copy of the light positions, so the picture changes at once. Messages the
// dialog would show in a message box go to the log.
//
// Main thread only.
#pragma once

#include <cstdint>

#include "engine/drevRoom.h"

// The script functions. The window is not available on Linux: Startup logs
// that once; Shutdown and SetChange do nothing while no window is open.
void LightMgrStartup(void);
void LightMgrShutdown(void);
void LightMgrSetChange(void);

// ---- Editing logic ------------------------------------------------------------------

// Takes the set to edit (null: none), backs up its lights and selects the
// first light. The light manager's set change.
void LightMgr_Begin(Room* room);
Room* LightMgr_GetRoom(void);
// The selected light's index, -1 when none.
int LightMgr_GetSelected(void);
// Selects a light (-1 none) and keeps a copy of it for LightMgr_RevertSelected.
void LightMgr_Select(int index);

// Adds "newlight%d" at the current setup's interest point: omni, on,
// intensity 1, white; added to every setup camera and selected. Answers its
// index, or -1 when the set has 64 lights already.
int LightMgr_Add(void);
// Deletes the selected light; the same row stays selected (the one before
// when it was the last).
void LightMgr_Delete(void);
// Renames the selected light: blanks become '_', at most 31 characters. 0
// when another light has the name (ignoring case) or nothing is selected.
int LightMgr_Rename(const char* name);
void LightMgr_RevertAll(void);
void LightMgr_RevertSelected(void);

// Edits of the selected light.
void LightMgr_SetType(int type);  // 1 direct, 2 omni, 3 spot
void LightMgr_SetOn(int on);
void LightMgr_SetAllOn(int on);
void LightMgr_SetIntensity(float value);
void LightMgr_SetConeAngles(float inner, float outer);
void LightMgr_SetPosition(int axis, float value);
// The light's direction becomes (0, 1, 0) turned by the three angles.
void LightMgr_SetAngle(int axis, float value);
void LightMgr_GetAngles(qxVector3* angles);

// The up-down controls: a line up gives (step x value + 1) / step, a line
// down (step x value - 1) / step (direction +1, -1); steps are 1000 for the
// intensity and 100 for the cone angles.
float LightMgr_UpDown(float value, int step, int direction);

// The keyboard nudge: arrows move the selected light, keypad 2/8 and 4/6 turn
// it; a key held down repeats with growing steps (position 0.01 + 0.005 per
// repeat, angle 1 + 0.5). Answers 1 when the key was taken.
enum class LightMgrKey : int { Left, Right, Up, Down, Pad2, Pad8, Pad4, Pad6, Other };
int LightMgr_Key(LightMgrKey key, int down, int alt);
float LightMgr_GetPositionStep(void);
float LightMgr_GetAngleStep(void);

// Writes a copy of the set file named setName (opened through the services,
// so it may come from an archive) to outputPath with its lights section
// replaced by the edited lights. 1 on success; 0 (logged, no file written)
// when the set file cannot be read, has no lights section, or the output
// cannot be written.
int LightMgr_SaveLights(const char* setName, const char* outputPath);
