// The music host module of the engine.
//
// Not built yet: this is a placeholder that gives the module table its entry.
// Its initialise function answers 0 and fills no operation, so the registry
// skips the module; the functions below do nothing.
//
// A sound is named by its file name or by its id (1111..1366 speech and
// resident sounds, 10000 the voice stream); where an operation takes a name,
// an id travels as its decimal text.
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

// Not built yet: nothing starts (each logs once). A sound answers id 0, a
// speech sound 0 and the voice stream 1 (its file is missing).
int Sounds_StartSound(const char* name, int priority, int group);
int Sounds_StartSpeechSound(const char* name, int volume, int group);
int Sounds_StartVoice(const char* name, int volume, int pan);
int Sounds_StopSound(const char* name);
void Sounds_StopVoice(void);
int Sounds_SetHook(const char* name, int hook);
// The phoneme code of a playing sound's lip-sync data; 0 when it has none,
// which is always while the music system is not built.
uint32_t Sounds_GetLipSyncShape(int sound, int offset);

// Not built yet: there is no voice stream to release (logs once).
void Sounds_ReleaseVoice(void);
