// Costume and instance save and restore.
//
// A save holds the costume table's shape and the names of the costumes to
// keep, so that each comes back from its file under its old handle; the
// instances are saved by their owners (Cos_SaveInstance) and re-created by
// them after a restore.
#include <cstring>

#include "chore/costume.h"
#include "chore/costume_Internal.h"

namespace {

// Saved slot counts above this are not believed.
constexpr uint32_t kMaxSavedSlots = 4096;

bool Transfer(CosTransferFunc transfer, void* data, uint32_t length) {
  return transfer(data, length) == 0;
}

bool Kept(CosCostume* costume) {
  return !cos_State.saveVerify || cos_State.saveVerify(costume);
}

}  // namespace

int Cos_Save(CosTransferFunc transfer) {
  if (!transfer || !cos_State.started) return 1;
  uint32_t slots = uint32_t(cos_State.maxCostumes);
  if (!Transfer(transfer, &slots, 4)) return 1;
  uint32_t count = 0;
  for (int i = 0; i < cos_State.maxCostumes; ++i) {
    if (!cos_State.costumes[i].free && Kept(&cos_State.costumes[i])) ++count;
  }
  if (!Transfer(transfer, &count, 4)) return 1;
  uint32_t written = 0;
  for (int i = 0; i < cos_State.maxCostumes; ++i) {
    if (cos_State.costumes[i].free || !Kept(&cos_State.costumes[i])) continue;
    // The filter must answer as it did when counting; the count is what the
    // block promises, so no more than that is written.
    if (written == count) break;
    uint32_t handle = uint32_t(i + 1);
    char name[COS_NAME_SIZE];
    Cos_CopyName(name, cos_State.costumes[i].name);  // zero-filled past its end
    if (!Transfer(transfer, &handle, 4) || !Transfer(transfer, name, COS_NAME_SIZE)) return 1;
    ++written;
  }
  if (written != count) {
    Cos_Log("save filter changed its answer during the save");
    return 1;
  }
  uint32_t instances = uint32_t(cos_State.maxInstances);
  if (!Transfer(transfer, &instances, 4)) return 1;
  return 0;
}

int Cos_Restore(CosTransferFunc transfer) {
  if (!transfer || !cos_State.started) return 1;
  // Nothing from before survives a restore.
  for (int i = 0; i < cos_State.maxCostumes; ++i) {
    if (!cos_State.costumes[i].free) Cos_Free(i + 1);
  }
  uint32_t slots = 0;
  if (!Transfer(transfer, &slots, 4)) return 1;
  if (slots > kMaxSavedSlots) {
    Cos_Log("restore: %u costume slots is not a saved table", slots);
    return 1;
  }
  if (!Cos_GrowCostumes(int(slots))) return 1;
  uint32_t count = 0;
  if (!Transfer(transfer, &count, 4)) return 1;
  // More entries than slots cannot all be good; each is still read (and
  // checked) so that the block is read to its end.
  int result = 0;
  if (count > slots) {
    Cos_Log("restore: %u costumes in %u slots", count, slots);
    result = 1;
  }
  for (uint32_t n = 0; n < count; ++n) {
    uint32_t handle = 0;
    char name[COS_NAME_SIZE];
    if (!Transfer(transfer, &handle, 4) || !Transfer(transfer, name, COS_NAME_SIZE)) return 1;
    if (!memchr(name, 0, COS_NAME_SIZE)) {
      name[COS_NAME_SIZE - 1] = 0;
      Cos_Log("restore: costume name \"%s...\" has no end", name);
      result = 1;
      continue;
    }
    if (handle < 1 || handle > slots) {
      Cos_Log("restore: costume handle %u out of range", handle);
      result = 1;
      continue;
    }
    if (!cos_State.costumes[handle - 1].free) {
      Cos_Log("restore: costume handle %u saved twice", handle);
      result = 1;
      continue;
    }
    // A costume whose file no longer loads is no damage to the block: the
    // loader has named it and why, its slot stays free and the game goes on
    // without it.
    Cos_LoadEntry(name, CosCostumeHandle(handle));
  }
  uint32_t instances = 0;
  if (!Transfer(transfer, &instances, 4)) return 1;
  if (instances > kMaxSavedSlots) {
    Cos_Log("restore: %u instance slots is not a saved table", instances);
    return 1;
  }
  if (!Cos_GrowInstances(int(instances))) return 1;
  // Every instance slot is emptied without hooks or callbacks; the owners
  // make new instances. Whatever was still held is only the library's memory.
  for (int i = 0; i < cos_State.maxInstances; ++i) {
    CosInstance& instance = cos_State.instances[i];
    Cos_MemFree(instance.chores);
    Cos_MemFree(instance.instanceData);
    memset(&instance, 0, sizeof instance);
    instance.costume = -1;
    instance.free = 1;
  }
  cos_State.numInstances = 0;
  cos_State.maxInstances = int(instances);
  return result;
}

namespace {

int Cos_TransferInstance(CosInstHandle handle, CosTransferFunc transfer, int saving) {
  if (!transfer || !Cos_LiveInstance(handle)) return 1;
  for (int i = 0;; ++i) {
    CosInstance* instance = Cos_LiveInstance(handle);
    if (!instance) return 1;
    const CosCostume* costume = Cos_LiveCostume(instance->costume + 1);
    if (!costume) return 1;
    if (i >= costume->numComponents) break;
    const CosTag* tag = Cos_ComponentTag(&costume->components[i]);
    if (!tag || !tag->callbacks.saveInstanceData) continue;
    const uintptr_t data =
        i < instance->numInstanceData ? instance->instanceData[i] : costume->components[i].hash;
    tag->callbacks.saveInstanceData(handle, i, saving, data, transfer);
  }
  for (int c = 0;; ++c) {
    CosInstance* instance = Cos_LiveInstance(handle);
    if (!instance) return 1;
    const CosCostume* costume = Cos_LiveCostume(instance->costume + 1);
    if (!costume) return 1;
    if (c >= costume->numChores || c >= instance->numChoreStates) break;
    CosChoreState state = instance->chores[c];
    int32_t words[3] = {state.flags, state.chore, state.elapsed};
    for (int32_t& word : words) {
      if (!Transfer(transfer, &word, 4)) return 1;
    }
    if (!saving) {
      // A chore keeps its index; flags and time are taken back when they
      // make sense for the chore as it is now.
      const int32_t length = costume->chores[c].length;
      state.flags = words[0] & (COS_CHORE_PLAYING | COS_CHORE_LOOPING | COS_CHORE_AUTO);
      state.elapsed = words[2] >= 0 && words[2] < length ? words[2] : 0;
      instance->chores[c] = state;
    }
  }
  return 0;
}

}  // namespace

int Cos_SaveInstance(CosInstHandle instance, CosTransferFunc transfer) {
  return Cos_TransferInstance(instance, transfer, 1);
}

int Cos_RestoreInstance(CosInstHandle instance, CosTransferFunc transfer) {
  return Cos_TransferInstance(instance, transfer, 0);
}
