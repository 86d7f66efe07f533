// Costume instances and chore playback.
#include <cstring>

#include "chore/costume.h"
#include "chore/costume_Internal.h"

namespace {

// The live costume an instance belongs to, or null.
CosCostume* Cos_InstanceCostume(const CosInstance* instance) {
  if (!instance) return nullptr;
  return Cos_LiveCostume(instance->costume + 1);
}

// The chore state of a live instance for a chore index, or null for a bad
// handle or index (an instance may have been pointed at another costume, so
// both the costume's chores and the instance's states bound it).
CosChoreState* Cos_ChoreState(CosInstHandle handle, int chore) {
  CosInstance* instance = Cos_LiveInstance(handle);
  CosCostume* costume = Cos_InstanceCostume(instance);
  if (!costume || chore < 0 || chore >= costume->numChores || chore >= instance->numChoreStates) {
    return nullptr;
  }
  return &instance->chores[chore];
}

int Cos_ChoreCount(CosInstHandle handle) {
  CosInstance* instance = Cos_LiveInstance(handle);
  CosCostume* costume = Cos_InstanceCostume(instance);
  if (!costume) return 0;
  return costume->numChores < instance->numChoreStates ? costume->numChores
                                                       : instance->numChoreStates;
}

uintptr_t Cos_DataOf(const CosInstance* instance, const CosCostume* costume, int component) {
  if (component >= 0 && component < instance->numInstanceData) {
    return instance->instanceData[component];
  }
  return costume->components[component].hash;
}

// Depth of a component: parent steps to a root (bounded against bad links).
int Cos_ComponentDepth(const CosCostume* costume, int component) {
  int depth = 0;
  for (int at = costume->components[component].parent;
       at >= 0 && at < costume->numComponents && depth <= costume->numComponents;
       at = costume->components[at].parent) {
    ++depth;
  }
  return depth;
}

// Applies the keys of one pass over the chore's tracks in [from, from + step).
// Callbacks may re-enter the library, so the records are looked up again
// after each call.
void Cos_ApplyWindow(CosInstHandle handle, int chore, int64_t from, int64_t step) {
  const int64_t until = from + step;
  for (int t = 0;; ++t) {
    CosInstance* instance = Cos_LiveInstance(handle);
    CosCostume* costume = Cos_InstanceCostume(instance);
    if (!costume || chore >= costume->numChores) return;
    if (t >= costume->chores[chore].numTracks) return;
    const CosTrack* track = &costume->chores[chore].tracks[t];
    if (track->component < 0 || track->component >= costume->numComponents) continue;
    // The first key not before the window (keys are in time order).
    int low = 0, high = track->numKeys;
    while (low < high) {
      const int middle = (low + high) / 2;
      if (track->keys[middle].time < from) {
        low = middle + 1;
      } else {
        high = middle;
      }
    }
    for (int k = low; k < track->numKeys && track->keys[k].time < until; ++k) {
      const CosTag* tag = Cos_ComponentTag(&costume->components[track->component]);
      if (!tag || !tag->callbacks.applyKey) break;
      const CosKey key = track->keys[k];
      const uintptr_t data = Cos_DataOf(instance, costume, track->component);
      tag->callbacks.applyKey(tag->code, data, 2, key.value, int32_t(until - key.time), key.value,
                              0, handle);
      instance = Cos_LiveInstance(handle);
      costume = Cos_InstanceCostume(instance);
      if (!costume || chore >= costume->numChores) return;
      if (t >= costume->chores[chore].numTracks) return;
      track = &costume->chores[chore].tracks[t];
      if (track->component < 0 || track->component >= costume->numComponents) break;
    }
  }
}

// Advances a chore by a step: applies the keys in the window, wraps a
// looping chore and ends a chore that passed its length.
void Cos_AdvanceChore(CosInstHandle handle, int chore, int32_t step) {
  if (step <= 0) return;
  int64_t s = step;
  for (;;) {
    CosChoreState* state = Cos_ChoreState(handle, chore);
    if (!state) return;
    Cos_ApplyWindow(handle, chore, state->elapsed, s);
    state = Cos_ChoreState(handle, chore);
    if (!state) return;
    CosInstance* instance = Cos_LiveInstance(handle);
    const int32_t length = Cos_InstanceCostume(instance)->chores[chore].length;
    const int64_t elapsed = int64_t(state->elapsed) + s;
    if (elapsed < length) {
      state->elapsed = int32_t(elapsed);
      return;
    }
    // A looping chore of length 0 or less has nothing to wrap over and ends.
    if ((state->flags & COS_CHORE_LOOPING) && length > 0) {
      s = elapsed - length;
      state->elapsed = 0;
      if (s == 0) return;
      continue;
    }
    state->flags = 0;
    state->elapsed = 0;
    return;
  }
}

int Cos_StopChoreAt(CosInstHandle handle, int chore) {
  CosChoreState* state = Cos_ChoreState(handle, chore);
  if (!state) return 0;
  state->flags = 0;
  state->elapsed = 0;
  for (int t = 0;; ++t) {
    CosInstance* instance = Cos_LiveInstance(handle);
    CosCostume* costume = Cos_InstanceCostume(instance);
    if (!costume || chore >= costume->numChores || t >= costume->chores[chore].numTracks) break;
    const int component = costume->chores[chore].tracks[t].component;
    if (component < 0 || component >= costume->numComponents) continue;
    const CosTag* tag = Cos_ComponentTag(&costume->components[component]);
    if (tag && tag->callbacks.stopComponent) {
      tag->callbacks.stopComponent(Cos_DataOf(instance, costume, component));
    }
  }
  return 1;
}

}  // namespace

