// The costume module: its life cycle (with the chore library as a nested
// module), the costume stack, the chore clock, the keyframe fades and the
// two costume script functions.
#include "actors/drevCostume.h"

#include <strings.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "actors/drevActor.h"
#include "actors/drevCostume_Internal.h"
#include "engine/ScriptHandles.h"
#include "engine/WalkPlane.h"
#include "engine/drevRoom.h"
#include "melos/Sounds.h"
#include "platform/kv_Log.h"
#include "quadrix/qxColormap.h"
#include "quadrix/qxKeyframe.h"
#include "quadrix/qxPuppet.h"
#include "quadrix/qxThing.h"
#include "std/stdCallTable.h"
#include "std/stdDisplay.h"
#include "std/stdMemory.h"
#include "vembra/drevTolve.h"

void* drevCostume_pShadowMaterial = nullptr;

namespace {

CostumeModule g;

stdCallTable<drevCostumeCalls> gCalls;

void Uninitialize() {
  drevCostume_Uninitialize();
}
int Startup() {
  return drevCostume_Startup();
}
void Shutdown() {
  drevCostume_Shutdown();
}

// The costume script functions.
const lua_Reg kScriptFunctions[] = {
    {"GetKeyLength", drevCostume_GetKeyLength},
    {"GetTolveLength", drevCostume_GetTolveLength},
};

CostumeThingData gEmptyThing{};

// The instance data of a keyframe component, or null when it has none.
CostumeKeyframeData* KeyframeData(CosInstHandle instance, int component) {
  uint32_t code = 0;
  const uintptr_t data = Cos_InstGetInstanceData(instance, component, &code);
  return code == kCostumeTagKeyframe && data ? reinterpret_cast<CostumeKeyframeData*>(data)
                                             : nullptr;
}

// The puppet track that plays the keyframe component's keyframe, or -1.
int FindKeyframeTrack(const CostumeKeyframeData* d, qxPuppet** puppet) {
  *puppet = nullptr;
  if (!d->modelData || !d->modelData->thing || !d->modelData->thing->puppet) return -1;
  if (!d->rKeyframe.valid) {
    drevCostume_Assert("Bad keyframe Reference", __LINE__);
    return -1;
  }
  qxPuppet* p = d->modelData->thing->puppet;
  *puppet = p;
  for (int t = 0; t < QXPUPPET_MAX_TRACKS; ++t) {
    if (p->tracks[t].status && p->tracks[t].keyframe == d->rKeyframe.object) return t;
  }
  return -1;
}

void FadeChore(CosInstHandle instance, int chore, int milliseconds, bool in) {
  if (chore < 0 || chore >= Cos_InstCountChores(instance)) return;
  const CosChore* record = Cos_InstChoreName(instance, chore);
  if (!record) return;
  for (int i = 0; i < record->numTracks; ++i) {
    CostumeKeyframeData* d = KeyframeData(instance, record->tracks[i].component);
    if (!d) continue;
    qxPuppet* puppet = nullptr;
    const int t = FindKeyframeTrack(d, &puppet);
    if (t < 0) continue;
    const float seconds = static_cast<float>(milliseconds) * 0.001f;
    if (in) {
      if (puppet->tracks[t].weight == 1.0f) puppet->tracks[t].weight = 0.0f;
      qxPuppet_FadeInTrack(puppet, t, seconds);
    } else {
      qxPuppet_FadeOutTrack(puppet, t, seconds);
    }
  }
}

}  // namespace

// ---- Shared state and helpers ----------------------------------------------------

CostumeModule& drevCostume_State(void) {
  return g;
}
drevCostumeCalls& drevCostume_Calls(void) {
  return gCalls.live;
}
void drevCostume_SetCalls(const drevCostumeCalls* calls) {
  gCalls.Install(calls);
}
void drevCostume_ResetCalls(void) {
  gCalls.Reset();
}

HostServices* drevCostume_Services(void) {
  return g.services ? g.services : std_pHS;
}

void* drevCostume_Alloc(size_t size, int line) {
  void* block = drevCostume_Services()->memAlloc(size, "drevCostume.cpp", line);
  if (block) {
    std::memset(block, 0, size);
  } else {
    kv_Log_Printf("[Costume] - out of memory for %zu bytes", size);
  }
  return block;
}

void drevCostume_Free(void* block) {
  if (block) drevCostume_Services()->memFree(block);
}

