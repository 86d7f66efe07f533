// The script interface module: the engine functions the scripts call and the handlers of the
// scripts' system table.
//
// Not built yet: this is a placeholder that gives the module table its entry.
// Its initialise function answers 0 and fills no operation, so the registry
// skips the module; the functions below do nothing.
#pragma once

#include <cstdint>

#include "engine/drevMain.h"

int drevLua_Initialize(HostServices* services, ModuleDescriptor* descriptor);
void drevLua_Update(void);
// Nonzero when the call of BOOT succeeded.
int drevLua_CallBoot(int newGame, const char* bootParameter);
// 1 when "_system.lua" ran, 0 on failure.
int drevLua_RunSystemScript(void);
int drevLua_CallCamChangeHandler(int oldSetup, int newSetup);
int drevLua_CallUserPaintHandler(void);
int drevLua_CallPauseHandler(void);
int drevLua_CallCharacterHandler(int character);
void drevLua_SetDebugKeysHook(void (*hook)(int on));
