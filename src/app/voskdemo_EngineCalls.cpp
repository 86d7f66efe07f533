// The program's rows for the engine's and the music script's tables of
// calls, and the engine's module table: the engine core, the set module and
// the music script reach the modules above them only through these.
#include "app/voskdemo.h"

#include "actors/drevActor.h"
#include "actors/drevCostume.h"
#include "chore/costume.h"
#include "engine/Pathfinder.h"
#include "engine/Res.h"
#include "engine/WalkPlane.h"
#include "engine/drevDialogLog.h"
#include "engine/drevMain.h"
#include "engine/drevMain_Save.h"
#include "engine/drevResource.h"
#include "engine/drevRoom.h"
#include "engine/drevTime.h"
#include "engine/hotspots.h"
#include "gfx/kv_RenderContext.h"
#include "melos/Melos.h"
#include "melos/MelosScript.h"
#include "melos/Sounds.h"
#include "platform/kv_Registry.h"
#include "presentation/TextFont.h"
#include "presentation/drevCommentary.h"
#include "presentation/drevControl.h"
#include "presentation/drevMouse.h"
#include "presentation/drevOverlay.h"
#include "presentation/drevPrimitive.h"
#include "presentation/drevRender.h"
#include "presentation/drevText.h"
#include "quadrix/qxPrimitive.h"
#include "render/HardwareOverlay.h"
#include "script/drevLua.h"
#include "script/runtime/lua31.h"
#include "std/std.h"
#include "std/stdCompress.h"
#include "std/stdFileUtil.h"
#include "std/stdMemory.h"
#include "vembra/drevTolve.h"

namespace {

// The fixed module table: group A is initialised and started first.
const ModuleTableEntry kGroupA[kModuleGroupSize] = {
    {FileUtil_SysInitialize, "FileUtil_SysInitialize"},
    {Memory_SysInitialize, "Memory_SysInitialize"},
    {drevRoom_Initialize, "drevRoom_Initialize"},
    {drevTime_Initialize, "drevTime_Initialize"},
    {drevLua_Initialize, "drevLua_Initialize"},
    {drevCostume_Initialize, "drevCostume_Initialize"},
    {drevActor_Initialize, "drevActor_Initialize"},
    {drevResource_Initialize, "drevResource_Initialize"},
    {drevCommentary_Initialize, "drevCommentary_Initialize"},
};
const ModuleTableEntry kGroupB[kModuleGroupSize] = {
    {drevControl_Initialize, "drevControl_Initialize"},
    {SoundsInitialize, "SoundsInitialize"},
    {drevRender_Initialize, "drevRender_Initialize"},
    {drevText_Initialize, "drevText_Initialize"},
    {drevPrimitive_Initialize, "drevPrimitive_Initialize"},
    {drevTolve_Initialize, "drevTolve_Initialize"},
    {drevOverlay_Initialize, "drevOverlay_Initialize"},
    {drevDialogLog_Initialize, "drevDialogLog_Initialize"},
    {drevMouse_Initialize, "drevMouse_Initialize"},
};

uint64_t PhysicalMemory() {
  return std_GetPhysicalMemory();
}

void SoundsConfig(const int v[12]) {
  Sounds_SetConfig(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10], v[11]);
}

void ForgetShadowMaterial() {
  drevCostume_pShadowMaterial = nullptr;
}
void CollectGarbage() {
  lua_collectgarbage(0);
}

void ResourcesReleased() {
  kv_Platform_OnResourcesReleased();
  stdCompress_FlushCache();
}

// Calls the script global `name` with (argument or nil, nil).
void CallScriptGlobal(const char* name, const char* argument) {
  if (argument)
    lua_pushstring(argument);
  else
    lua_pushnil();
  lua_pushnil();
  lua_callfunction(lua_getglobal(name));
}

// The chore library's transfer function takes a 32-bit length.
SaveTransferFn gCosTransfer = nullptr;
int CosTransfer(void* data, uint32_t length) {
  return gCosTransfer(data, length);
}
int CosSave(SaveTransferFn write) {
  gCosTransfer = write;
  return Cos_Save(CosTransfer);
}
int CosRestore(SaveTransferFn read) {
  gCosTransfer = read;
  return Cos_Restore(CosTransfer);
}

// The chore tool's actor: the selected one while it is in use.
int ToolActor() {
  const int index = drevActor_GetSelected();
  const Actor* actor = drevActor_FromIndex(index);
  return actor && actor->inUse ? index : -1;
}
int PushToolCostume(int index, void* costume) {
  const auto handle = static_cast<CosCostumeHandle>(reinterpret_cast<intptr_t>(costume));
  return drevActor_PushCostumeHandle(drevActor_FromIndex(index), handle);
}
void PopToolCostume(int index) {
  drevActor_PopCostume(drevActor_FromIndex(index), 0);
}