void drevCostume_Assert(const char* message, int line) {
  drevCostume_Services()->assertFail(message, "drevCostume.cpp", line);
}

int32_t drevCostume_RegisterThing(CostumeThingData* record) {
  for (size_t i = 0; i < g.thingRecords.size(); ++i) {
    if (!g.thingRecords[i]) {
      g.thingRecords[i] = record;
      return static_cast<int32_t>(i + 1);
    }
  }
  g.thingRecords.push_back(record);
  return static_cast<int32_t>(g.thingRecords.size());
}

void drevCostume_UnregisterThing(int32_t owner) {
  if (owner >= 1 && static_cast<size_t>(owner) <= g.thingRecords.size()) {
    g.thingRecords[static_cast<size_t>(owner) - 1] = nullptr;
  }
}

CostumeThingData* drevCostume_ThingFromOwner(int32_t owner) {
  if (owner < 1 || static_cast<size_t>(owner) > g.thingRecords.size()) return nullptr;
  return g.thingRecords[static_cast<size_t>(owner) - 1];
}

Actor* drevCostume_ActorOfInstance(CosInstHandle instance) {
  const intptr_t index = Cos_InstGetUserData(instance);
  if (index < 0 || index >= drevActor_GetRecordCount()) return nullptr;
  Actor* actor = drevActor_FromIndex(static_cast<int>(index));
  return actor && actor->inUse ? actor : nullptr;
}

void drevCostume_SplitName(const char* name, CostumeNameFields* out) {
  std::snprintf(out->copy, sizeof out->copy, "%s", name ? name : "");
  out->count = 0;
  char* p = out->copy;
  for (;;) {
    if (out->count < static_cast<int>(sizeof out->field / sizeof out->field[0])) {
      out->field[out->count++] = p;
    }
    char* comma = std::strchr(p, ',');
    if (!comma) break;
    *comma = '\0';
    p = comma + 1;
  }
}

int drevCostume_FieldInt(const CostumeNameFields& fields, int i, int fallback) {
  return i < fields.count ? std::atoi(fields.field[i]) : fallback;
}

bool drevCostume_ListValue(const int32_t* values, int count, int32_t key, int32_t* value) {
  if (key < 0 || key >= count) return false;
  *value = values[key];
  return true;
}

CostumeImageRecord* drevCostume_BuildRecords(int count) {
  drevCostume_Free(g.recordBuffer);
  g.recordBuffer = nullptr;
  if (count <= 0) return nullptr;
  g.recordBuffer = static_cast<CostumeImageRecord*>(
      drevCostume_Alloc(sizeof(CostumeImageRecord) * static_cast<size_t>(count), __LINE__));
  return g.recordBuffer;
}

void drevCostume_FillRecord(CostumeImageRecord* record, const DisplayBuffer* image) {
  if (!image) return;
  record->pixels = image->pixels ? 1u : 0u;
  record->width = image->format.width;
  record->height = image->format.height;
  record->one = 1;
}

CostumeThingData* drevCostume_EmptyThing(void) {
  gEmptyThing = CostumeThingData{};
  gEmptyThing.parentNode = -1;
  return &gEmptyThing;
}

// ---- Module ----------------------------------------------------------------------

int drevCostume_Initialize(HostServices* services, ModuleDescriptor* descriptor) {
  g.services = services;
  if (descriptor) {
    *descriptor = ModuleDescriptor{};
    descriptor->initialize = drevCostume_Initialize;
    descriptor->uninitialize = Uninitialize;
    descriptor->startup = Startup;
    descriptor->shutdown = Shutdown;
  }
  g.library = CosModuleDescriptor{};
  if (Cos_Initialize(services, &g.library) != 0) {
    kv_Log_Printf("[Costume] - the chore library would not initialise");
    return 1;
  }
  g.initialized = 1;
  return 0;
}

void drevCostume_Uninitialize(void) {
  g.services = nullptr;
  if (g.initialized) {
    g.initialized = 0;
    if (g.library.uninitialize) g.library.uninitialize();
  }
  if (g.shadowColormap) {
    qxColormap_Free(g.shadowColormap);
    g.shadowColormap = nullptr;
  }
  g.shadowColormapTried = 0;
}

