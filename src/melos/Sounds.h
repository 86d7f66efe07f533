// The music host module of the engine (SOUNDS): it owns the Melos music
// library, starts it with a 16 ms heartbeat thread, feeds it sound data
// through the host callbacks, and gives the engine one interface by sound
// name: start, stop, parameters, fades, hooks, the voice stream and lip sync,
// resident sound loading, and save and restore of the whole music state.
//
// Sounds started by name load into one of 32 resident slots (ids 100..131);
// scripts get an id 1111..1366 for each; 10000 is the voice stream and
// 10001..10004 the music script's stream files.
#pragma once

#include <cstdint>

#include "std/stdModule.h"

// A sound named by the engine or the scripts: a file name, or a number (a
// script id 1111..1366, or 10000 for the voice stream). Text is read by the
// text rules: a text of at most 4 characters is read as a number, "10000" is
// the voice and 1111..1366 name nothing; any other text is a file name.
struct SoundName {
  const char* text = nullptr;
  int32_t number = 0;
  SoundName() = default;
  SoundName(const char* name) : text(name) {}  // NOLINT: names convert freely
  SoundName(int id) : number(id) {}            // NOLINT: so do numbers
};

// Module lifecycle. SoundsInitialize fills startup, shutdown, save, restore,
// pause and resume.
int SoundsInitialize(HostServices* services, ModuleDescriptor* descriptor);
int Sounds_Startup(void);
void Sounds_Shutdown(void);
int Sounds_Save(SaveTransferFn write);
int Sounds_Restore(SaveTransferFn read);
int Sounds_Pause(void);
int Sounds_Resume(void);
// 1 between Sounds_Startup and Sounds_Shutdown.
int Sounds_IsStarted(void);

// Stores the first twelve configuration words (see MelosConfigWord) and
// 150000 in the voice-effect word; called before the module starts.
void Sounds_SetConfig(int v0, int v1, int v2, int v3, int v4, int v5, int v6, int v7, int v8,
                      int v9, int v10, int v11);
// The music script's enable word, read when the module starts.
void Sounds_SetScriptEnabled(int value);

// By-name operations. An unresolved name changes nothing and gives the fixed
// result given here.
// Loads the sound when needed and starts it (priority at most 124) in a
// group; its script id, 0 when unresolved.
int Sounds_StartSound(SoundName name, int priority, int group);
// The same for a speech line (it also counts as a use of the sound).
int Sounds_StartSpeechSound(SoundName name, int priority, int group);
int Sounds_StopSound(SoundName name);                                           // 0 when unresolved
int Sounds_GetParam(SoundName name, int param);                                 // 1 when unresolved
int Sounds_SetParam(SoundName name, int param, int value);                      // 0 when unresolved
int Sounds_FadeParam(SoundName name, int param, int target, int milliseconds);  // 1
int Sounds_IsSoundPlaying(SoundName name);                                      // 1 while it plays
int Sounds_SetHook(SoundName name, int hook);  // -1 when unresolved
int Sounds_GetHook(SoundName name);            // -1 when unresolved
// 1 when the sound is loaded in a slot and plays or is about to start.
int Sounds_IsLoaded(SoundName name);
// Both 0.
uint32_t Sounds_GetMemoryFootprint(void);
uint32_t Sounds_GetSoundCacheSize(void);

// The frame's step: one stream service, one music-script tick, one check of
// the resident sound budget.
void Sounds_Update(void);
// Tops up the buffered music (before a movie, when a set binds).
void Sounds_FillStreams(void);
// The play position in ms of the music streaming through memory block 2.
int Sounds_GetMusicPosition(void);
// The music stream of Sounds_FillStreams: 1 when it holds at most its refill
// threshold (and is not at its end); 1 when it is absent, at its end or
// holds more than its ring less the read chunk.
int Sounds_StreamHungry(void);
int Sounds_StreamFull(void);

// The voice stream (id 10000) and lip sync.
// 0 when the voice started, 1 when its file cannot be opened.
int Sounds_StartVoice(const char* file, int volume, int pan);
void Sounds_StopVoice(void);
// Closes the voice's file; 10000, or 0 when none was open.
int Sounds_ReleaseVoice(void);
int Sounds_RestartVoice(void);
int Sounds_GetVoicePosition(void);
// 1 while the voice effect is off, which it always is.
int Sounds_VoiceEffectDone(void);
// Stores the voice-effect name (39 characters at most); no effect is ever
// applied.
void Sounds_SetVoiceEffect(const char* name);
// The mouth shape of a speaking sound (its script id, or 10000) at its play
// position plus offset ms; 95 when no entry covers that time, 0 when the
// sound has no lip-sync table.
uint32_t Sounds_GetLipSyncShape(int sound, int offset);

// The engine's SYNC resources: a whole (decompressed) file in memory.
struct SoundFileRecord {
  char name[32];
  uint32_t size;
  uint8_t* data;
};
SoundFileRecord* Sounds_LoadSoundFile(const char* name);
void Sounds_FreeSoundFile(SoundFileRecord* record);