// ---------------------------------------------------------------------------
// Creation and release

void Cos_ReleaseInstance(int slot) {
  if (cos_State.instances[slot].free) return;
  const CosInstHandle handle = slot + 1;
  for (int i = 0;; ++i) {
    CosInstance* instance = &cos_State.instances[slot];
    const CosCostume* costume = Cos_LiveCostume(instance->costume + 1);
    if (!costume || i >= costume->numComponents || i >= instance->numInstanceData) break;
    const CosTag* tag = Cos_ComponentTag(&costume->components[i]);
    if (tag && tag->callbacks.instanceData) {
      const uintptr_t result = tag->callbacks.instanceData(handle, i, 0);
      instance = &cos_State.instances[slot];
      if (result && i < instance->numInstanceData) instance->instanceData[i] = result;
    }
  }
  CosInstance& instance = cos_State.instances[slot];
  Cos_MemFree(instance.chores);
  Cos_MemFree(instance.instanceData);
  instance.chores = nullptr;
  instance.numChoreStates = 0;
  instance.instanceData = nullptr;
  instance.numInstanceData = 0;
  instance.userData = 0;
  instance.costume = -1;
  instance.free = 1;
}

CosInstHandle Cos_CreateCosInstance(CosCostumeHandle costume, intptr_t userValue) {
  if (!Cos_LiveCostume(costume)) return 0;
  const int slot = Cos_TakeInstanceSlot();
  if (slot < 0) return 0;
  const CosInstHandle handle = slot + 1;
  const CosCostume* record = Cos_LiveCostume(costume);
  CosInstance& instance = cos_State.instances[slot];
  instance.costume = costume - 1;
  instance.userData = userValue;
  instance.chores = nullptr;
  instance.instanceData = nullptr;
  instance.numChoreStates = 0;
  instance.numInstanceData = 0;
  if (record->numChores > 0) {
    instance.chores = static_cast<CosChoreState*>(
        Cos_Alloc(sizeof(CosChoreState) * size_t(record->numChores), __LINE__));
  }
  if (record->numComponents > 0) {
    instance.instanceData = static_cast<uintptr_t*>(
        Cos_Alloc(sizeof(uintptr_t) * size_t(record->numComponents), __LINE__));
  }
  if ((record->numChores > 0 && !instance.chores) ||
      (record->numComponents > 0 && !instance.instanceData)) {
    Cos_Log("out of memory for an instance of \"%s\"", record->name);
    Cos_ReleaseInstance(slot);
    cos_State.numInstances--;
    return 0;
  }
  instance.numChoreStates = record->numChores;
  for (int i = 0; i < record->numChores; ++i) instance.chores[i] = CosChoreState{0, i, 0};
  instance.numInstanceData = record->numComponents;
  for (int i = 0; i < record->numComponents; ++i) {
    instance.instanceData[i] = record->components[i].hash;
  }

  // Component data is made roots first, so a component's callback can read
  // its parent's.
  int deepest = 0;
  for (int i = 0; i < record->numComponents; ++i) {
    const int depth = Cos_ComponentDepth(record, i);
    if (depth > deepest) deepest = depth;
  }
  for (int depth = 0; depth <= deepest; ++depth) {
    for (int i = 0;; ++i) {
      const CosInstance* current = Cos_LiveInstance(handle);
      const CosCostume* owner = Cos_InstanceCostume(current);
      if (!owner || i >= owner->numComponents || i >= current->numInstanceData) break;
      if (Cos_ComponentDepth(owner, i) != depth) continue;
      const CosTag* tag = Cos_ComponentTag(&owner->components[i]);
      if (!tag || !tag->callbacks.instanceData) continue;
      const uintptr_t result = tag->callbacks.instanceData(handle, i, 1);
      CosInstance* after = Cos_LiveInstance(handle);
      if (after && result && i < after->numInstanceData) after->instanceData[i] = result;
    }
  }
  if (!Cos_LiveInstance(handle)) return 0;

  if (cos_State.instanceHook) {
    if (!cos_State.instanceHook(handle, 1)) {
      cos_State.instanceHook(handle, 0);
      if (Cos_LiveInstance(handle)) {
        Cos_ReleaseInstance(slot);
        cos_State.numInstances--;
      }
      return 0;
    }
  } else {
    cos_State.instances[slot].userData = 0;
  }
  return handle;
}