int drevCostume_Startup(void) {
  if (g.started) return 1;
  if (!g.library.startup || g.library.startup() != 0) {
    kv_Log_Printf("[Costume] - the chore library would not start");
    return 1;
  }
  kv_Log_Printf("[Costume] - chore library started");
  g.nodePool = Memory_PoolCreate(sizeof(CostumeNode), 10, 2);
  const int tags = drevCostume_RegisterTags();
  kv_Log_Printf("[Costume] - %d component tags registered", tags);
  g.previousInstanceHook = Cos_RegisterInstanceHook(drevCostume_InstanceHook);
  g.previousSaveHook = Cos_RegisterSaveHook(drevCostume_WriteChoreList);
  lua_openlib(kScriptFunctions, sizeof kScriptFunctions / sizeof kScriptFunctions[0]);
  g.started = 1;
  drevCostume_LoadRequesterFolders();
  return 0;
}

void drevCostume_Shutdown(void) {
  drevCostume_StoreRequesterFolders();
  if (g.nodePool) Memory_PoolDestroy(g.nodePool);
  g.nodePool = nullptr;
  Cos_RegisterInstanceHook(g.previousInstanceHook);
  Cos_RegisterSaveHook(g.previousSaveHook);
  g.previousInstanceHook = nullptr;
  g.previousSaveHook = nullptr;
  drevCostume_Free(g.recordBuffer);
  g.recordBuffer = nullptr;
  if (g.library.shutdown) g.library.shutdown();
  g.thingRecords.clear();
  // The shadow material is a resource: it is gone once the resources are.
  drevCostume_pShadowMaterial = nullptr;
  g.started = 0;
}

int drevCostume_InstanceHook(CosInstHandle instance, int) {
  Cos_InstSetUserData(instance, 0);
  return 1;
}

// ---- Costume stack ---------------------------------------------------------------

CostumeNode* drevCostume_PushNode(CostumeNode* below, CosCostumeHandle costume,
                                  CosInstHandle instance) {
  auto* node = g.nodePool ? static_cast<CostumeNode*>(Memory_PoolAlloc(g.nodePool)) : nullptr;
  if (!node) {
    kv_Log_Printf("[Costume] - no costume node could be made");
    return below;
  }
  *node = CostumeNode{};
  for (int32_t& joint : node->headJoints) joint = -1;
  node->lookRate = 360.0f;
  node->headLimitA = 30.0f;
  node->headLimitB = 90.0f;
  node->viewConeCos = -0.35f;
  node->walkChore = node->restChore = node->mumbleChore = -1;
  node->turnChores[0] = node->turnChores[1] = -1;
  for (int32_t& chore : node->talkChores) chore = -1;
  node->next = below;

  if (instance) {
    node->instance = instance;
  } else {
    // The instance below as the initial user value lets model and sprite
    // components share their records with the same-named ones below.
    node->instance = Cos_CreateCosInstance(costume, below ? below->instance : 0);
    Res_AddRef(&node->rCostume, reinterpret_cast<void*>(static_cast<intptr_t>(costume)),
               "drevCostume.cpp", __LINE__);
  }
  node->mainModel = drevCostume_FindMainModel(node->instance);
  if (node->mainModel && below && below->mainModel == node->mainModel) {
    for (int i = 0; i < 3; ++i) node->headJoints[i] = below->headJoints[i];
    node->lookRate = below->lookRate;
    node->headLimitA = below->headLimitA;
    node->headLimitB = below->headLimitB;
    node->viewConeCos = below->viewConeCos;
    node->attached = below->attached;
  }
  const int count = Cos_InstCountComponents(node->instance);
  for (int k = 0; k < count; ++k) {
    uint32_t code = 0;
    const uintptr_t data = Cos_InstGetInstanceData(node->instance, k, &code);
    if (code != kCostumeTagMainModel && code != kCostumeTagModel && code != kCostumeTagSprite) {
      continue;
    }
    auto* record = reinterpret_cast<CostumeThingData*>(data);
    if (!record || !record->thing || record->refCount != 1) continue;
    record->next = node->attached;
    node->attached = record;
  }
  return node;
}

CostumeNode* drevCostume_PopNode(CostumeNode* top, int freeInstance) {
  if (!top) return nullptr;
  CostumeNode* below = top->next;
  Cos_InstStopChores(top->instance);
  top->next = nullptr;
  drevCostume_FreeNodes(top, freeInstance);
  return below;
}

