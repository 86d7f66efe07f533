// The program's rows for the upper modules' tables of calls: the 3D library's
// rasterizer, the render back ends, the render module, the commentary, the
// actors and their costumes, the script functions, the cutscene glue, the
// high-definition movies and the deferred back end's scene. Each of those
// tables starts empty; these are the neighbours' own functions (and the small
// adapters between them).
#include <cstdint>

#include "actors/drevActor.h"
#include "actors/drevCostume.h"
#include "app/voskdemo.h"
#include "engine/ObjectState.h"
#include "engine/Res.h"
#include "engine/WalkPlane.h"
#include "engine/drevMain.h"
#include "engine/drevMain_Save.h"
#include "engine/drevRoom.h"
#include "engine/drevTime.h"
#include "engine/hotspots.h"
#include "gfx/kv_RenderContext.h"
#include "gfx/kv_RenderTarget.h"
#include "gfx/kv_Shader.h"
#include "gfx/kv_Surface.h"
#include "melos/Melos.h"
#include "melos/Sounds.h"
#include "platform/kv_Language.h"
#include "platform/kv_Platform.h"
#include "platform/kv_PlatformFile.h"
#include "platform/kv_Registry.h"
#include "platform/kv_RenderHooks.h"
#include "platform/kv_Thread.h"
#include "presentation/TextFont.h"
#include "presentation/drevCommentary.h"
#include "presentation/drevControl.h"
#include "presentation/drevMouse.h"
#include "presentation/drevOverlay.h"
#include "presentation/drevPrimitive.h"
#include "presentation/drevRender.h"
#include "presentation/drevText.h"
#include "quadrix/qxCache.h"
#include "quadrix/qxCamera.h"
#include "quadrix/qxCore.h"
#include "quadrix/qxPrimitive.h"
#include "quadrix/qxRasterizer.h"
#include "raster/qxRaster.h"
#include "raster/qxSpanRaster.h"
#include "render/DeferredScene.h"
#include "render/HardwareBackend.h"
#include "render/HardwareOverlay.h"
#include "render/RenderHost.h"
#include "script/drevLua.h"
#include "script/drevLua_Calls.h"
#include "std/stdDisplay.h"
#include "std/stdInput.h"
#include "vembra/drevTolve.h"
#include "video/KineVideoManager.h"
#include "video/MovieHD.h"
#include "video/kvaudio_AudioInterface.h"