const char* ActorTopCostumeName(const Actor* actor) {
  if (!actor || !actor->costumeTop) return nullptr;
  const CosCostume* costume = Cos_InstGetCostume(actor->costumeTop->instance, nullptr);
  return costume ? costume->name : nullptr;
}

void OverlaySetVisibility(int id, int visibility) {
  if (OverlayEntry* overlay = drevOverlay_Manager_FindOverlay(drevOverlay_GetManager(), id))
    overlay->visibility = visibility;
}
void OverlayRaiseLayer(int id, int levels) {
  if (OverlayEntry* overlay = drevOverlay_Manager_FindOverlay(drevOverlay_GetManager(), id))
    overlay->layer += levels;
}
void OverlayDestroy(int id) {
  drevOverlay_Manager_DestroyOverlay(drevOverlay_GetManager(), id);
}

DisplayBuffer* DecompressionBuffer() {
  return drevRender_pDecompressionBuffer;
}
int ActorToIndex(const Actor* actor) {
  return drevActor_ToIndex(actor);
}

drevMainCalls EngineCalls() {
  drevMainCalls c{};
  c.physicalMemory = PhysicalMemory;
  c.soundsSetConfig = SoundsConfig;
  c.resourceSetBudget = drevResource_SetBudget;

  c.saveDispatch = drevMain_SaveDispatch;
  c.soundsUpdate = Sounds_Update;
  c.controlUpdate = drevControl_Update;
  c.timeUpdate = drevTime_Update;
  c.timeSetFrameMs = drevTime_SetFrameMs;
  c.timeFrameSeconds = drevTime_GetFrameSeconds;
  c.timeFrameMs = drevTime_GetFrameMs;
  c.luaUpdate = drevLua_Update;
  c.actorUpdateAll = drevActor_UpdateAll;
  c.commentaryUpdate = drevCommentary_Update;
  c.beginFrame = kv_Platform_BeginFrame;
  c.renderDrawFrame = drevRender_DrawFrame;
  c.melosSetState = Melos_SetState;

  c.registryReadFloat = kv_Registry_ReadFloat;
  c.renderDrawIris = drevRender_DrawIris;
  c.overlayFillBlack = drevOverlay_FillBlack;
  c.overlayDrawLayer = drevOverlay_DrawLayer;
  c.renderPresent = drevRender_Present;

  c.commentaryLoadDefinitions = [] { drevCommentary_LoadDefinitions(); };
  c.luaCallBoot = drevLua_CallBoot;
  c.renderCreateCameraActor = drevRender_CreateCameraActor;
  c.controlActivate = drevControl_Activate;
  c.controlDeactivate = [] { drevControl_Deactivate(); };
  c.renderFreeBuffers = drevRender_FreeBuffers;
  c.melosPause = [] { Melos_Pause(); };
  c.melosResume = [] { Melos_Resume(); };
  c.tolvePause = drevTolve_Pause;
  c.tolveCreateFrameBuffer = drevTolve_CreateFrameBuffer;
  c.tolveStart = drevTolve_Start;
  c.luaCallCamChangeHandler = drevLua_CallCamChangeHandler;
  c.luaCallUserPaintHandler = drevLua_CallUserPaintHandler;
  c.luaCallPauseHandler = drevLua_CallPauseHandler;
  c.luaCallCharacterHandler = drevLua_CallCharacterHandler;

  c.resourceGet = drevResource_Get;
  c.roomGetCurrent = drevRoom_GetCurrent;
  c.roomMakeCurrent = drevRoom_MakeCurrent;
  c.hotspotsLoadForSet = hotspots_LoadForSet;
  c.pathfinderInvalidate = Pathfinder_Invalidate;
  c.walkPlaneSelectSetSectors = WalkPlane_SelectSetSectors;
  c.renderSelectSetupCamera = drevRender_SelectSetupCamera;
  c.roomSetSoundParameters = drevRoom_SetSoundParameters;
  c.roomUpdatePositionalSounds = drevRoom_UpdatePositionalSounds;

  c.renderSetWaitTimerEnabled = drevRender_SetWaitTimerEnabled;
  c.melosStopAllSounds = [] { Melos_StopAllSounds(); };
  c.tolveStop = drevTolve_Stop;
  c.tolveUpdate = drevTolve_Update;
  c.resourceFreeAll = Res_FreeAll;
  c.resourceSetRestoring = drevResource_SetRestoring;
  c.forgetShadowMaterial = ForgetShadowMaterial;
  c.luaCollectGarbage = CollectGarbage;
  c.resourcesReleased = ResourcesReleased;
  c.luaRunSystemScript = drevLua_RunSystemScript;
  c.luaCallGlobal = CallScriptGlobal;

  c.cosSave = CosSave;
  c.cosRestore = CosRestore;
  c.luaSave = lua_Save;
  c.luaRestore = lua_Restore;
  c.luaDoFile = lua_dofile;
  c.luaSaveGameCallback = drevLua_SaveGameCallback;
  c.luaSetSaveStatus = drevLua_SetSaveStatus;
  c.luaSetInputMode = drevLua_SetInputMode;
  c.renderDrawProgressBar = drevRender_DrawProgressBar;
  c.renderPrepareSetup = drevRender_PrepareSetup;
  c.renderInvalidateRectAllBuffers = drevRender_InvalidateRectAllBuffers;
  c.overlaySetVirtualScreenAspect = Overlay_SetVirtualScreenAspect;

  c.actorGetNearbyBoxes = drevActor_GetNearbyActorBoxes;
  c.actorFromIndex = drevActor_FromIndex;
  c.actorToIndex = drevActor_ToIndex;
  c.projectPoint3 = qxPrimitive_ProjectPoint3;

  c.toolActor = ToolActor;
  c.luaCallCostumeOverrideHandler = drevLua_CallCostumeOverrideHandler;
  c.actorPushCostume = PushToolCostume;
  c.actorPopCostume = PopToolCostume;
  c.actorNew = drevActor_New;
  c.actorTableSerial = drevActor_GetTableSerial;
  c.actorSetCostume = drevActor_SetCostume;
  c.actorTopCostumeName = ActorTopCostumeName;
  c.actorSetFollowBoxes = drevActor_SetFollowBoxes;
  c.actorSetPosition = drevActor_SetPosition;
  c.actorSetRotation = drevActor_SetRotation;

  c.overlayGameToScreen = drevOverlay_GameToScreen;
  c.overlayScreenToGame = drevOverlay_ScreenToGame;
  c.overlayDestroy = OverlayDestroy;
  c.overlaySetVisibility = OverlaySetVisibility;
  c.overlayRaiseLayer = OverlayRaiseLayer;
  c.textDrawStringImmediate = drevText_DrawStringImmediate;
  c.textFontNew = TextFont_New;
  c.textFontFree = TextFont_Free;
  c.renderApplyGammaToPixels = drevRender_ApplyGammaToPixels;
  c.renderConvertPixel = drevRender_ConvertPixel;
  c.renderTickWaitTimer = drevRender_TickWaitTimer;
  return c;
}

