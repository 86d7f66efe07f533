// The actors' "ACTS" block of a save game: every actor record in use, its
// costume stack bottom first (re-created from the costumes' names and
// refilled from the chore library's instance states), the animation state of
// the top costume's models, the extra block with path, talk state and
// shadows, and the selected actor.
//
// The block has no length field: writer and reader agree field by field,
// every value little-endian. Resource and text identities are the 32-bit
// serials their modules hand out, widened to 8 bytes by sign extension. A
// restore checks every count and index against the table and its limits and
// fails the load (which then rolls back) rather than trusting them.
#include <cstring>
#include <vector>

#include "actors/drevActor.h"
#include "actors/drevActor_Internal.h"
#include "actors/drevCostume.h"
#include "chore/costume.h"
#include "engine/Res.h"
#include "engine/WalkPlane.h"
#include "engine/drevResource.h"
#include "engine/drevRoom.h"
#include "platform/kv_Log.h"
#include "platform/stdByteOrder.h"
#include "quadrix/qxKeyframe.h"
#include "quadrix/qxModel3.h"
#include "quadrix/qxPuppet.h"
#include "quadrix/qxThing.h"
#include "std/std.h"

namespace {

// Limits of a block the restore accepts, and that a save keeps to.
constexpr uint32_t kMaxTableSize = 4096;
constexpr uint32_t kMaxCostumeDepth = 32;
constexpr int kTrackNameSize = 32;

// The transfer function of the block in progress, and the chore library's
// view of it (its length is 32 bits).
SaveTransferFn gTransfer = nullptr;
int CosTransfer(void* data, uint32_t length) {
  return gTransfer(data, length);
}

// ---- Writing ---------------------------------------------------------------------

struct Writer {
  SaveTransferFn write;
  bool ok = true;

