// The script interface module: the core script-function table and the print
// functions. The table names every row; each family of script functions fills
// its own rows.
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>

#include "engine/LightMgr.h"
#include "engine/WalkPlane.h"
#include "engine/drevMain.h"
#include "presentation/drevRender.h"
#include "script/drevLua.h"
#include "script/drevLua_Rows.h"
#include "script/drevLua_Shadow.h"
#include "std/std.h"
#include "std/stdInput.h"

namespace {

constexpr const char* kCoreNames[kCoreFunctionCount] = {
    // script interface: print functions
    "PrintMessage",
    "PrintWarning",
    "PrintError",
    "PrintDebug",
    "PrintStack",
    "FunctionName",
    // system and engine
    "EnginePause",
    "EngineResume",
    "EngineDisplay",
    "GetPlatform",
    "Is3DHardwareEnabled",
    "exit",
    "EnableDebugKeys",
    "GetCurrentScript",
    "SpewStartup",
    "SpewShutdown",
    "PreRender",
    "EnableBackgroundRender",
    "ResetTextures",
    "GetMemoryUsage",
    "GetPhysicalBytes",
    "SetMemoryUsage",
    "DumpMemoryLog",
    "NukeResources",
    "DetachFromResources",
    "AttachToResources",
    "LockFont",
    "UnLockFont",
    "LockSound",
    "UnlockSound",
    "LockCostume",
    "UnlockCostume",
    "LoadCostume",
    "GetSystemTime",
    "GetTickCount",
    "GetDiskFreeSpace",
    "PerSecond",
    "RotateVector",
    "GetAngleBetweenVectors",
    "SetLanguage",
    "GetLanguage",
    "GetLanguageCount",
    "GetTextSpeed",
    "SetTextSpeed",
    // actor placement, walking and turning
    "LoadActor",
    "SetSelectedActor",
    "GetCameraActor",
    "PutActorAt",
    "PutActorAtInterest",
    "PutActorInSet",
    "PutActorAtOrigin",
    "WalkActorToInterest",
    "GetClippedPos",
    "DriveActorTo",
    "WalkActorForward",
    "WalkActorTo",
    "WalkActorToAvoiding",
    "WalkActorVector",
    "WalkActorToMouseTarget",
    "IsActorMoving",
    "IsActorTurning",
    "IsActorResting",
    "TurnActor",
    "TurnActorTo",
    "PointActorAt",
    "GetActorPos",
    "GetActorRot",
    "SetActorRot",
    "SetActorPitch",
    "SetActorRoll",
    "GetActorWalkRate",
    "GetActorTurnRate",
    "SetActorWalkRate",
    "SetActorTurnRate",
    "SetActorBWMode",
    "SetActorHKHackMode",
    "SetActorFollowBoxes",
    "ActorPuckOrient",
    "GetActorPuckVector",
    "GetActorYawToPoint",
    "SetWalkSystemFadeTime",
    // actor appearance, looking and queries
    "GetActorCostumeDepth",
    "GetActorCostume",
    "SetActorCostume",
    "PushActorCostume",
    "PopActorCostume",
    "PrintActorCostumes",
    "SetActorColormap",
    "SetActorVisibility",
    "SetActorFrustrumCull",
    "ShutUpActor",
    "ActorVoiceIs3D",
    "SetActorScale",
    "GetActorScale",
    "SetActorTimeScale",
    "GetActorTimeScale",
    "SetActorInvClipNode",
    "SetActorReflection",
    "SetActorHead",
    "ActorLookAt",
    "IsActorLooking",
    "SetActorLookRate",
    "GetActorLookRate",
    "CanActorSee",
    "GetVisibleThings",
    "GetActorRect",
    "GetActorNodeLocation",
    "GetAngleBetweenActors",
    "GetActorSector",
    "IsActorInSector",
    // sets, setups, sectors and walk boxes
    "MakeCurrentSet",
    "LockSet",
    "UnLockSet",
    "MakeCurrentSetup",
    "GetCurrentSetup",
    "GetPointSector",
    "IsPointInSector",
    "IsSectorActive",
    "MakeSectorActive",
    "GetSectorOppositeEdge",
    "GetSectorVertices",
    "SnapToPlane",
    "PathfinderMode",
    "BuildCache",
    "RestoreCache",
    "ShrinkBoxes",
    "UnShrinkBoxes",
    "GetShrinkPos",
    "TEST",
    // cameras and lights
    "GetCameraPosition",
    "GetCameraInterest",
    "GetCameraFOV",
    "GetCameraRoll",
    "SetCameraPosition",
    "SetCameraInterest",
    "SetCameraRoll",
    "SetCameraFOV",
    "GetCameraLookVector",
    "WorldToScreen",
    "ScreenToWorld",
    "SetAmbientLight",
    "FindLight",
    "TurnLightOn",
    "IsLightOn",
    "SetLightType",
    "GetLightType",
    "SetLightPosition",
    "GetLightPosition",
    "SetLightRotation",
    "GetLightRotation",
    "PointLightAt",
    "SetLightAngles",
    "GetLightAngles",
    "SetLightIntensity",
    "GetLightIntensity",
    // sound, music and movies
    "PlaySound",
    "PlaySoundAt",
    "PlaySoundAttached",
    "IsSoundPlaying",
    "SetSoundPosition",
    "SetSoundParameters",
    "GetSoundParameters",
    "StartFullscreenMovie",
    "StartMovie",
    "StopMovie",
    "PauseMovie",
    "IsMoviePlaying",
    "IsFullscreenMoviePlaying",
    "MelosStartSound",
    "play",
    "MelosStopSound",
    "MelosStopAllSounds",
    "quiet",
    "MelosGetParam",
    "MelosSetParam",
    "MelosFadeParam",
    "MelosGetMasterVol",
    "MelosGetSfxVol",
    "MelosGetVoiceVol",
    "MelosGetMusicVol",
    "MelosGetCommentaryVol",
    "MelosSetMasterVol",
    "MelosSetSfxVol",
    "MelosSetVoiceVol",
    "MelosSetMusicVol",
    "MelosSetCommentaryVol",
    "MelosStartVoice",
    "MelosStopVoice",
    "MelosSetState",
    "MelosSetSequence",
    "MelosSetCuePoint",
    "MelosSetAttribute",
    "MelosPause",
    "MelosResume",
    "MelosSetVoiceEffect",
    "vfx",
    "MelosGetMemoryFootprint",
    "MelosGetSoundCacheSize",
    "MelosStartRecording",
    "MelosStopRecording",
    "SaveMelos",
    "RestoreMelos",
    // save games, settings and files
    "Save",
    "Load",
    "Erase",
    "New",
    "GetSaveStatus",
    "JustLoaded",
    "StartCheckOfCrossSaveStatus",
    "GetCrossSaveStatus",
    "GlobalSaveResolved",
    "InitiateFindSaveGames",
    "GetFindSaveGameStatus",
    "FindSaveGames",
    "UnlockAchievement",
    "ResetAchievements",
    "AreAchievementsInstalled",
    "UnlockCutscene",
    "IsCutsceneUnlocked",
    "UnlockConcept",
    "IsConceptUnlocked",
    "WriteRegistryValue",
    "ReadRegistryValue",
    "ReadRegistryIntValue",
    "SaveRegistryToDisk",
    "FileFindFirst",
    "FileFindNext",
    "FileFindDispose",
    "CheckForFile",
    "FindFileOnAnyCD",
    "SearchForFileOrSwapCDs",
    "QueryDialog",
    "InputDialog",
    // input and key remapping
    "EnableControl",
    "DisableControl",
    "GetControlState",
    "SetMouseSpeedScale",
    "SetKeyMappingMode",
    "ResetKeyMappingToDefault",
    "GetRemappedKeyName",
    "GetRemappedKeyHint",
    "LoadRemappedKeys",
    "SaveRemappedKeys",
    // save-game data
    "SubmitSaveGameData",
    "GetSaveGameData",
    // actor shadows
    "ActorShadow",
    "ActivateActorShadow",
    "SetActorShadowPlane",
    "SetActorShadowPoint",
    "SetActiveShadow",
    "ActorDistToShadowPlane",
    "AddShadowPlane",
    "SetActorShadowValid",
    "KillActorShadows",
    "SetShadowColor",
    // actor chores
    "PlayActorChore",
    "PlayActorChoreLooping",
    "CompleteActorChore",
    "StopActorChore",
    "SetActorChoreLooping",
    "IsActorChoring",
    "GetActorChores",
    "GetActorLoopingChores",
    "SetActorWalkChore",
    "SetActorTurnChores",
    "SetActorRestChore",
    "SetActorMumblechore",
    "SetActorTalkChore",
    // dirty rectangles and screen caches
    "CacheRect",
    "RestoreCacheRect",
    "MarkDirtyRect",
    "CleanBuffer",
    "ForceRefresh",
    // iris, screenshots and images
    "SetGamma",
    "IrisDown",
    "IrisUp",
    "IrisComplete",
    "IrisClear",
    "DimScreen",
    "DimRegion",
    "Display",
    "ScreenShot",
    "SaveScreen",
    "GetSaveGameImage",
    "GetImage",
    "FreeImage",
    "BlastImage",
    "BlastRect",
    // render mode, object states, actor options and dialogue log
    "RenderModeUser",
    "GetGameRenderMode",
    "SetGameRenderMode",
    "SetResolutionScaling",
    "SetAdvancedLighting",
    "HardwareAccelerated",
    "LoadBundle",
    "UnloadBundle",
    "SetSpeechMode",
    "GetSpeechMode",
    "SetActorWalkDominate",
    "SetActorConstrain",
    "SetActorCollisionMode",
    "SetActorCollisionScale",
    "SetActorOffsetYaw",
    "SetActorClipActive",
    "SetActorClipPlane",
    "ActorToClean",
    "FadeOutChore",
    "FadeInChore",
    "NewObjectState",
    "FreeObjectState",
    "SendObjectToBack",
    "SendObjectToFront",
    "SetObjectType",
    "ResReport",
    "DialogLogGetLineCount",
    "DialogLogGetLine",
    "DialogLogAddLine",
    // camera setups and the light manager
    "NextSetup",
    "PreviousSetup",
    "LightMgrStartup",
    "LightMgrShutdown",
    "LightMgrSetChange",
    // input
    "FlushControls",
};

// The three second names of the core table and the rows they repeat.
constexpr std::pair<const char*, const char*> kSecondNames[] = {
    {"play", "MelosStartSound"}, {"quiet", "MelosStopAllSounds"}, {"vfx", "MelosSetVoiceEffect"}};

// ---- Print functions ----------------------------------------------------------

void PrintMessage() {
  lua_Object text = lua_lua2C(1);
  HostServices* hs = std_pHS;
  if (!hs || !hs->printStatus) return;
  if (lua_isnil(text)) {
    hs->printStatus("%s", "(nil)");
  } else if (lua_isstring(text)) {
    hs->printStatus("%s", lua_getstring(text));
  }
}

// Accept one string and print nothing.
void PrintQuiet() {}

void PrintStack() {
  lua_printstack(0);
}

void FunctionName() {
  lua_Object function = lua_lua2C(1);
  if (!lua_isfunction(function)) return;
  const char* source = "";
  int line = 0;
  lua_funcinfo(function, &source, &line);
  const char* name = "";
  const char* kind = lua_getobjname(function, &name);
  std::string kindWord = "unnamed function";
  std::string nameWord = "<unknown>";
  if (kind && kind[0] == 'g') {
    kindWord = "function";
    nameWord = name;
  } else if (kind && kind[0] == 't') {
    kindWord = "tag method";
    nameWord = name;
  }
  const std::string text = kindWord + " '" + nameWord + "' (" + (source ? source : "") + ":" +
                           std::to_string(line) + ")\n";
  lua_pushstring(text.c_str());
}

// ---- Sectors -------------------------------------------------------------------

// GetPointSector(x, y, z, mask): the id, name and type of the first sector of
// the mask holding the point; a nil mask means WALK, an absent one matches nothing.
void GetPointSector() {
  const lua_Object x = lua_lua2C(1), y = lua_lua2C(2), z = lua_lua2C(3), mask = lua_lua2C(4);
  if (!lua_isnumber(x) || !lua_isnumber(y) || !lua_isnumber(z)) {
    lua_pushnil();
    return;
  }
  uint32_t typeMask = SECTOR_WALK;
  if (!lua_isnil(mask)) {
    const float value = lua_getnumber(mask);
    typeMask =
        std::fabs(value) < 2147483648.0f ? static_cast<uint32_t>(static_cast<int32_t>(value)) : 0;
  }
  const qxVector3 point{lua_getnumber(x), lua_getnumber(y), lua_getnumber(z)};
  drevLua_PushSector(WalkPlane_FindSectorAtPoint(&point, typeMask));
}

// ---- Sets and camera setups -----------------------------------------------------

void NextSetup() {
  drevMain_NextSetup();
}
void PreviousSetup() {
  drevMain_PreviousSetup();
}

// MakeCurrentSet(name): a string enters that set; any other value leaves the
// current set.
void MakeCurrentSet() {
  lua_Object name = lua_lua2C(1);
  if (lua_isstring(name)) {
    stdInput_ClearKeyEvents();
    drevMain_SetCurrentSet(lua_getstring(name));
  } else {
    drevMain_SetCurrentSet(nullptr);
  }
}

// MakeCurrentSetup(index): the index is taken modulo the setup count.
void MakeCurrentSetup() {
  stdInput_ClearKeyEvents();
  drevMain_SelectSetup(static_cast<int>(lua_getnumber(lua_lua2C(1))));
}

const std::pair<const char*, lua_CFunc> kBuilt[] = {
    {"NextSetup", NextSetup},
    {"PreviousSetup", PreviousSetup},
    {"MakeCurrentSet", MakeCurrentSet},
    {"MakeCurrentSetup", MakeCurrentSetup},
    {"LightMgrStartup", LightMgrStartup},
    {"LightMgrShutdown", LightMgrShutdown},
    {"LightMgrSetChange", LightMgrSetChange},
    {"GetPointSector", GetPointSector},
    {"PrintMessage", PrintMessage},
    {"PrintWarning", PrintQuiet},
    {"PrintError", PrintQuiet},
    {"PrintDebug", PrintQuiet},
    {"PrintStack", PrintStack},
    {"FunctionName", FunctionName},
    // actor shadows
    {"ActorShadow", drevLua_ActorShadow},
    {"ActivateActorShadow", drevLua_ActivateActorShadow},
    {"SetActorShadowPlane", drevLua_SetActorShadowPlane},
    {"SetActorShadowPoint", drevLua_SetActorShadowPoint},
    {"SetActiveShadow", drevLua_SetActiveShadow},
    {"ActorDistToShadowPlane", drevLua_ActorDistToShadowPlane},
    {"AddShadowPlane", drevLua_AddShadowPlane},
    {"SetActorShadowValid", drevLua_SetActorShadowValid},
    {"KillActorShadows", drevLua_KillActorShadows},
    {"SetShadowColor", drevLua_SetShadowColor},
};

int IndexOf(const char* name) {
  for (int i = 0; i < kCoreFunctionCount; ++i) {
    if (std::strcmp(kCoreNames[i], name) == 0) return i;
  }
  return -1;
}

std::array<lua_Reg, kCoreFunctionCount> BuildCoreTable() {
  // A row no family fills keeps a null function, which registers nothing.
  std::array<lua_Reg, kCoreFunctionCount> table{};
  for (int i = 0; i < kCoreFunctionCount; ++i) table[i] = {kCoreNames[i], nullptr};
  for (const auto& [name, function] : kBuilt) table[IndexOf(name)].func = function;
  for (auto rows : {drevLua_SystemRows(), drevLua_InputRows(), drevLua_KeyMappingRows(),
                    drevLua_SaveGameDataRows(), drevLua_SaveFileRows(), drevLua_ChoreRows(),
                    drevLua_ActorRows(), drevLua_ActorLookRows(), drevLua_SetRows(),
                    drevLua_CameraRows(), drevLua_SoundRows(), drevLua_RenderModeRows()}) {
    for (const lua_Reg& row : rows) table[IndexOf(row.name)].func = row.func;
  }
  // The render module's rows.
  int renderCount = 0;
  const lua_Reg* render = drevRender_GetScriptFunctions(&renderCount);
  for (int i = 0; i < renderCount; ++i) table[IndexOf(render[i].name)].func = render[i].func;
  for (const auto& [second, first] : kSecondNames) {
    table[IndexOf(second)].func = table[IndexOf(first)].func;
  }
  return table;
}

const std::array<lua_Reg, kCoreFunctionCount> g_coreTable = BuildCoreTable();

}  // namespace

const lua_Reg* drevLua_GetCoreTable(void) {
  return g_coreTable.data();
}
