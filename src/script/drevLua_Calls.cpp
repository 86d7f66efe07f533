// The table of calls out of the script-function families, set to the real
// functions of the neighbouring modules.
#include "script/drevLua_Calls.h"

#include "actors/drevCostume.h"
#include "engine/drevMain.h"
#include "engine/drevMain_Save.h"
#include "engine/drevRoom.h"
#include "melos/Melos.h"
#include "melos/Sounds.h"
#include "presentation/drevControl.h"
#include "presentation/drevMouse.h"
#include "presentation/drevRender.h"
#include "render/HardwareOverlay.h"
#include "vembra/drevTolve.h"
#include "video/MovieHD.h"

namespace {

drevLuaCalls MakeCalls() {
  drevLuaCalls c{};
  c.soundsStartSound = Sounds_StartSound;
  c.soundsStopSound = Sounds_StopSound;
  c.soundsGetParam = Sounds_GetParam;
  c.soundsSetParam = Sounds_SetParam;
  c.soundsFadeParam = Sounds_FadeParam;
  c.soundsStartVoice = Sounds_StartVoice;
  c.soundsStopVoice = Sounds_StopVoice;
  c.soundsSetVoiceEffect = Sounds_SetVoiceEffect;
  c.soundsGetMemoryFootprint = Sounds_GetMemoryFootprint;
  c.soundsGetSoundCacheSize = Sounds_GetSoundCacheSize;
  c.soundsFillStreams = Sounds_FillStreams;
  c.melosGroupVolume = Melos_GroupVolume;
  c.melosStopAllSounds = Melos_StopAllSounds;
  c.melosSetSequence = Melos_SetSequence;
  c.melosSetCuePoint = Melos_SetCuePoint;
  c.melosSetAttribute = Melos_SetAttribute;
  c.melosPause = Melos_Pause;
  c.melosResume = Melos_Resume;
  c.melosStartRecording = Melos_StartRecording;
  c.melosStopRecording = Melos_StopRecording;
  c.queueMusicState = drevMain_QueueMusicState;
  c.snapshotMelos = drevMain_SnapshotMelos;
  c.restoreMelosSnapshot = drevMain_RestoreMelosSnapshot;
  c.startMovie = drevMain_StartMovie;
  c.roomAddPositionalSound = drevRoom_AddPositionalSound;
  c.tolveStop = drevTolve_Stop;
  c.tolvePause = drevTolve_Pause;
  c.tolveIsPlaying = drevTolve_IsPlaying;
  c.movieIsActive = MovieHD_IsActive;
  c.movieIsRunning = MovieHD_IsRunning;
  c.mouseSetMovieCursor = drevMouse_SetMovieCursor;
  c.controlGetAxisClamped = drevControl_GetAxisClamped;
  c.costumeFadeInChore = drevCostume_FadeInChore;
  c.costumeFadeOutChore = drevCostume_FadeOutChore;
  c.renderGetCameraActor = drevRender_GetCameraActor;
  c.renderIntersectSegmentTriangle = drevRender_IntersectSegmentTriangle;
  c.renderPickWorldPoint = drevRender_PickWorldPoint;
  c.renderForceRefresh = drevRender_ForceRefresh;
  c.renderSetResolutionScaling = drevRender_SetResolutionScaling;
  c.renderSetAdvancedLighting = drevRender_SetAdvancedLighting;
  c.renderIsHardwareAccelerated = drevRender_IsHardwareAccelerated;
  c.overlaySetVirtualScreenAspect = Overlay_SetVirtualScreenAspect;
  return c;
}

drevLuaCalls g_calls = MakeCalls();

}  // namespace

drevLuaCalls& drevLua_Calls(void) {
  return g_calls;
}

void drevLua_ResetCalls(void) {
  g_calls = MakeCalls();
}