  void Bytes(const void* data, size_t length) {
    if (ok && write(const_cast<void*>(data), length) != 0) ok = false;
  }
  void U32(uint32_t v) {
    uint8_t b[4];
    stdLE_PutU32(b, v);
    Bytes(b, 4);
  }
  void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
  void F32(float v) {
    uint32_t u;
    std::memcpy(&u, &v, 4);
    U32(u);
  }
  // A 32-bit identity widened to 64 bits by sign extension.
  void Identity(uint32_t id) {
    U32(id);
    U32(static_cast<int32_t>(id) < 0 ? 0xFFFFFFFFu : 0u);
  }
  void Vector(const qxVector3& v) {
    F32(v.x);
    F32(v.y);
    F32(v.z);
  }
  // A fixed-size text field: its bytes up to the terminator, then zeros.
  void Text(const char* text, size_t size) {
    std::vector<char> field(size, 0);
    if (text) std::strncpy(field.data(), text, size);
    Bytes(field.data(), size);
  }
};

// The serial a resource is saved under, 0 for an invalid reference.
uint32_t RefIdentity(const ResourceRef* ref) {
  return ref && ref->valid ? Res_SavedIdOf(ref->object) : 0;
}

void WriteRecordWords(Writer& w, const Actor* a) {
  w.U32(a->flags);
  w.U32(a->state);
  w.Vector(a->position);
  w.Vector(a->previousPosition);
  w.Vector(a->rotation);
  w.F32(a->scale);
  w.I32(a->transformValid);
  const float* m = &a->transform.x.x;
  for (int i = 0; i < 12; ++i) w.F32(m[i]);
  w.I32(a->drawn);
  for (int v : a->screenRect) w.I32(v);
}

bool WriteNode(Writer& w, const CostumeNode* n) {
  w.U32(static_cast<uint32_t>(n->instance));
  w.U32(0);
  for (int j : n->headJoints) w.I32(j);
  w.F32(n->lookRate);
  w.F32(n->headLimitA);
  w.F32(n->headLimitB);
  w.F32(n->viewConeCos);
  w.I32(n->walkChore);
  w.I32(n->turnChores[0]);
  w.I32(n->turnChores[1]);
  w.I32(n->restChore);
  for (int c : n->talkChores) w.I32(c);
  w.I32(n->mumbleChore);
  if (!n->rCostume.valid) {
    kv_Log_Printf("[Actor] - save failed: a costume node without a costume (Valid_Ref)");
    return false;
  }
  w.Identity(RefIdentity(&n->rCostume));
  if (!w.ok) return false;
  gTransfer = w.write;
  if (Cos_SaveInstance(n->instance, CosTransfer) != 0) {
    kv_Log_Printf("[Actor] - save failed: a costume instance would not save");
    return false;
  }
  return w.ok;
}

bool WriteAttached(Writer& w, const CostumeNode* top) {
  uint32_t m = 0;
  for (const CostumeThingData* r = top->attached; r; r = r->next) ++m;
  w.U32(m);
  for (const CostumeThingData* r = top->attached; r; r = r->next) {
    w.I32(r->visible);
    w.I32(r->resolveParentOffset);
    w.I32(r->parentNode);
    const qxThing* thing = r->thing;
    if (thing && thing->type == QXTHING_MODEL) {
      if (!r->rModel.valid) {
        kv_Log_Printf("[Actor] - save failed: Bad model Reference");
        return false;
      }
      const auto* model = static_cast<const qxModel3*>(thing->object);
      const int nodes = model ? model->nodeCount : 0;
      for (int i = 0; i < nodes; ++i) w.I32(thing->drawFlags ? thing->drawFlags[i] : 1);
    }
    const qxPuppet* puppet = thing ? thing->puppet : nullptr;
    uint32_t t = 0;
    for (int i = 0; puppet && i < QXPUPPET_MAX_TRACKS; ++i) t += puppet->tracks[i].status != 0;
    w.U32(t);
    for (int i = 0; puppet && i < QXPUPPET_MAX_TRACKS; ++i) {
      const qxPuppetTrack& track = puppet->tracks[i];
      if (!track.status) continue;
      w.Text(track.keyframe ? track.keyframe->name : "", kTrackNameSize);
      w.I32(track.lowPriority);
      w.I32(track.highPriority);
      w.U32(track.status);
      w.F32(track.currentTime);
      w.F32(track.previousTime);
      w.F32(track.weight);
      w.F32(track.fadeRate);
    }
  }
  return w.ok;
}

void WriteExtra(Writer& w, Actor* a) {
  ActorExtra* e = a->pExtra;
  w.Vector(e->lookTarget);
  w.I32(e->walkRequested);
  w.I32(e->turnRequested);
  w.I32(e->resting);
  w.F32(e->walkRate);
  w.F32(drevActor_SignedTurnRate(e));
  w.I32(e->turnDone);
  w.F32(e->yawOffset);
  w.F32(e->yawToGo);
  w.Vector(e->waypoint);
  w.Vector(e->destination);
  w.I32(e->pathCount);
  for (const qxVector3& p : e->path) w.Vector(p);
  w.I32(e->pathIndex);
  w.Identity(e->walkFrame ? 1u : 0u);
  w.I32(e->followBoxes);
  w.I32(e->walkDominate);
  w.F32(e->reflectionAngle);
  w.I32(e->talking);
  w.Identity(static_cast<uint32_t>(e->voiceSound));
  w.I32(e->talkTimeLeft);
  w.Bytes(e->lineId, sizeof e->lineId);
  w.Bytes(e->speechName, sizeof e->speechName);
  w.Identity(e->sayLineText ? static_cast<uint32_t>(drevActor_Calls().textSavedId(e->sayLineText))
                            : 0u);
  w.I32(e->lipSync);
  w.I32(e->activeShadow);
  w.I32(e->collisionMode);
  w.F32(e->collisionScale);
  w.I32(e->collided);
  w.I32(e->clipActive);
  w.Vector(e->clipNormal);
  w.Vector(e->clipPoint);
  w.U32(e->talkColor);
  w.F32(e->timeScale);
  w.I32(e->invClipNode);
  // Shadows name their clip sectors, which only a current set can hold.
  if (!drevActor_Calls().roomGetCurrent()) drevActor_ClearShadows(a);
  for (const ShadowSlot& s : e->shadows) {
    w.I32(s.active);
    w.I32(s.side);
    for (float p : s.plane) w.F32(p);
    w.Vector(s.light);
    uint32_t k = 0;
    for (const Sector* clip : s.clips) k += clip != nullptr;
    w.U32(k);
    for (const Sector* clip : s.clips) {
      if (clip) w.Bytes(clip->name, SECTOR_NAME_SIZE);
    }
  }
}

// ---- Reading ---------------------------------------------------------------------

struct Reader {
  SaveTransferFn read;
  const char* failure = nullptr;

