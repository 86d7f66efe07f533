// The editor light manager: a developer tool for placing the set-file lights
// of the current set while the game runs.
//
// The scripts open and close it (LightMgrStartup toggles, LightMgrShutdown
// closes) and tell it of every set change (LightMgrSetChange). Open, it is a
// tool window beside the game's (LightMgr_Window.cpp, Dear ImGui through the
// platform's tool window) listing the set's lights; a marker actor wearing
// "x_spot.cos" stands at the selected light, and the arrow and keypad keys
// move and turn it while the window has the focus. Every edit acts on the
// set's RoomLight records and on each setup camera's copy of the light
// positions, so the picture changes at once; the lights can be written back
// into a copy of the set file.
//
// Main thread only.
#pragma once

#include <cstdint>

#include "engine/drevRoom.h"

// The script functions.
void LightMgrStartup(void);
void LightMgrShutdown(void);
void LightMgrSetChange(void);

int LightMgr_IsOpen(void);
// The marker actor's index, -1 before it was made (or once the actor table
// it was made in has gone).
int LightMgr_GetMarker(void);

// ---- The window's controls ----------------------------------------------------------

inline constexpr int kLightMgrList = 1000;
inline constexpr int kLightMgrDirect = 1001;  // types 0 and 1 both show as direct
inline constexpr int kLightMgrOmni = 1002;
inline constexpr int kLightMgrSpot = 1003;
inline constexpr int kLightMgrIntensity = 1004;
inline constexpr int kLightMgrInner = 1005;      // inner cone angle (umbra)
inline constexpr int kLightMgrOuter = 1006;      // outer cone angle (penumbra)
inline constexpr int kLightMgrPositionX = 1007;  // 1008, 1009: y, z
inline constexpr int kLightMgrAngleX = 1010;
inline constexpr int kLightMgrAngleY = 1012;
inline constexpr int kLightMgrAngleZ = 1013;
inline constexpr int kLightMgrAdd = 1014;
inline constexpr int kLightMgrDelete = 1015;
inline constexpr int kLightMgrRevertAll = 1016;
inline constexpr int kLightMgrSave = 1017;
inline constexpr int kLightMgrOn = 1018;
inline constexpr int kLightMgrIntensityUpDown = 1019;
inline constexpr int kLightMgrAllOff = 1020;
inline constexpr int kLightMgrAllOn = 1021;
inline constexpr int kLightMgrMarker = 1022;
inline constexpr int kLightMgrInnerUpDown = 1023;
inline constexpr int kLightMgrOuterUpDown = 1024;
inline constexpr int kLightMgrRevert = 1025;
inline constexpr int kLightMgrRename = 1026;
// The window's own: the list's rows (kLightMgrRow + row), the rename prompt,
// the save dialog with its file rows (kLightMgrSaveFile + row) and its
// question before a file is replaced.
inline constexpr int kLightMgrRow = 2000;
inline constexpr int kLightMgrRenameName = 1100;
inline constexpr int kLightMgrRenameOk = 1101;
inline constexpr int kLightMgrRenameCancel = 1102;
inline constexpr int kLightMgrSaveName = 1110;
inline constexpr int kLightMgrSaveOk = 1111;
inline constexpr int kLightMgrSaveCancel = 1112;
inline constexpr int kLightMgrReplaceYes = 1113;
inline constexpr int kLightMgrReplaceNo = 1114;
inline constexpr int kLightMgrSaveFile = 3000;

// Whether a control of the light table's part of the window takes input:
// with no row selected every control of the selected light is off; an omni
// light has no rotation or cone angles, a direct light no cone angles.
int LightMgr_IsEnabled(int control);

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
// index, or -1 (after the message box "Can't Add Light") when the set has
// 64 lights already.
int LightMgr_Add(void);
// Deletes the selected light; the same row stays selected (the one before
// when it was the last).
void LightMgr_Delete(void);
// Renames the selected light: blanks become '_', at most 31 characters; the
// row is selected again. 0 when nothing is selected, or when another light
// has the name (ignoring case: the message box "Duplicate light name").
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
// The selected light's marker flag: the marker shows at the light or hides.
void LightMgr_SetMarkerShown(int shown);
int LightMgr_GetMarkerShown(void);

// The up-down controls: a line up gives (step x value + 1) / step, a line
// down (step x value - 1) / step (lines +1, -1; a held button counts more
// lines at once); steps are 1000 for the intensity and 100 for the cone
// angles.
float LightMgr_UpDown(float value, int step, int lines);

// The keyboard hook, while the window has the focus and a row is selected:
// arrows move the selected light (up and down move z with Alt), keypad 2/8
// and 4/6 turn it (4/6 the z angle with Alt); a key held down repeats with
// growing steps (position 0.01 + 0.005 per repeat, angle 1 + 0.5), any other
// key event starts them again. Answers 1 when the key was taken (the Alt
// keys and the releases of these keys are taken too).
enum class LightMgrKey : int { Left, Right, Up, Down, Pad2, Pad8, Pad4, Pad6, Alt, Other };
int LightMgr_Key(LightMgrKey key, int down, int alt);
float LightMgr_GetPositionStep(void);
float LightMgr_GetAngleStep(void);

// Writes a copy of the set file named setName (opened through the services,
// so it may come from an archive) to outputPath with its lights section
// replaced by the edited lights, by way of a temporary file in the system's
// temporary folder (deleted afterwards). 1 when written. 0 when the set file
// or the temporary file cannot be opened (message box "Error"), when the
// output cannot be written, and when the set file has no lights section or
// ends with it: then no file is written (a log line says so).
int LightMgr_SaveLights(const char* setName, const char* outputPath);

// ---- The window (LightMgr_Window.cpp) -----------------------------------------------

// Opens and closes the tool window; 1 when open.
int LightMgr_OpenWindow(void);
void LightMgr_CloseWindow(void);