CostumeNode* drevCostume_ReplaceNode(CostumeNode* top, CosCostumeHandle costume,
                                     CosInstHandle instance) {
  CostumeNode* below = top ? top->next : nullptr;
  if (top) {
    Cos_InstStopChores(top->instance);
    top->next = nullptr;
    drevCostume_FreeNodes(top, 1);
  }
  return drevCostume_PushNode(below, costume, instance);
}

void drevCostume_FreeNodes(CostumeNode* node, int freeInstance) {
  while (node) {
    CostumeNode* next = node->next;
    if (freeInstance && node->instance) Cos_FreeCosInstance(node->instance);
    if (node->rCostume.valid) Res_ReleaseRef(&node->rCostume);
    Memory_PoolFree(node);
    node = next;
  }
}

qxThing* drevCostume_FindMainModel(CosInstHandle instance) {
  const int count = Cos_InstCountComponents(instance);
  for (int k = 0; k < count; ++k) {
    uint32_t code = 0;
    const uintptr_t data = Cos_InstGetInstanceData(instance, k, &code);
    if (code == kCostumeTagMainModel) {
      return data ? reinterpret_cast<CostumeThingData*>(data)->thing : nullptr;
    }
  }
  return nullptr;
}

void drevCostume_ResetInstance(CosInstHandle instance) {
  Cos_InstStopChores(instance);
  const int count = Cos_InstCountComponents(instance);
  for (int k = 0; k < count; ++k) {
    uint32_t code = 0;
    const uintptr_t data = Cos_InstGetInstanceData(instance, k, &code);
    if (!data) continue;
    if (code == kCostumeTagMaterial) {
      reinterpret_cast<CostumeMaterialData*>(data)->frame = -1;
    } else if (code == kCostumeTagMainModel || code == kCostumeTagModel) {
      auto* record = reinterpret_cast<CostumeThingData*>(data);
      record->visible = record->parentRecord ? 0 : 1;
      qxPuppet* puppet = record->thing ? record->thing->puppet : nullptr;
      for (int t = 0; puppet && t < QXPUPPET_MAX_TRACKS; ++t) qxPuppet_RemoveTrack(puppet, t);
    }
  }
}

void drevCostume_UpdateChores(CostumeNode* top, float seconds) {
  if (!top || !std::isfinite(seconds)) return;
  const double milliseconds = static_cast<double>(seconds) * 1000.0;
  if (std::fabs(milliseconds) > 2147483647.0) return;
  const int step = static_cast<int>(std::lround(milliseconds));
  for (CostumeNode* n = top; n && n->mainModel == top->mainModel; n = n->next) {
    Cos_InstUpdateChores(n->instance, step);
  }
  for (CostumeThingData* r = top->attached; r; r = r->next) {
    if (r->thing && r->thing->puppet) {
      qxPuppet_UpdateTracks(r->thing->puppet, static_cast<float>(step) / 1000.0f);
    }
  }
}

void drevCostume_FadeInChore(CosInstHandle instance, int chore, int milliseconds) {
  FadeChore(instance, chore, milliseconds, true);
}

void drevCostume_FadeOutChore(CosInstHandle instance, int chore, int milliseconds) {
  FadeChore(instance, chore, milliseconds, false);
}

// ---- Script functions ------------------------------------------------------------

// GetKeyLength(keyframe): its length in milliseconds; nothing for anything
// but a keyframe handle on a valid reference with a frame rate.
void drevCostume_GetKeyLength(void) {
  const lua_Object o = lua_lua2C(1);
  if (!lua_isuserdata(o) || lua_tag(o) != kTagKeyframe) return;
  const auto* ref = static_cast<const ResourceRef*>(lua_getuserdata(o));
  if (!ref || !ref->valid || !ref->object) {
    kv_Log_Printf("[Costume] - GetKeyLength: Bad keyframe Reference");
    return;
  }
  const auto* keyframe = static_cast<const qxKeyframe*>(ref->object);
  if (!(keyframe->rate > 0.0f) || !std::isfinite(keyframe->rate)) return;
  lua_pushnumber(static_cast<float>(keyframe->frameCount) / keyframe->rate * 1000.0f);
}

// GetTolveLength(cutscene): the cutscene's length; nothing for any other argument.
void drevCostume_GetTolveLength(void) {
  const lua_Object o = lua_lua2C(1);
  if (!lua_isuserdata(o) || lua_tag(o) != kTagCutscene) return;
  const auto* name = static_cast<const char*>(lua_getuserdata(o));
  if (!name) return;
  lua_pushnumber(gCalls.live.tolveGetLength(name));
}