  bool ok() const { return failure == nullptr; }
  void Fail(const char* reason) {
    if (!failure) failure = reason;
  }
  void Bytes(void* data, size_t length) {
    if (!ok()) {
      std::memset(data, 0, length);
      return;
    }
    if (read(data, length) != 0) Fail("the block ends early");
  }
  uint32_t U32() {
    uint8_t b[4];
    Bytes(b, 4);
    return stdLE_GetU32(b);
  }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  float F32() {
    const uint32_t u = U32();
    float v;
    std::memcpy(&v, &u, 4);
    return v;
  }
  // The low word of an 8-byte identity.
  uint32_t Identity(uint32_t* high = nullptr) {
    const uint32_t low = U32();
    const uint32_t h = U32();
    if (high) *high = h;
    return low;
  }
  qxVector3 Vector() {
    qxVector3 v;
    v.x = F32();
    v.y = F32();
    v.z = F32();
    return v;
  }
  // A fixed-size text field, kept terminated.
  void Text(char* out, size_t size) {
    Bytes(out, size);
    out[size - 1] = 0;
  }
};

void ReadRecordWords(Reader& r, Actor* a) {
  a->flags = r.U32();
  a->state = r.U32();
  a->position = r.Vector();
  a->previousPosition = r.Vector();
  a->rotation = r.Vector();
  a->scale = r.F32();
  a->transformValid = r.I32();
  float* m = &a->transform.x.x;
  for (int i = 0; i < 12; ++i) m[i] = r.F32();
  a->drawn = r.I32();
  for (int& v : a->screenRect) v = r.I32();
}

// One saved costume node, as read before its costume is worn again.
struct SavedNode {
  int32_t headJoints[3];
  float settings[4];
  int32_t chores[4];
  int32_t talkChores[kCostumeTalkChores];
  int32_t mumbleChore;
};

bool ReadNode(Reader& r, Actor* a, bool first) {
  SavedNode n{};
  r.Identity();  // the saved instance handle is not used
  for (int& j : n.headJoints) j = r.I32();
  for (float& s : n.settings) s = r.F32();
  for (int& c : n.chores) c = r.I32();
  for (int& c : n.talkChores) c = r.I32();
  n.mumbleChore = r.I32();
  uint32_t high = 0;
  const uint32_t id = r.Identity(&high);
  if (!r.ok()) return false;
  void* object = Res_FindBySavedId(id, high);
  const CosCostume* costume =
      object
          ? CosUtil_PtrFromHandle(static_cast<CosCostumeHandle>(reinterpret_cast<intptr_t>(object)))
          : nullptr;
  if (!costume) {
    r.Fail("Bad costume Reference");
    return false;
  }
  // A temporary reference keeps the costume while the node is made.
  ResourceRef hold{};
  RES_ADDREF(&hold, object);
  char name[sizeof costume->name + 1] = {};
  std::memcpy(name, costume->name, sizeof costume->name);
  const int worn = first ? drevActor_SetCostume(a, name, 0) : drevActor_PushCostume(a, name, 0);
  CostumeNode* top = a->costumeTop;
  if (!worn || !top) {
    Res_ReleaseRef(&hold);
    r.Fail("the costume could not be worn again");
    return false;
  }
  gTransfer = r.read;
  if (Cos_RestoreInstance(top->instance, CosTransfer) != 0) r.Fail("the costume instance");
  std::memcpy(top->headJoints, n.headJoints, sizeof top->headJoints);
  top->lookRate = n.settings[0];
  top->headLimitA = n.settings[1];
  top->headLimitB = n.settings[2];
  top->viewConeCos = n.settings[3];
  top->walkChore = n.chores[0];
  top->turnChores[0] = n.chores[1];
  top->turnChores[1] = n.chores[2];
  top->restChore = n.chores[3];
  std::memcpy(top->talkChores, n.talkChores, sizeof top->talkChores);
  top->mumbleChore = n.mumbleChore;
  Res_ReleaseRef(&hold);
  return r.ok();
}

bool ReadAttached(Reader& r, Actor* a) {
  const uint32_t m = r.U32();
  if (!r.ok() || m == 0) return r.ok();
  uint32_t length = 0;
  for (CostumeThingData* d = a->costumeTop->attached; d; d = d->next) ++length;
  if (length != m) {
    r.Fail("a model list of another length");
    return false;
  }
  for (CostumeThingData* d = a->costumeTop->attached; d && r.ok(); d = d->next) {
    d->visible = r.I32();
    d->resolveParentOffset = r.I32();
    d->parentNode = r.I32();
    qxThing* thing = d->thing;
    if (thing && thing->type == QXTHING_MODEL) {
      const auto* model = static_cast<const qxModel3*>(thing->object);
      const int nodes = model ? model->nodeCount : 0;
      for (int i = 0; i < nodes; ++i) {
        const int32_t flag = r.I32();
        if (thing->drawFlags) thing->drawFlags[i] = flag;
      }
    }
    const uint32_t t = r.U32();
    if (t > QXPUPPET_MAX_TRACKS) {
      r.Fail("more puppet tracks than a puppet has");
      return false;
    }
    for (uint32_t i = 0; i < t && r.ok(); ++i) {
      char name[kTrackNameSize + 1] = {};
      r.Bytes(name, kTrackNameSize);
      const int32_t low = r.I32();
      const int32_t highPriority = r.I32();
      const uint32_t status = r.U32();
      const float current = r.F32();
      const float previous = r.F32();
      const float weight = r.F32();
      const float fadeRate = r.F32();
      if (!r.ok() || !thing || !thing->puppet) continue;
      auto* keyframe = static_cast<qxKeyframe*>(drevResource_Get("KEYF", name));
      if (!keyframe) continue;  // the track's words are dropped
      const int track = qxPuppet_AddTrack(thing->puppet, keyframe, low, highPriority);
      if (track < 0) continue;
      qxPuppetTrack& k = thing->puppet->tracks[track];
      k.status = status;
      k.currentTime = current;
      k.previousTime = previous;
      k.weight = weight;
      k.fadeRate = fadeRate;
    }
  }
  return r.ok();
}

bool ReadExtra(Reader& r, Actor* a) {
  drevActor_CreateExtra(a);
  ActorExtra* e = a->pExtra;
  if (!e) {
    r.Fail("no memory for the extra block");
    return false;
  }
  e->lookTarget = r.Vector();
  e->walkRequested = r.I32();
  e->turnRequested = r.I32();
  e->resting = r.I32();
  e->walkRate = r.F32();
  drevActor_SetSignedTurnRate(e, r.F32());
  e->turnDone = r.I32();
  e->yawOffset = r.F32();
  e->yawToGo = r.F32();
  e->waypoint = r.Vector();
  e->destination = r.Vector();
  e->pathCount = r.I32();
  for (qxVector3& p : e->path) p = r.Vector();
  e->pathIndex = r.I32();
  const uint32_t walkFrame = r.Identity();
  e->followBoxes = r.I32();
  e->walkDominate = r.I32();
  e->reflectionAngle = r.F32();
  e->talking = r.I32();
  e->voiceSound = static_cast<int32_t>(r.Identity());
  e->talkTimeLeft = r.I32();
  r.Bytes(e->lineId, sizeof e->lineId);
  r.Bytes(e->speechName, sizeof e->speechName);
  e->lineId[sizeof e->lineId - 1] = 0;
  e->speechName[sizeof e->speechName - 1] = 0;
  uint32_t textHigh = 0;
  const uint32_t text = r.Identity(&textHigh);
  e->lipSync = r.I32();
  e->activeShadow = r.I32();
  e->collisionMode = r.I32();
  e->collisionScale = r.F32();
  e->collided = r.I32();
  e->clipActive = r.I32();
  e->clipNormal = r.Vector();
  e->clipPoint = r.Vector();
  e->talkColor = r.U32();
  e->timeScale = r.F32();
  e->invClipNode = r.I32();
  if (!r.ok()) return false;
  if (e->pathCount < 0 || e->pathCount > ACTOR_PATH_MAX || e->pathIndex < 0 ||
      e->pathIndex > ACTOR_PATH_MAX) {
    r.Fail("a path count or index beyond the path");
    return false;
  }

  e->walkFrame = nullptr;
  if (walkFrame) {
    drevActor_EnsureWalkFrame(a, 1);
    if (e->walkFrame && e->followBoxes) WalkFrame_AttachToSector(e->walkFrame);
  }
  if (e->talking) {
    // A talking actor beyond the four slots is counted without a slot.
    ActorModule& g = drevActor_State();
    const int index = drevActor_ToIndex(a);
    for (int& slot : g.talking) {
      if (slot < 0) {
        slot = index;
        break;
      }
    }
    ++g.talkingCount;
  }
  e->sayLineText = text || textHigh ? drevActor_Calls().textFindBySavedId(text, textHigh) : nullptr;

  drevActor_ClearShadows(a);
  for (ShadowSlot& s : e->shadows) {
    s.active = r.I32();
    s.side = r.I32();
    for (float& p : s.plane) p = r.F32();
    s.light = r.Vector();
    const uint32_t k = r.U32();
    if (!r.ok()) return false;
    if (k > MAX_SHADOW_CLIPS) {
      r.Fail("more shadow clips than a shadow holds");
      return false;
    }
    for (uint32_t i = 0; i < k; ++i) {
      char name[SECTOR_NAME_SIZE + 1] = {};
      r.Bytes(name, SECTOR_NAME_SIZE);
      if (!r.ok()) return false;
      // A sector the current set does not have leaves the slot empty.
      s.clips[i] = WalkPlane_FindSectorByName(name);
    }
  }
  return r.ok();
}

bool ReadActor(Reader& r, uint32_t tableSize, std::vector<bool>& seen) {
  const uint32_t index = r.U32();
  if (!r.ok()) return false;
  if (index >= tableSize || seen[index]) {
    r.Fail("an actor index beyond the table or given twice");
    return false;
  }
  seen[index] = true;
  Actor* a = drevActor_FromIndex(static_cast<int>(index));
  std::memset(a, 0, sizeof *a);
  a->inUse = 1;
  ++drevActor_State().inUseCount;
  HostServices* hs = drevActor_State().services ? drevActor_State().services : std_pHS;
  a->colormapRef =
      static_cast<ResourceRef*>(hs->memAlloc(sizeof(ResourceRef), "drevActor_Save.cpp", __LINE__));
  if (a->colormapRef) std::memset(a->colormapRef, 0, sizeof(ResourceRef));
  uint32_t colormapHigh = 0;
  const uint32_t colormap = r.Identity(&colormapHigh);
  ReadRecordWords(r, a);
  a->transformValid = 0;
  char setName[ACTOR_NAME_SIZE];
  r.Text(setName, sizeof setName);
  const uint32_t hasExtra = r.U32();
  const uint32_t depth = r.U32();
  if (!r.ok()) return false;
  if (a->colormapRef && (colormap || colormapHigh)) {
    Res_RefBySavedId(a->colormapRef, colormap, colormapHigh, "drevActor_Save.cpp", __LINE__);
  }
  if (setName[0]) drevRoom_PutActorInSet(setName, a);
  if (depth > kMaxCostumeDepth) {
    r.Fail("a costume stack deeper than 32");
    return false;
  }
  a->costumeTop = nullptr;
  for (uint32_t i = 0; i < depth; ++i) {
    if (!ReadNode(r, a, i == 0)) return false;
  }
  if (a->costumeTop && !ReadAttached(r, a)) return false;
  if (hasExtra == 1 && !ReadExtra(r, a)) return false;
  return r.ok();
}

}  // namespace

