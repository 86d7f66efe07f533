// The calls that the script-function families make into the music system,
// the cutscene player, the high-definition movies, the render module, the
// overlays and the mouse. The table starts empty and the program installs
// their functions (drevLua_SetCalls); tests put recording fakes in place and
// go back to the program's rows with drevLua_ResetCalls.
//
// A sound is named by its file name or by its id (SoundName).
#pragma once

#include <cstdint>

#include "chore/costume.h"
#include "melos/Sounds.h"

struct qxVector3;

struct drevLuaCalls {
  // music host
  int (*soundsStartSound)(SoundName name, int priority, int group);
  int (*soundsStopSound)(SoundName name);
  int (*soundsGetParam)(SoundName name, int parameter);
  int (*soundsSetParam)(SoundName name, int parameter, int value);
  int (*soundsFadeParam)(SoundName name, int parameter, int value, int milliseconds);
  int (*soundsStartVoice)(const char* name, int volume, int pan);
  void (*soundsStopVoice)(void);
  void (*soundsSetVoiceEffect)(const char* name);
  uint32_t (*soundsGetMemoryFootprint)(void);
  uint32_t (*soundsGetSoundCacheSize)(void);
  void (*soundsFillStreams)(void);
  // music library
  int (*melosGroupVolume)(int group, int value);
  int (*melosStopAllSounds)(void);
  int (*melosSetSequence)(int sequence);
  int (*melosSetCuePoint)(int cue);
  int (*melosSetAttribute)(int attribute, int value);
  int (*melosPause)(void);
  int (*melosResume)(void);
  int (*melosStartRecording)(const char* name, int flag);
  void (*melosStopRecording)(void);
  // engine core
  void (*queueMusicState)(int state);
  void (*snapshotMelos)(void);
  void (*restoreMelosSnapshot)(void);
  int (*startMovie)(const char* name, int fullScreen, int loop, int x, int y);
  // positional sound of the current set
  int (*roomAddPositionalSound)(SoundName sound, const qxVector3* position, int minVolume,
                                int maxVolume, float range, float nearDistance);
  // cutscenes and high-definition movies
  void (*tolveStop)(void);
  void (*tolvePause)(int flag);
  int (*tolveIsPlaying)(void);
  int (*movieIsActive)(void);
  int (*movieIsRunning)(void);
  // mouse and control
  void (*mouseSetMovieCursor)(int flag);
  float (*controlGetAxisClamped)(int axis, int negate);
  // costumes
  void (*costumeFadeInChore)(CosInstHandle instance, int chore, int milliseconds);
  void (*costumeFadeOutChore)(CosInstHandle instance, int chore, int milliseconds);
  // render module and overlays
  int (*renderGetCameraActor)(void);
  int (*renderPickWorldPoint)(int column, int row, qxVector3* out);
  int (*renderIntersectSegmentTriangle)(qxVector3* out, const qxVector3* v0, const qxVector3* v1,
                                        const qxVector3* v2, const qxVector3* p,
                                        const qxVector3* q);
  void (*renderForceRefresh)(void);
  void (*renderSetResolutionScaling)(float scaling);
  void (*renderSetAdvancedLighting)(int enabled);
  int (*renderIsHardwareAccelerated)(void);
  void (*overlaySetVirtualScreenAspect)(float aspect);
};

drevLuaCalls& drevLua_Calls(void);
void drevLua_SetCalls(const drevLuaCalls* calls);
void drevLua_ResetCalls(void);
