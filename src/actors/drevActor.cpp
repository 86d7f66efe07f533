// Actors: the module, the actor table and the small table operations.
#include "actors/drevActor.h"

#include <cstring>

#include "actors/drevActor_Internal.h"
#include "actors/drevCostume.h"
#include "engine/Res.h"
#include "engine/WalkPlane.h"
#include "engine/drevResource.h"
#include "engine/drevRoom.h"
#include "melos/Melos.h"
#include "melos/Sounds.h"
#include "platform/kv_Log.h"
#include "quadrix/qxThing.h"
#include "script/drevLua.h"
#include "std/std.h"

namespace {

ActorModule g;

drevActorCalls DefaultCalls() {
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
  return c;
}
drevActorCalls gCalls = DefaultCalls();

HostServices* Services() {
  return g.services ? g.services : std_pHS;
}

void* Allocate(size_t size, int line) {
  void* p = Services()->memAlloc(size, "drevActor.cpp", line);
  if (p) std::memset(p, 0, size);
  return p;
}

// Adds a zeroed block of records; null when the allocation fails.
Actor* AddBlock(int count) {
  Actor* block = static_cast<Actor*>(Allocate(sizeof(Actor) * count, __LINE__));
  if (!block) return nullptr;
  g.blocks.push_back(block);
  g.recordCount += count;
  return block;
}

void ForEachRecord(void (*f)(Actor*)) {
  for (int i = 0; i < g.recordCount; ++i) f(drevActor_FromIndex(i));
}

// Everything drevActor_Free and shutdown take from a record.
void Teardown(Actor* a) {
  if (!a->inUse) return;
  if (a->setName[0]) gCalls.roomRemoveActorFromSet(a->setName, a);
  drevActor_ClearShadows(a);
  if (a->costumeTop) drevCostume_FreeNodes(a->costumeTop, 0);
  a->costumeTop = nullptr;
  if (a->pExtra) {
    drevActor_DeleteWalkFrame(a);
    Services()->memFree(a->pExtra);
    a->pExtra = nullptr;
  }
  if (a->colormapRef) {
    Res_ReleaseRef(a->colormapRef);
    Services()->memFree(a->colormapRef);
  }
  std::memset(a, 0, sizeof *a);
  --g.inUseCount;
}

// Gives the costume's new top node the actor's index and its frustum-cull flag.
int TakeNewTop(Actor* actor, CostumeNode* top) {
  actor->costumeTop = top;
  if (!top) return 0;
  Cos_InstSetUserData(top->instance, drevActor_ToIndex(actor));
  const int cull = (actor->flags & ACTOR_NO_FRUSTUM_CULL) ? 0 : 1;
  for (CostumeThingData* r = top->attached; r; r = r->next) {
    if (r->thing && r->thing->type == QXTHING_MODEL) r->thing->frustumTest = cull;
  }
  return 1;
}

// The costume of that name, or 0 when no name is given; -1 when it does not load.
int LookUpCostume(const char* name, int instance, CosCostumeHandle* costume) {
  *costume = 0;
  if (!name || instance) return 0;
  void* object = drevResource_Get("COST", name);
  if (!object) return -1;
  *costume = static_cast<CosCostumeHandle>(reinterpret_cast<intptr_t>(object));
  return 0;
}

void Uninitialize() {
  drevActor_Uninitialize();
}
int Startup() {
  return drevActor_Startup();
}
void Shutdown() {
  drevActor_Shutdown();
}

}  // namespace

ActorModule& drevActor_State(void) {
  return g;
}
drevActorCalls& drevActor_Calls(void) {
  return gCalls;
}
void drevActor_ResetCalls(void) {
  gCalls = DefaultCalls();
}

void drevActor_Assert(const char* message, int line) {
  Services()->assertFail(message, "drevActor.cpp", line);
}

// ---- Module ----------------------------------------------------------------------

int drevActor_Initialize(HostServices* services, ModuleDescriptor* descriptor) {
  g.services = services;
  g.initialized = 1;
  for (int& slot : g.talking) slot = -1;
  if (descriptor) {
    descriptor->initialize = drevActor_Initialize;
    descriptor->uninitialize = Uninitialize;
    descriptor->startup = Startup;
    descriptor->shutdown = Shutdown;
    descriptor->save = drevActor_Save;
    descriptor->restore = drevActor_Restore;
  }
  return 0;
}

void drevActor_Uninitialize(void) {
  g.services = nullptr;
  g.initialized = 0;
}

