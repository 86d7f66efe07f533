// The script interface module's own families of core-table rows, kept in
// their own files; drevLua_Core puts them in the core table by name. Also the
// argument helpers they share (the smallest, which other modules share too,
// are in engine/ScriptHandles.h).
#pragma once

#include <cstdint>
#include <span>

#include "engine/ScriptHandles.h"
#include "script/runtime/lua31.h"

struct Actor;
struct Sector;
struct qxMatrix34;
struct qxVector3;

// Actor placement, walking and turning (drevLua_Actor.cpp).
std::span<const lua_Reg> drevLua_ActorRows(void);
// Actor appearance, looking and queries (drevLua_ActorLook.cpp).
std::span<const lua_Reg> drevLua_ActorLookRows(void);
// Sets, setups, sectors and walk boxes (drevLua_Set.cpp).
std::span<const lua_Reg> drevLua_SetRows(void);
// Cameras and lights (drevLua_Camera.cpp).
std::span<const lua_Reg> drevLua_CameraRows(void);
// Sound, music and movies (drevLua_Sound.cpp).
std::span<const lua_Reg> drevLua_SoundRows(void);
// Render mode, object states, actor options and the dialogue log
// (drevLua_RenderMode.cpp).
std::span<const lua_Reg> drevLua_RenderModeRows(void);
// System and engine functions (drevLua_System.cpp).
std::span<const lua_Reg> drevLua_SystemRows(void);
// Controls, mouse speed and FlushControls (drevLua_Input.cpp).
std::span<const lua_Reg> drevLua_InputRows(void);
// Key remapping (drevLua_KeyMapping.cpp).
std::span<const lua_Reg> drevLua_KeyMappingRows(void);
// SubmitSaveGameData and GetSaveGameData (drevLua_SaveGame.cpp).
std::span<const lua_Reg> drevLua_SaveGameDataRows(void);
// The actor chore functions (drevLua_Chore.cpp).
std::span<const lua_Reg> drevLua_ChoreRows(void);

struct Actor;
// The actor of an ACTR handle argument, or null for any other value or a
// freed actor.
Actor* drevLua_ActorArg(int n);
// Save games, settings and files (drevLua_SaveFiles.cpp), and what their
// shutdown ends: a save-list search still running, an open file search.
std::span<const lua_Reg> drevLua_SaveFileRows(void);
void drevLua_ShutdownSaveFiles(void);

// ---- Arguments (drevLua_Args.cpp) --------------------------------------------------

// The same with the actor's extra block made when it has none.
Actor* drevLua_ActorArgWithExtra(int n);
// 1 with the number of argument n; 0 (out untouched) when it is not a number.
int drevLua_NumberArg(int n, float* out);
// The same, also refusing NaN: for values stored into actor, camera or light
// state.
int drevLua_StoredNumberArg(int n, float* out);
// The number of argument n, or `otherwise` when it is not one.
float drevLua_NumberOr(int n, float otherwise);
// 1 with the truncated number of argument n, saturated at the int range.
int drevLua_IntArg(int n, int* out);
// A point from arguments n, n + 1, n + 2: 1 when all three are numbers.
int drevLua_PointArgs(int n, qxVector3* out);

// The first sector of the current set, in list order, whose name contains the
// text (case-sensitive) and, when exact, equals it, and that holds the point
// (active and visible sectors only); null for none.
Sector* drevLua_FindNamedSector(const char* text, const qxVector3* point, int exact);

// WalkActorVector's kept movement frame (for tests).
const qxMatrix34* drevLua_GetKeptWalkFrame(void);

// ---- Results ------------------------------------------------------------------------

// The ACTR handle of an actor index; nil for -1.
void drevLua_PushActor(int index);
// A sector answer: its id, name and type bits (three results); nil for none.
void drevLua_PushSector(const Sector* sector);
// Three results x, y, z.
void drevLua_PushPoint(const qxVector3& point);
// A truth result: the number 1, or nil.
void drevLua_PushTruth(bool value);
// 1 when argument n is nil or absent (an absent argument is not nil).
bool drevLua_IsNilOrAbsent(int n);
// A new point table with the keys "x", "y" and "z".
void drevLua_PushPointTable(const qxVector3* point);
// Reads "x", "y" and "z" of a table; a missing field reads as 0.
void drevLua_ReadPointTable(lua_Object table, qxVector3* out);