namespace {

// ---- The 3D library's rasterizer ------------------------------------------------------

void InstallRasterizer() {
  constexpr qxRasterizerCalls kCalls = {
      qxRaster_Open,          qxRaster_Startup,          qxSpanRaster_ResetStats,
      qxCache_DrawFaceDirect, qxCache_DrawFaceZBuffered, qxCache_DrawProceduralFace,
      qxSpanRaster_Reset,     qxSpanRaster_Run,
  };
  qxRasterizer_SetCalls(&kCalls);
}

// ---- The render back ends -------------------------------------------------------------

DisplayBuffer* DisplayRaster() {
  return drevRender_pDisplayRaster;
}
DisplayBuffer* ZRaster() {
  return drevRender_pZRaster;
}
DisplayBuffer* CleanZBuffer() {
  return drevRender_pCleanZBuffer;
}

int ReadTextObject(TextObject* object, TextObjectDrawInfo* info) {
  return drevText_GetTextObjectDrawInfo(object, &info->text, &info->x, &info->y, nullptr, nullptr,
                                        &info->foreground, nullptr, nullptr, &info->fontData,
                                        &info->justification, &info->firstLine, &info->lineCount,
                                        &info->wrapWidth, &info->verticalAnchor, &info->alpha);
}

void InstallRenderHost() {
  RenderHostCalls c{};
  c.displayRaster = DisplayRaster;
  c.zRaster = ZRaster;
  c.cleanZBuffer = CleanZBuffer;
  c.isInitialized = drevRender_IsInitialized;
  c.resolutionScaling = drevRender_GetResolutionScaling;
  c.gamma = drevRender_GetGamma;
  c.advancedLighting = drevRender_GetAdvancedLighting;
  c.irisState = drevRender_GetIrisState;
  c.readTextObject = ReadTextObject;
  c.drawTextObject = drevText_DrawTextObject;
  RenderHost_SetCalls(&c);
}

// ---- The render module ----------------------------------------------------------------

int TolveCreateFrameBuffer(DisplayBuffer*) {
  return drevTolve_CreateFrameBuffer(1);
}

void DiscardFrame() {
  qxCache_Reset();
  qxCore_EndAcceleratedFrame();
  qxCore_CancelFrame();
}

int DebugKeysEnabled() {
  const kvEngineKeyHooks* hooks = kv_Platform_GetEngineKeyHooks();
  return hooks && hooks->debugKeysEnabled ? hooks->debugKeysEnabled() : 0;
}

int ReadKey(int code) {
  return stdInput_ReadKey(code, nullptr, nullptr, nullptr);
}

int Line3(const qxVector3* a, const qxVector3* b, int colour, int pattern) {
  return qxPrimitive_DrawLine3(a, b, nullptr, nullptr, nullptr, nullptr, colour, pattern);
}

void InstallRender() {
  drevRenderCalls c{};
  c.roomGetCurrent = drevRoom_GetCurrent;
  c.roomGetSetupBackground = drevRoom_GetSetupBackground;
  c.roomGetSetupZBuffer = drevRoom_GetSetupZBuffer;
  c.objectStateLoadImages = ObjectState_LoadImages;
  c.objectStatePrepare = ObjectState_Prepare;
  c.objectStateDraw = ObjectState_Draw;
  c.actorFromIndex = drevActor_FromIndex;
  c.actorNew = drevActor_New;
  c.actorUpdateTalking = drevActor_UpdateTalking;
  c.costumeDraw = drevCostume_Draw;
  c.textDrawPass = drevText_DrawPass;
  c.textSuspendDrawing = drevText_SuspendDrawing;
  c.textResumeDrawing = drevText_ResumeDrawing;
  c.overlayDrawLayer = drevOverlay_DrawLayer;
  c.overlayFillBlack = drevOverlay_FillBlack;
  c.mouseUpdateCursor = drevMouse_UpdateCursor;
  c.mouseCursorMovieEnabled = drevMouse_IsMovieCursorEnabled;
  c.hotspotsDrawDebug = hotspots_DrawDebug;
  c.primitiveDrawPass = drevPrimitive_DrawPass;
  c.tolveCreateFrameBuffer = TolveCreateFrameBuffer;
  c.tolveUpdate = drevTolve_Update;
  c.movieHDIsActive = MovieHD_IsActive;
  c.callUserPaint = drevMain_CallUserPaint;
  c.callPostCamChangeHandler = drevLua_CallPostCamChangeHandler;
  c.startFrame = qxCore_StartFrame;
  c.finishFrame = qxCore_FinishFrame;
  c.discardFrame = DiscardFrame;
  c.frameSeconds = drevTime_GetFrameSeconds;
  c.totalMs = drevTime_GetTotalMs;
  c.setFrameMs = drevTime_SetFrameMs;
  c.debugKeysEnabled = DebugKeysEnabled;
  c.readKey = ReadKey;
  c.lineHook = Line3;
  c.circleHook = qxPrimitive_DrawCircle3;
  c.rectHook = qxPrimitive_DrawRect2;
  drevRender_SetCalls(&c);
}

// ---- The commentary -------------------------------------------------------------------

// The strip overlay: the image at (0, 0) in mode 2, no mirror, no cache,
// flags 0, sized to width x height.
int CreateStrip(const char* image, int layer, int width, int height) {
  OverlayManager* manager = drevOverlay_GetManager();
  const int id = drevOverlay_Manager_CreateOverlay(manager, image, 0, 0, layer, 2, 0, 0, 0);
  if (OverlayEntry* e = drevOverlay_Manager_FindOverlay(manager, id)) {
    e->width = width;
    e->height = height;
  }
  return id;
}

void DestroyOverlay(int id) {
  drevOverlay_Manager_DestroyOverlay(drevOverlay_GetManager(), id);
}

void NotifyScripts(int playing) {
  drevLua_CallNotifyCommentary(playing);
}

void InstallCommentary() {
  drevCommentaryCalls c{};
  c.startSound = Sounds_StartSound;
  c.stopSound = Sounds_StopSound;
  c.soundParam = Sounds_GetParam;
  c.groupVolume = Melos_GroupVolume;
  c.movieActive = MovieHD_IsActive;
  c.setMovieDucking = MovieHD_SetCommentaryDuck;
  c.translate = drevText_TranslateText;
  c.createText = drevText_Create;
  c.registerText = drevText_Register;
  c.destroyText = drevText_Destroy;
  c.lineCount = TextCache_GetLineCount;
  c.lineValues = TextCache_GetLineValues;
  c.createStrip = CreateStrip;
  c.destroyOverlay = DestroyOverlay;
  c.notifyScripts = NotifyScripts;
  c.readSetting = kv_Registry_ReadInt;
  drevCommentary_SetCalls(&c);
}

// ---- The actors -----------------------------------------------------------------------

void HideText(TextObject* object) {
  object->state |= TEXT_HIDDEN;
}

int64_t TextSavedId(const TextObject* object) {
  return object->savedId;
}

void ShowPalette(const uint8_t* palette) {
  if (drevRenderPaletteHook hook = drevRender_GetPaletteHook()) hook(palette, 0);
}

void InstallActor() {
  drevActorCalls c{};
  c.roomGetCurrent = drevRoom_GetCurrent;
  c.roomGetSetActors = drevRoom_GetSetActors;
  c.roomRemoveActorFromSet = drevRoom_RemoveActorFromSet;
  c.callCollisionHandler = drevLua_CallCollisionHandler;
  c.costumeDrawShadow = drevCostume_DrawShadow;
  c.costumeSetShadowColor = drevCostume_SetShadowColor;
  c.soundStartSpeech = Sounds_StartSpeechSound;
  c.soundStartVoice = Sounds_StartVoice;
  c.soundSetParam = Sounds_SetParam;
  c.soundStop = Sounds_StopSound;
  c.soundStopVoice = Sounds_StopVoice;
  c.soundIsPlaying = Sounds_IsSoundPlaying;
  c.soundLipSyncShape = Sounds_GetLipSyncShape;
  c.melosGetParam = Melos_GetParam;
  c.roomAddPositionalSound = drevRoom_AddPositionalSound;
  c.textTranslate = drevText_TranslateText;
  c.textMakeSayLine = drevText_MakeSayLineObject;
  c.textRegister = drevText_Register;
  c.textDestroy = drevText_Destroy;
  c.textHide = HideText;
  c.textFindBySavedId = drevText_FindBySavedId;
  c.textSavedId = TextSavedId;
  c.renderCleanBuffer = drevRender_GetCleanBuffer;
  c.renderCleanZBuffer = drevRender_GetCleanZBuffer;
  c.renderShowPalette = ShowPalette;
  drevActor_SetCalls(&c);
}

// ---- The costumes ---------------------------------------------------------------------

void InstallCostume() {
  drevCostumeCalls c{};
  c.soundIsPlaying = Sounds_IsSoundPlaying;
  c.soundStart = Sounds_StartSound;
  c.soundStartVoice = Sounds_StartVoice;
  c.soundSetParam = Sounds_SetParam;
  c.soundStop = Sounds_StopSound;
  c.soundStopVoice = Sounds_StopVoice;
  c.soundSetHook = Sounds_SetHook;
  c.roomGetCurrent = drevRoom_GetCurrent;
  c.roomGetSoundParameters = drevRoom_GetSoundParameters;
  c.roomAddPositionalSound = drevRoom_AddPositionalSound;
  c.startMovie = drevMain_StartMovie;
  c.tolveGetLength = drevTolve_GetLength;
  c.invalidateRect = drevRender_InvalidateRect;
  c.applyGammaToPixels = drevRender_ApplyGammaToPixels;
  c.intersectLinePlane = drevRender_IntersectLinePlane;
  c.sectorClipPolygon = Sector_ClipPolygon;
  c.renderDisplayRaster = DisplayRaster;
  c.callMarkerHandler = drevLua_CallCostumeMarkerHandler;
  drevCostume_SetCalls(&c);
}

// ---- The script functions -------------------------------------------------------------

void InstallScript() {
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
  drevLua_SetCalls(&c);
}

// ---- The cutscene glue ----------------------------------------------------------------

const BufferFormat* DisplayFormat(int fullScreen) {
  if (!fullScreen) return &stdDisplay_backBuffer.format;
  const VideoMode* mode = stdDisplay_GetVideoMode(0);  // the display's one mode
  return mode ? &mode->format : nullptr;
}
DisplayBuffer* BackBuffer(void) {
  return &stdDisplay_backBuffer;
}
int CurrentGameState(void) {
  return GameState;
}

void InstallCutscene() {
  drevTolveCalls c{};
  c.movieStart = MovieHD_Start;
  c.movieUpdate = MovieHD_Update;
  c.movieStop = MovieHD_Stop;
  c.movieIsActive = MovieHD_IsActive;
  c.movieIsRunning = MovieHD_IsRunning;
  c.movieClipTime = MovieHD_GetLastClipTime;
  c.movieOnStopRequest = MovieHD_OnStopRequest;
  c.movieOnPlayerStart = MovieHD_OnCutscenePlayerStart;
  c.movieOnPlayerStop = MovieHD_OnCutscenePlayerStop;
  c.gammaTable = drevRender_GammaTable;
  c.invalidateRect = drevRender_InvalidateRectAllBuffers;
  c.displayFormat = DisplayFormat;
  c.backBuffer = BackBuffer;
  c.findLooseFile = Res_FindLooseFile;
  c.readSetting = kv_Registry_ReadString;
  c.gameState = CurrentGameState;
  drevTolve_SetCalls(&c);
}

// ---- The high-definition movies -------------------------------------------------------

KineVideoClip* CreateClip(KineVideoManager* manager, const char* path, int outputMode,
                          int precachedFrames, int powerOfTwoStride, uint32_t audioTrack) {
  return manager->CreateClip(path, outputMode, precachedFrames, powerOfTwoStride != 0, audioTrack);
}

int AudioFinished(KineVideoClip* clip) {
  auto* bridge = dynamic_cast<kvaudio_AudioInterface*>(clip->GetAudioInterface());
  return bridge && bridge->IsFinished() ? 1 : 0;
}

void BackBufferSize(int* width, int* height) {
  kvRenderTarget* colour = nullptr;
  kv_Platform_GetBackBuffer(&colour, nullptr);
  *width = *height = 0;
  if (colour) kv_RenderTarget_GetInfo(colour, width, height, nullptr);
}

void OverlayAdd(const DrawRecord* record) {
  if (HardwareOverlayBucket) RenderBucket_Add(HardwareOverlayBucket, record);
}

void InstallMovie() {
  MovieHDCalls c{};
  c.getTicks = kv_Platform_GetTicks;
  c.readFloat = kv_Registry_ReadFloat;
  c.languageGet = kv_Language_Get;
  c.isNoFmv = voskdemo_IsNoFmv;
  c.fileExists = kv_Platform_FileExists;
  c.createClip = CreateClip;
  c.audioFinished = AudioFinished;
  c.surfaceAllocate = kv_Surface_Allocate;
  c.surfaceLock = kv_Surface_Lock;
  c.surfaceUnlock = kv_Surface_Unlock;
  c.surfaceRelease = kv_Surface_Release;
  c.surfaceGetInfo = kv_Surface_GetInfo;
  c.backBufferSize = BackBufferSize;
  c.isWidescreen = kv_RenderHooks_IsWidescreen;
  c.shaderLoad = kv_Shader_Load;
  c.getGamma = drevRender_GetGamma;
  c.fillBlack = HardwareOverlay_FillBlack;
  c.overlayAdd = OverlayAdd;
  MovieHD_SetCalls(&c);
}

// ---- The deferred back end's scene ----------------------------------------------------

static_assert(DeferredScene_SetupNameSize == kRoomNameSize, "setup names fit the set's buffer");

kvVector3F Vector(const qxVector3& v) {
  return {v.x, v.y, v.z};
}

int GetDeferredLight(int index, uint32_t type, DeferredLightInfo* out) {
  qxVector3 position = {}, inner = {}, outer = {};
  qxMatrix34 box = {};
  float parameters[6] = {};
  uint32_t castsShadow = 0, quality = 0, setupFlag = 0;
  float bias = 0, softness = 0, sizeX = 0, sizeY = 0, sizeZ = 0, shadowNear = 0, range = 0;
  const int result = drevRoom_GetDeferredLight(
      index, type, &position, &box, &inner, &outer, parameters, &castsShadow, &quality, &bias,
      &softness, &sizeX, &sizeY, &sizeZ, &shadowNear, &range, &setupFlag);
  if (!out) return result;
  *out = DeferredLightInfo{};
  out->position = Vector(position);
  kv_Matrix4_FromMatrix34(box, &out->transform);
  out->innerColour = Vector(inner);
  out->outerColour = Vector(outer);
  out->shadingBias = parameters[0];
  out->shadingEnd = parameters[1];
  out->innerRadius = parameters[2];
  out->falloffPower = parameters[3];
  out->verticalInnerRadius = parameters[4];
  out->verticalFalloffPower = parameters[5];
  out->castsShadow = static_cast<int>(castsShadow);
  out->shadowQuality = static_cast<int>(quality);
  out->shadowBias = bias;
  out->shadowSoftness = softness;
  out->sizeX = sizeX;
  out->sizeY = sizeY;
  out->sizeZ = sizeZ;
  out->shadowNear = shadowNear;
  out->shadowRange = range;
  out->setupFlag = setupFlag;
  return result;
}

void GetCurrentSetupName(char buffer[DeferredScene_SetupNameSize]) {
  drevRoom_GetCurrentSetupName(buffer);
}

const void* CurrentCamera(void) {
  return qxCore_pCurrentCamera;
}
void GetCameraWorldMatrix(qxMatrix34* out) {
  qxCamera_GetWorldMatrix(out);
}

void GetCameraViewMatrix(qxMatrix34* out) {
  qxCamera_GetViewMatrix(out);
}

float GetFocalFactor(void) {
  float values[10] = {};
  qxCamera_GetProjectionParams(&values[0], &values[1], &values[2], &values[3], &values[4],
                               &values[5], &values[6], &values[7], &values[8], &values[9]);
  return values[5];
}

int GetCutsceneLight(int index, DeferredCutsceneLight* out) {
  int type = -1;
  qxVector3 position = {}, direction = {}, colour = {};
  float a1 = 0, a2 = 0, cosInner = 0, cosOuter = 0;
  if (!drevRoom_GetCutsceneLight(index, &type, &position, &direction, &colour, &a1, &a2, &cosInner,
                                 &cosOuter)) {
    return 0;
  }
  if (out) {
    *out = {type, Vector(position), Vector(direction), Vector(colour), a1, a2, cosInner, cosOuter};
  }
  return 1;
}

int GetShadowCaster(int index, uint32_t type, qxMatrix34* box) {
  return drevRoom_GetShadowCaster(index, type, nullptr, box);
}

int GetZShape(int index, uint32_t kind, uint32_t code, uint32_t* value, qxMatrix34* box) {
  return drevRoom_GetZShape(index, kind, code, value, nullptr, box);
}

int FindNearestResolvePoint(DeferredResolveSettings* out) {
  qxVector3 white = {}, black = {};
  float minimum = 0, maximum = 0, power = 0, strength = 0;
  if (!drevRoom_FindNearestResolvePoint(&white, &black, &minimum, &maximum, &power, &strength)) {
    return 0;
  }
  if (out) *out = {Vector(white), Vector(black), minimum, maximum, power, strength};
  return 1;
}

int GetFlaggedActorTransform(int n, qxMatrix34* out) {
  float m[12] = {};
  if (!drevActor_GetFlaggedActorTransform(n, m)) return 0;
  if (out) {
    out->x = {m[0], m[1], m[2]};
    out->y = {m[3], m[4], m[5]};
    out->z = {m[6], m[7], m[8]};
    out->t = {m[9], m[10], m[11]};
  }
  return 1;
}

void GetDrawListActorBounds(int index, kvVector3F* position, float* halfHeight) {
  qxVector3 p = {};
  float h = 0.0f;
  if (index >= 0) drevRender_GetDrawListActorBounds(static_cast<unsigned>(index), &p, &h);
  if (position) *position = Vector(p);
  if (halfHeight) *halfHeight = h;
}

void AnimateLights(void) {
  drevRoom_AnimateLights();
}

qxVector3 Q(const kvVector3F& v) {
  return {v.x, v.y, v.z};
}

void AddDynamicLight(const DeferredDynamicLight& l) {
  const qxVector3 position = Q(l.position), rotation = Q(l.rotation), size = Q(l.halfSize);
  const qxVector3 innerA = Q(l.innerA), outerA = Q(l.outerA), innerB = Q(l.innerB),
                  outerB = Q(l.outerB);
  const float shape[6] = {l.shadingBias,  l.shadingEnd,          l.innerRadius,
                          l.falloffPower, l.verticalInnerRadius, l.verticalFalloffPower};
  const float shadow[4] = {l.shadowBias, l.shadowSoftness, l.shadowNear, l.shadowRange};
  drevRoom_AddDynamicLight(l.name, l.type, &position, &rotation, &size, shape, l.animationMode,
                           l.animationRate, &innerA, &outerA, l.intensityA, &innerB, &outerB,
                           l.intensityB, l.castsShadow, l.shadowQuality, shadow);
}

void InstallDeferredScene() {
  constexpr DeferredSceneCalls kCalls = {
      &drevRoom_CountDeferredLights,
      &GetDeferredLight,
      &drevRoom_SelectSetupLights,
      &drevRoom_SetDeferredLightEnabled,
      &GetCurrentSetupName,
      &drevRoom_CountShadowCasters,
      &CurrentCamera,
      &GetCameraWorldMatrix,
      &GetCameraViewMatrix,
      &GetFocalFactor,
      &drevRoom_CountCutsceneLights,
      &GetCutsceneLight,
      &drevRoom_CountFlaggedDeferredLights,
      &GetShadowCaster,
      &drevRoom_CountZShapes,
      &GetZShape,
      &FindNearestResolvePoint,
      &drevRoom_IsInvSet,
      &drevActor_CountFlaggedActors,
      &GetFlaggedActorTransform,
      &drevRender_GetDrawListCount,
      &GetDrawListActorBounds,
      &AnimateLights,
      &drevRoom_SetLightGroup,
      &AddDynamicLight,
      &drevRoom_IsLightOnByName,
  };
  DeferredScene_SetCalls(&kCalls);
}

}  // namespace

void voskdemo_InstallModuleCalls(void) {
  InstallRasterizer();
  InstallRenderHost();
  InstallRender();
  InstallCommentary();
  InstallActor();
  InstallCostume();
  InstallScript();
  InstallCutscene();
  InstallMovie();
  InstallDeferredScene();
}