int drevActor_Startup(void) {
  if (!g.blocks.empty()) return 1;
  if (!AddBlock(ACTOR_TABLE_START)) {
    kv_Log_Printf("[Actor] - the actor table could not be allocated");
    return 1;
  }
  g.started = 1;
  ++g.tableSerial;
  kv_Log_Printf("[Actor] - actor table started with %d records", g.recordCount);
  return 0;
}

void drevActor_Shutdown(void) {
  ForEachRecord(Teardown);
  for (Actor* block : g.blocks) Services()->memFree(block);
  g.blocks.clear();
  g.recordCount = 0;
  g.inUseCount = 0;
  g.talkingCount = 0;
  for (int& slot : g.talking) slot = -1;
  g.selected = -1;
  g.collisionCount = 0;
  g.stuckFill = 0;
  g.boxRepeat = 0;
  g.started = 0;
}

// ---- Table -----------------------------------------------------------------------

int drevActor_New(int occlusion, int sectorWalker) {
  if (g.blocks.empty()) {
    kv_Log_Printf("[Actor] - drevActor_New: the actor table is not started");
    return -1;
  }
  int index = -1;
  for (int i = 0; i < g.recordCount && index < 0; ++i) {
    if (!drevActor_FromIndex(i)->inUse) index = i;
  }
  if (index < 0) {
    // The talking slots and the selection are indexes, so they stay valid.
    const int first = g.recordCount;
    if (!AddBlock(ACTOR_TABLE_GROWTH)) {
      drevActor_Assert("actor table growth failed", __LINE__);
      return -1;
    }
    index = first;
  }
  Actor* a = drevActor_FromIndex(index);
  ++g.inUseCount;
  std::memset(a, 0, sizeof *a);
  a->transformValid = 1;
  qxMatrix34_Identity(&a->transform);
  a->scale = 1.0f;
  a->colormapRef = static_cast<ResourceRef*>(Allocate(sizeof(ResourceRef), __LINE__));
  a->inUse = 1;
  if (occlusion) a->flags |= ACTOR_OCCLUSION;
  if (sectorWalker) a->flags |= ACTOR_SECTOR_WALKER;
  return index;
}

void drevActor_Free(Actor* actor) {
  if (actor) Teardown(actor);
}

Actor* drevActor_FromIndex(int index) {
  if (index < 0 || index >= g.recordCount) return nullptr;
  if (index < ACTOR_TABLE_START) return &g.blocks[0][index];
  const int rest = index - ACTOR_TABLE_START;
  return &g.blocks[1 + rest / ACTOR_TABLE_GROWTH][rest % ACTOR_TABLE_GROWTH];
}

int drevActor_ToIndex(const Actor* actor) {
  if (!actor) return -1;
  int first = 0;
  for (size_t b = 0; b < g.blocks.size(); ++b) {
    const int size = b == 0 ? ACTOR_TABLE_START : ACTOR_TABLE_GROWTH;
    const Actor* start = g.blocks[b];
    if (actor >= start && actor < start + size) return first + static_cast<int>(actor - start);
    first += size;
  }
  return -1;
}

int drevActor_GrowTable(int records) {
  while (g.recordCount < records) {
    if (!AddBlock(g.blocks.empty() ? ACTOR_TABLE_START : ACTOR_TABLE_GROWTH)) return 0;
  }
  return 1;
}

int drevActor_GetRecordCount(void) {
  return g.recordCount;
}
int drevActor_GetInUseCount(void) {
  return g.inUseCount;
}

void drevActor_CreateExtra(Actor* actor) {
  if (!actor || actor->pExtra) {
    drevActor_Assert("pActor && !pActor->pExtra", __LINE__);
    return;
  }
  ActorExtra* e = static_cast<ActorExtra*>(Allocate(sizeof(ActorExtra), __LINE__));
  actor->pExtra = e;
  if (!e) {
    drevActor_Assert("pActor->pExtra", __LINE__);
    return;
  }
  e->walkRate = 0.4f;
  e->turnRate = 135.0f;
  e->reflectionAngle = 60.0f;
  e->collisionScale = 1.0f;
  e->clipNormal = {0, 0, 1};
  e->timeScale = 1.0f;
  e->talkColor = 0xFFFFFF;
  e->invClipNode = -1;
}

const qxMatrix34* drevActor_GetTransform(Actor* actor) {
  if (!actor->transformValid) {
    qxMatrix34_Build(&actor->transform, &actor->rotation, &actor->position);
    actor->transformValid = 1;
  }
  return &actor->transform;
}