int drevActor_Save(SaveTransferFn write) {
  Writer w{write};
  const int records = drevActor_GetRecordCount();
  if (static_cast<uint32_t>(records) > kMaxTableSize) {
    kv_Log_Printf("[Actor] - save failed: %d actor records, more than %u", records, kMaxTableSize);
    return 1;
  }
  uint32_t inUse = 0;
  for (int i = 0; i < records; ++i) inUse += drevActor_FromIndex(i)->inUse != 0;
  w.U32(static_cast<uint32_t>(records));
  w.U32(inUse);
  for (int i = 0; i < records && w.ok; ++i) {
    Actor* a = drevActor_FromIndex(i);
    if (!a->inUse) continue;
    // The stack bottom first.
    std::vector<const CostumeNode*> nodes;
    for (const CostumeNode* n = a->costumeTop; n; n = n->next) {
      if (nodes.size() == kMaxCostumeDepth) {
        kv_Log_Printf("[Actor] - save failed: actor %d wears more than %u costumes", i,
                      kMaxCostumeDepth);
        return 1;
      }
      nodes.push_back(n);
    }
    w.U32(static_cast<uint32_t>(i));
    w.Identity(RefIdentity(a->colormapRef));
    WriteRecordWords(w, a);
    w.Text(a->setName, ACTOR_NAME_SIZE);
    w.U32(a->pExtra ? 1u : 0u);
    w.U32(static_cast<uint32_t>(nodes.size()));
    for (auto n = nodes.rbegin(); n != nodes.rend(); ++n) {
      if (!WriteNode(w, *n)) return 1;
    }
    if (a->costumeTop && !WriteAttached(w, a->costumeTop)) return 1;
    if (a->pExtra) WriteExtra(w, a);
  }
  w.I32(drevActor_GetSelected());
  return w.ok ? 0 : 1;
}