int Cos_FreeCosInstance(CosInstHandle instance) {
  if (!Cos_LiveInstance(instance)) return 0;
  if (cos_State.instanceHook) cos_State.instanceHook(instance, 0);
  if (!Cos_LiveInstance(instance)) return 1;
  Cos_ReleaseInstance(instance - 1);
  cos_State.numInstances--;
  return 1;
}

// ---------------------------------------------------------------------------
// Queries

CosCostume* Cos_InstGetCostume(CosInstHandle instance, CosCostumeHandle* costume) {
  CosInstance* record = Cos_LiveInstance(instance);
  CosCostume* owner = Cos_InstanceCostume(record);
  if (costume) *costume = owner ? record->costume + 1 : 0;
  return owner;
}

int Cos_InstCountComponents(CosInstHandle instance) {
  CosCostume* costume = Cos_InstanceCostume(Cos_LiveInstance(instance));
  return costume ? costume->numComponents : 0;
}

CosComponent* Cos_InstComponentInfo(CosInstHandle instance, int component, uint32_t* code,
                                    uintptr_t* hash, int* parent) {
  CosCostume* costume = Cos_InstanceCostume(Cos_LiveInstance(instance));
  if (!costume || component < 0 || component >= costume->numComponents) return nullptr;
  CosComponent* record = &costume->components[component];
  const CosTag* tag = Cos_ComponentTag(record);
  if (code) *code = tag ? tag->code : 0;
  if (hash) *hash = record->hash;
  if (parent) *parent = record->parent;
  return record;
}

uintptr_t Cos_InstGetInstanceData(CosInstHandle instance, int component, uint32_t* code) {
  CosInstance* record = Cos_LiveInstance(instance);
  CosCostume* costume = Cos_InstanceCostume(record);
  if (!costume || component < 0 || component >= costume->numComponents) return 0;
  if (code) {
    const CosTag* tag = Cos_ComponentTag(&costume->components[component]);
    *code = tag ? tag->code : 0;
  }
  return Cos_DataOf(record, costume, component);
}

intptr_t Cos_InstGetUserData(CosInstHandle instance) {
  CosInstance* record = Cos_LiveInstance(instance);
  return record ? record->userData : 0;
}

void Cos_InstSetUserData(CosInstHandle instance, intptr_t value) {
  CosInstance* record = Cos_LiveInstance(instance);
  if (record) record->userData = value;
}

int Cos_InstCountChores(CosInstHandle instance) {
  return Cos_ChoreCount(instance);
}

CosChore* Cos_InstChoreName(CosInstHandle instance, int chore) {
  if (!Cos_ChoreState(instance, chore)) return nullptr;
  return &Cos_InstanceCostume(Cos_LiveInstance(instance))->chores[chore];
}

int Cos_InstChoreStatus(CosInstHandle instance, int chore) {
  const CosChoreState* state = Cos_ChoreState(instance, chore);
  return state ? state->flags : 0;
}