drevRoomCalls RoomCalls() {
  drevRoomCalls c{};
  c.soundIsPlaying = Sounds_IsSoundPlaying;
  c.soundSetParam = Sounds_SetParam;
  c.soundFillStreams = Sounds_FillStreams;
  c.actorFromIndex = drevActor_FromIndex;
  c.actorToIndex = ActorToIndex;
  c.actorClearShadows = drevActor_ClearShadows;
  c.actorUpdateAll = drevActor_UpdateAll;
  c.renderInvalidateRect = drevRender_InvalidateRectAllBuffers;
  c.renderPrepareBackground = drevRender_PrepareBackground;
  c.renderDecompressionBuffer = DecompressionBuffer;
  return c;
}

MelosScriptCalls MusicScriptCalls() {
  MelosScriptCalls c{};
  c.getParam = Melos_GetParam;
  c.setParam = Melos_SetParam;
  c.fadeParam = Melos_FadeParam;
  c.setHook = Melos_SetHook;
  c.setTrigger = Melos_SetTrigger;
  c.switchStream = Melos_SwitchStream;
  c.serviceStreams = Melos_ServiceStreams;
  c.startStream = Melos_StartStream;
  c.stopAllSounds = Melos_StopAllSounds;
  c.nextSound = Melos_NextSound;
  c.pause = Melos_Pause;
  c.resume = Melos_Resume;
  return c;
}

}  // namespace

void voskdemo_InstallEngineCalls(void) {
  drevMain_InstallModuleTables(kGroupA, kGroupB);
  const drevMainCalls engine = EngineCalls();
  drevMain_SetCalls(&engine);
  const drevRoomCalls room = RoomCalls();
  drevRoom_SetCalls(&room);
  const MelosScriptCalls music = MusicScriptCalls();
  MelosScript_SetCalls(&music);
}