int drevActor_Restore(SaveTransferFn read) {
  ActorModule& g = drevActor_State();
  for (int& slot : g.talking) slot = -1;
  g.talkingCount = 0;
  for (int i = 0; i < g.recordCount; ++i) drevActor_Free(drevActor_FromIndex(i));
  g.selected = -1;

  Reader r{read};
  const uint32_t tableSize = r.U32();
  if (r.ok() && tableSize > kMaxTableSize) r.Fail("a table larger than 4096 records");
  if (r.ok() && !drevActor_GrowTable(static_cast<int>(tableSize))) r.Fail("no memory");
  const uint32_t inUse = r.U32();
  if (r.ok() && inUse > tableSize) r.Fail("more actors in use than records");
  std::vector<bool> seen(r.ok() ? tableSize : 0, false);
  for (uint32_t i = 0; i < inUse && r.ok(); ++i) ReadActor(r, tableSize, seen);
  const int32_t selected = r.I32();
  if (r.ok() && (selected < -1 || selected >= static_cast<int32_t>(tableSize))) {
    r.Fail("a selected actor beyond the table");
  }
  if (!r.ok()) {
    kv_Log_Printf("[Actor] - restore failed: %s", r.failure);
    return 1;
  }
  g.selected = selected;
  return 0;
}