int drevActor_SetSelected(int index) {
  const int previous = g.selected;
  if (index >= 0 && index < g.recordCount) g.selected = index;
  return previous;
}
int drevActor_GetSelected(void) {
  return g.selected;
}

uint32_t drevActor_GetTableSerial(void) {
  return g.tableSerial;
}

Actor* drevActor_FirstNavigator(void) {
  for (int i = 0; i < g.recordCount; ++i) {
    Actor* a = drevActor_FromIndex(i);
    if (a->inUse && !(a->flags & ACTOR_SECTOR_WALKER)) return a;
  }
  return nullptr;
}

int drevActor_CountFlaggedActors(void) {
  int count = 0;
  for (int i = 0; i < g.recordCount; ++i) {
    const Actor* a = drevActor_FromIndex(i);
    if (a->inUse && (a->flags & ACTOR_OCCLUSION)) ++count;
  }
  return count;
}

int drevActor_GetFlaggedActorTransform(int n, float out[12]) {
  for (int i = 0; i < g.recordCount; ++i) {
    const Actor* a = drevActor_FromIndex(i);
    if (!a->inUse || !(a->flags & ACTOR_OCCLUSION)) continue;
    if (n-- > 0) continue;
    qxMatrix34 m;
    qxMatrix34_BuildRotate(&m, &a->rotation);
    const float s = a->scale * 0.35f;
    const qxVector3* rows[3] = {&m.x, &m.y, &m.z};
    for (int r = 0; r < 3; ++r) {
      out[r * 3 + 0] = rows[r]->x * s;
      out[r * 3 + 1] = rows[r]->y * s;
      out[r * 3 + 2] = rows[r]->z * s;
    }
    out[9] = a->position.x;
    out[10] = a->position.y;
    out[11] = a->position.z;
    return 1;
  }
  return 0;
}

int drevActor_SetFrustumCull(Actor* actor, int on) {
  if (!actor) return 0;
  if (on) {
    actor->flags &= ~ACTOR_NO_FRUSTUM_CULL;
  } else {
    actor->flags |= ACTOR_NO_FRUSTUM_CULL;
  }
  if (actor->costumeTop) {
    for (CostumeThingData* r = actor->costumeTop->attached; r; r = r->next) {
      if (r->thing && r->thing->type == QXTHING_MODEL) r->thing->frustumTest = on;
    }
  }
  return 0;
}

int drevActor_SetCostume(Actor* actor, const char* costumeName, int instance) {
  if (!actor) return 0;
  CosCostumeHandle costume = 0;
  if (LookUpCostume(costumeName, instance, &costume) < 0) return 0;
  return TakeNewTop(actor, drevCostume_ReplaceNode(actor->costumeTop, costume, instance));
}

int drevActor_PushCostume(Actor* actor, const char* costumeName, int instance) {
  if (!actor) return 0;
  CosCostumeHandle costume = 0;
  if (LookUpCostume(costumeName, instance, &costume) < 0) return 0;
  return TakeNewTop(actor, drevCostume_PushNode(actor->costumeTop, costume, instance));
}

int drevActor_PushCostumeHandle(Actor* actor, CosCostumeHandle costume) {
  if (!actor || !costume) return 0;
  return TakeNewTop(actor, drevCostume_PushNode(actor->costumeTop, costume, 0));
}

void drevActor_PopCostume(Actor* actor, int freeInstance) {
  if (!actor || !actor->costumeTop) return;
  actor->costumeTop = drevCostume_PopNode(actor->costumeTop, freeInstance);
}

void drevActor_FreeAllCostumes(void) {
  for (int i = 0; i < g.recordCount; ++i) {
    Actor* a = drevActor_FromIndex(i);
    if (!a->inUse || !a->costumeTop) continue;
    drevCostume_FreeNodes(a->costumeTop, 1);
    a->costumeTop = nullptr;
  }
}

int drevActor_GetTalkingSlot(int slot) {
  return slot >= 0 && slot < ACTOR_TALK_SLOTS ? g.talking[slot] : -1;
}
void drevActor_SetTalkingSlot(int slot, int actorIndex) {
  if (slot >= 0 && slot < ACTOR_TALK_SLOTS) g.talking[slot] = actorIndex;
}

// ---- Shared helpers ---------------------------------------------------------------

qxModel3* drevActor_MainModel(const Actor* actor) {
  const CostumeNode* top = actor ? actor->costumeTop : nullptr;
  if (!top || !top->mainModel || top->mainModel->type != QXTHING_MODEL) return nullptr;
  return static_cast<qxModel3*>(top->mainModel->object);
}
