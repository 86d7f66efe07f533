// The script interface module: joins the engine to the scripting runtime.
//
// It starts and stops the runtime (a nested module), registers the engine's
// core script-function table (the other modules register their own tables
// with the runtime, lua_openlib, in their startups), owns the scripts' global
// table `system` through which every engine-to-script call (a "handler")
// goes, runs the boot script and BOOT, and advances the script tasks once per
// frame. Main thread only.
//
// The handles by which engine objects travel to the scripts, and the
// argument helpers the modules share, are in engine/ScriptHandles.h.
#pragma once

#include <cstdint>

#include "engine/ScriptHandles.h"
#include "engine/drevMain.h"
#include "presentation/drevControl.h"
#include "script/runtime/lua31.h"

// The core script-function table.
constexpr int kCoreFunctionCount = 323;
const lua_Reg* drevLua_GetCoreTable(void);

// ---- Module operations ------------------------------------------------------

// 0 on success, 1 when the runtime would not initialise.
int drevLua_Initialize(HostServices* services, ModuleDescriptor* descriptor);
void drevLua_Uninitialize(void);
int drevLua_Startup(void);
void drevLua_Shutdown(void);

// ---- Operations for other modules ------------------------------------------

struct CostumeNode;
// The costume selector of the chore functions: from the actor's top node,
// nil (or no argument) picks the top, a number n the node n below it, a
// string the first node whose costume has that name (any case); 1 when a
// node was picked.
int drevLua_FindCostumeNode(CostumeNode** out, CostumeNode* top, lua_Object argument);

// Registers a script-function table with the runtime (lua_openlib, which the
// other modules' startups call themselves).
void drevLua_OpenLibrary(const lua_Reg* table, int count);
// 1 when "_system.lua" ran, else 0 (the reason goes to the debugger output).
int drevLua_RunSystemScript(void);
// Calls BOOT(resume and 1 or nil, boot parameter or nil); 1 when it ran
// without error, else 0.
int drevLua_CallBoot(int resume, const char* bootParameter);
// Once per engine frame: system.frameTime and system.movieTime, garbage
// collection every 600 frames, one step of every script task.
void drevLua_Update(void);

// Handler calls through the system table. Handlers are called only when they
// are functions (or tables holding a function of the same name, called with
// the table as self); a missing handler calls nothing.
int drevLua_CallCamChangeHandler(int oldSetup, int newSetup);
int drevLua_CallPostCamChangeHandler(int setup);
int drevLua_CallCollisionHandler(int actor, int otherActor, const float oldPosition[3],
                                 const float contact[3], const float newPosition[3]);
int drevLua_CallCostumeOverrideHandler(int actor, int flag);
int drevLua_CallCostumeMarkerHandler(int actor, int marker);
int drevLua_CallUserPaintHandler(void);
// 1 when a handler was called, else 0.
int drevLua_CallExitHandler(void);
int drevLua_CallPauseHandler(void);
// 1 when the handler's first result is not nil, else 0.
int drevLua_CallCharacterHandler(int character);
void drevLua_CallNotifyCommentary(int number);
void drevLua_CallNotifyKeyMapped(int result);
void drevLua_CallSaveGameCallbackHandler(void);

// The scripts' data block of a save game: calls system.saveGameCallback,
// through which the scripts hand their texts to SubmitSaveGameData, and
// writes the block body (a zero word when nothing was submitted).
void drevLua_SaveGameCallback(SaveTransferFn writer);

// Runtime hooks for user data in save games: STAT by setup index x 65536 +
// place in the setup's object-state list, FONT by its resource's saved
// identity, VBUF restored dead; every other tag keeps its value.
int64_t drevLua_SaveHook(int32_t tag, void* value);
void* drevLua_RestoreHook(int32_t tag, uint32_t low, uint32_t high);

// The control handler registered with the control module; never takes the
// input away from later handlers. Once per frame it calls the scripts'
// buttonHandler(index, 1 or nil, presses, double press) for every enabled key
// control that went down or up, axisHandler(index, value) for every enabled
// axis whose value changed, and inputModeHandler(new, old) first when the
// input device changed (1 joystick, 2 keyboard, 3 mouse). KEY_MOUSE_LONG
// reports once per hold, KEY_MOUSE_PING every fifth frame.
int drevLua_ControlHandler(float seconds);

void drevLua_SetSaveStatus(int code);
int drevLua_GetSaveStatus(void);
void drevLua_SetInputMode(int mode);
int drevLua_GetInputMode(void);
// The engine's debug-keys flag: set by the script function EnableDebugKeys,
// read by the developer key handlers. It persists across restarts.
void drevLua_SetDebugKeysEnabled(int enabled);
int drevLua_IsDebugKeysEnabled(void);
void drevLua_SetDebugKeysHook(void (*hook)(int on));
void (*drevLua_GetDebugKeysHook(void))(int on);