// ---------------------------------------------------------------------------
// Playback

int Cos_InstPlayChore(CosInstHandle instance, int chore, int loop, int manual) {
  CosChoreState* state = Cos_ChoreState(instance, chore);
  if (!state) return 0;
  state->flags = COS_CHORE_PLAYING | (loop ? COS_CHORE_LOOPING : 0) | (manual ? 0 : COS_CHORE_AUTO);
  return 1;
}

int Cos_InstStopChore(CosInstHandle instance, int chore) {
  return Cos_StopChoreAt(instance, chore);
}

int Cos_InstStopChores(CosInstHandle instance) {
  if (!Cos_LiveInstance(instance)) return 0;
  for (int c = 0; c < Cos_ChoreCount(instance); ++c) Cos_StopChoreAt(instance, c);
  return 1;
}

int Cos_InstPauseChore(CosInstHandle instance, int chore) {
  CosChoreState* state = Cos_ChoreState(instance, chore);
  if (!state) return 0;
  state->flags &= ~COS_CHORE_PLAYING;
  return 1;
}

int Cos_InstPauseChores(CosInstHandle instance) {
  if (!Cos_LiveInstance(instance)) return 0;
  for (int c = 0; c < Cos_ChoreCount(instance); ++c) {
    Cos_ChoreState(instance, c)->flags &= ~COS_CHORE_PLAYING;
  }
  return 1;
}

int Cos_InstUpdateChore(CosInstHandle instance, int chore, int step) {
  CosChoreState* state = Cos_ChoreState(instance, chore);
  if (!state) return 0;
  if (state->flags & COS_CHORE_PLAYING) Cos_AdvanceChore(instance, chore, step);
  return 1;
}

int Cos_InstUpdateChores(CosInstHandle instance, int step) {
  if (!Cos_LiveInstance(instance)) return 0;
  for (int c = 0; c < Cos_ChoreCount(instance); ++c) {
    const int flags = Cos_ChoreState(instance, c)->flags;
    if ((flags & COS_CHORE_PLAYING) && (flags & COS_CHORE_AUTO)) {
      Cos_AdvanceChore(instance, c, step);
    }
  }
  return 1;
}

namespace {

int32_t Cos_RemainingTime(CosInstHandle instance, int chore) {
  const CosChoreState* state = Cos_ChoreState(instance, chore);
  const CosCostume* costume = Cos_InstanceCostume(Cos_LiveInstance(instance));
  const int64_t rest = int64_t(costume->chores[chore].length) - state->elapsed;
  return rest > INT32_MAX ? INT32_MAX : int32_t(rest);
}

}  // namespace

int Cos_InstCompleteChore(CosInstHandle instance, int chore) {
  CosChoreState* state = Cos_ChoreState(instance, chore);
  if (!state) return 0;
  state->flags = COS_CHORE_PLAYING;
  Cos_AdvanceChore(instance, chore, Cos_RemainingTime(instance, chore));
  return 1;
}

int Cos_InstCompleteChores(CosInstHandle instance) {
  if (!Cos_LiveInstance(instance)) return 0;
  for (int c = 0; c < Cos_ChoreCount(instance); ++c) {
    if (Cos_ChoreState(instance, c)->flags & COS_CHORE_PLAYING) {
      Cos_AdvanceChore(instance, c, Cos_RemainingTime(instance, c));
    }
  }
  return 1;
}

int Cos_InstSetChoreLoop(CosInstHandle instance, int chore, int on) {
  CosChoreState* state = Cos_ChoreState(instance, chore);
  if (!state) return 0;
  if (on) {
    state->flags |= COS_CHORE_LOOPING;
  } else {
    state->flags &= ~COS_CHORE_LOOPING;
  }
  return 1;
}

int Cos_InstSetChoreAdv(CosInstHandle instance, int chore, int manual) {
  CosChoreState* state = Cos_ChoreState(instance, chore);
  if (!state) return 0;
  if (manual) {
    state->flags &= ~COS_CHORE_AUTO;
  } else {
    state->flags |= COS_CHORE_AUTO;
  }
  return 1;
}

void Cos_InstRescue(CosInstHandle instance, CosCostumeHandle costume) {
  CosInstance* record = Cos_LiveInstance(instance);
  if (record && Cos_LiveCostume(costume)) record->costume = costume - 1;
}
