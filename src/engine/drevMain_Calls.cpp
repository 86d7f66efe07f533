// The engine core's table of calls into its neighbouring modules, set to
// those modules' own functions.
#include "actors/drevActor.h"
#include "actors/drevCostume.h"
#include "chore/costume.h"
#include "engine/Pathfinder.h"
#include "engine/Res.h"
#include "engine/WalkPlane.h"
#include "engine/drevMain.h"
#include "engine/drevMain_Save.h"
#include "engine/drevResource.h"
#include "engine/drevRoom.h"
#include "engine/drevTime.h"
#include "engine/hotspots.h"
#include "gfx/kv_RenderContext.h"
#include "melos/Melos.h"
#include "melos/Sounds.h"
#include "platform/kv_Registry.h"
#include "presentation/drevCommentary.h"
#include "presentation/drevControl.h"
#include "presentation/drevOverlay.h"
#include "presentation/drevRender.h"
#include "quadrix/qxPrimitive.h"
#include "render/HardwareOverlay.h"
#include "script/drevLua.h"
#include "script/runtime/lua31.h"
#include "std/std.h"
#include "std/stdCompress.h"
#include "vembra/drevTolve.h"

namespace {

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

drevMainCalls DefaultCalls() {
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
  return c;
}

drevMainCalls gCalls = DefaultCalls();

}  // namespace

drevMainCalls& drevMain_Calls(void) {
  return gCalls;
}
void drevMain_ResetCalls(void) {
  gCalls = DefaultCalls();
}
void drevMain_SetPhysicalMemoryQuery(uint64_t (*query)(void)) {
  gCalls.physicalMemory = query ? query : PhysicalMemory;
}
