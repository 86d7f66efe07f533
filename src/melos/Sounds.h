// The music host module of the engine.
//
// Not built yet: this is a placeholder that gives the module table its entry.
// Its initialise function answers 0 and fills no operation, so the registry
// skips the module; the functions below do nothing.
#pragma once

#include <cstdint>

#include "engine/drevMain.h"

int SoundsInitialize(HostServices* services, ModuleDescriptor* descriptor);
void Sounds_SetConfig(int v0, int v1, int v2, int v3, int v4, int v5, int v6, int v7, int v8,
                      int v9, int v10, int v11);
void Sounds_Update(void);

// Not built yet: no sound plays, so none is playing; setting a parameter and
// servicing the streams do nothing (each logs once).
bool Sounds_IsSoundPlaying(const char* name);
void Sounds_SetParam(const char* name, int parameter, int value);
void Sounds_FillStreams(void);
// Not built yet: there is no voice stream to release (logs once).
void Sounds_ReleaseVoice(void);
