// The costume tags that draw no 3D geometry: bitmaps ('BKND', 'anim'),
// streamed and resident sound effects (mlss, mlls), cutscenes (TOLV), the
// two music tags (mlse, mlst) and script variables ('luav'). They keep no
// per-instance records: their keys receive the component's owner record.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "actors/drevActor.h"
#include "actors/drevCostume.h"
#include "actors/drevCostume_Internal.h"
#include "actors/drevTool.h"
#include "engine/drevResource.h"
#include "platform/kv_Log.h"
#include "script/runtime/lua31.h"
#include "std/stdBitmap.h"

namespace {

const int32_t kSoundValues[] = {0, 1, 2};
const char* const kSoundNames[] = {"Play", "Stop", "Stop Looping"};
const CosDataBlock kSoundStates = {3, kSoundValues, kSoundNames, nullptr, nullptr};

const int32_t kTolveValues[] = {0, 1};
const char* const kTolveNames[] = {"Play", "Stop"};
const CosDataBlock kTolveStates = {2, kTolveValues, kTolveNames, nullptr, nullptr};

constexpr int kSoundPlay = 0;
constexpr int kSoundStopKey = 1;
constexpr int kSoundStopLooping = 2;

// A copy of a name in a block of its own (at least `size` bytes), or null.
char* CopyName(const char* name, size_t size) {
  const size_t length = std::strlen(name ? name : "");
  const size_t bytes = std::max(size, length + 1);
  auto* copy = static_cast<char*>(drevCostume_Alloc(bytes, __LINE__));
  if (copy) std::snprintf(copy, size ? size : bytes, "%s", name ? name : "");
  return copy;
}

}  // namespace

// ---- Bitmaps ('BKND', 'anim') ------------------------------------------------------

int drevCostume_BitmapAdd(CosCostumeHandle costume, uint32_t code, uintptr_t parentHash,
                          uint32_t parentCode, const char* name) {
  CostumeNameFields fields;
  char chosen[32];
  if (name) {
    drevCostume_SplitName(name, &fields);
  } else {
    const char* path = drevCostume_PickComponentFile(
        kRequesterBitmaps, "Select image file to add...",
        "Graphics files (*.pcx, *.gif,*.lbm, *.bm)", chosen, sizeof chosen);
    if (!path) return 0;
    drevCostume_SplitName(chosen, &fields);
    name = chosen;
  }
  auto* bitmap = static_cast<Bitmap*>(drevResource_Get("BKND", fields.field[0]));
  if (!bitmap) {
    drevCostume_RefuseAdd("bitmap", name);
    return 0;
  }
  std::snprintf(bitmap->name, sizeof bitmap->name, "%s", fields.field[0]);
  auto* ref = static_cast<ResourceRef*>(drevCostume_Alloc(sizeof(ResourceRef), __LINE__));
  const int frames = bitmap->frameCount > 0 ? bitmap->frameCount : 0;
  auto* values = static_cast<int32_t*>(
      drevCostume_Alloc(sizeof(int32_t) * (static_cast<size_t>(frames) + 1), __LINE__));
  if (!ref || !values) {
    drevCostume_Free(ref);
    drevCostume_Free(values);
    return 0;
  }
  Res_AddRef(ref, bitmap, "drevCostume.cpp", __LINE__);
  for (int i = 0; i <= frames; ++i) values[i] = i;
  // A bitmap with a palette publishes one image record per frame; the last
  // entry (one past the frames) gets an empty record.
  CostumeImageRecord* records = nullptr;
  if (bitmap->flags & STDBITMAP_PALETTE) {
    records = drevCostume_BuildRecords(frames + 1);
    for (int i = 0; records && bitmap->frames && i < frames; ++i) {
      drevCostume_FillRecord(&records[i], bitmap->frames[i]);
    }
  }
  const CosDataBlock list = {frames + 1, values, nullptr, records, nullptr};
  const int added = Cos_RegisterComponent(costume, name, reinterpret_cast<uintptr_t>(ref), code,
                                          parentHash, parentCode, &list);
  drevCostume_Free(values);
  if (added) return 1;
  Res_ReleaseRef(ref);
  drevCostume_Free(ref);
  return 0;
}

int drevCostume_BitmapFree(CosCostumeHandle, uint32_t, uintptr_t hash) {
  auto* ref = reinterpret_cast<ResourceRef*>(hash);
  Res_ReleaseRef(ref);
  drevCostume_Free(ref);
  return 1;
}

int drevCostume_BitmapApplyKey(uint32_t, uintptr_t data, int, int32_t key, int32_t, int32_t, int,
                               CosInstHandle) {
  const auto* ref = reinterpret_cast<const ResourceRef*>(data);
  if (!ref || !ref->valid) {
    drevCostume_Assert("Bad Bitmap Reference", __LINE__);
    return 0;
  }
  // The bitmap is the shared resource: every user of it sees the frame.
  auto* bitmap = static_cast<Bitmap*>(ref->object);
  if (key < 0 || key > bitmap->frameCount) return 0;
  bitmap->currentFrame = key - 1;
  return 1;
}

// ---- Sounds (mlss, mlls) -----------------------------------------------------------

int drevCostume_SoundAdd(CosCostumeHandle costume, uint32_t code, uintptr_t parentHash,
                         uint32_t parentCode, const char* name) {
  if (parentHash) return 0;
  char chosen[32];
  CostumeNameFields fields;
  if (name) {
    drevCostume_SplitName(name, &fields);
  } else {
    const char* path = drevCostume_PickComponentFile(
        kRequesterSounds, "Select sound file to add...", "Sound files (*.mlu, *.mlc, *.wvc, *.wav)",
        chosen, sizeof chosen);
    if (!path) return 0;
    drevCostume_SplitName(chosen, &fields);
    name = chosen;
  }
  auto* owner =
      static_cast<CostumeSoundOwner*>(drevCostume_Alloc(sizeof(CostumeSoundOwner), __LINE__));
  if (!owner) return 0;
  std::snprintf(owner->name, sizeof owner->name, "%s", fields.field[0]);
  if (fields.count >= 2 && fields.count < 5) {
    kv_Log_Printf("[Costume] - %s: missing fields take their defaults", name);
  }
  owner->maxVolume = static_cast<uint8_t>(drevCostume_FieldInt(fields, 1, 127));
  owner->pan = static_cast<uint8_t>(drevCostume_FieldInt(fields, 2, 64));
  owner->priority = drevCostume_FieldInt(fields, 3, 100);
  owner->minVolume = drevCostume_FieldInt(fields, 4, 1);
  if (Cos_RegisterComponent(costume, name, reinterpret_cast<uintptr_t>(owner), code, parentHash,
                            parentCode, &kSoundStates)) {
    return 1;
  }
  drevCostume_Free(owner);
  return 0;
}

int drevCostume_SoundFree(CosCostumeHandle, uint32_t, uintptr_t hash) {
  drevCostume_Free(reinterpret_cast<void*>(hash));
  return 1;
}

int drevCostume_SoundApplyKey(uint32_t code, uintptr_t data, int, int32_t key, int32_t, int32_t,
                              int, CosInstHandle instance) {
  const auto* owner = reinterpret_cast<const CostumeSoundOwner*>(data);
  int32_t state = 0;
  if (!owner || !drevCostume_ListValue(kSoundValues, 3, key, &state)) return 0;
  const drevCostumeCalls& calls = drevCostume_Calls();
  const bool resident = code == kCostumeTagResidentSound;
  switch (state) {
    case kSoundPlay: {
      if (calls.soundIsPlaying(owner->name)) break;
      if (!resident) {
        calls.soundStartVoice(owner->name, owner->maxVolume, static_cast<int8_t>(owner->pan));
        calls.soundSetParam(owner->name, 0x400, 1);
        calls.soundSetParam(owner->name, 0x500, owner->priority);
        break;
      }
      Room* room = calls.roomGetCurrent();
      const int id = calls.soundStart(owner->name, owner->priority, 1);
      const Actor* actor = drevCostume_ActorOfInstance(instance);
      if (!room || !actor || id <= 0) break;
      float range = 0, panFactor = 0, nearDistance = 0;
      int minVolume = 0, maxVolume = 0;
      calls.roomGetSoundParameters(room, &range, &minVolume, &maxVolume, &panFactor, &nearDistance);
      calls.roomAddPositionalSound(id, &actor->position, std::max(minVolume, owner->minVolume),
                                   std::min(maxVolume, static_cast<int>(owner->maxVolume)), range,
                                   nearDistance);
      break;
    }
    case kSoundStopKey:
      if (resident) {
        calls.soundStop(owner->name);
      } else {
        calls.soundStopVoice();
      }
      break;
    case kSoundStopLooping:
      calls.soundSetHook(owner->name, 128);
      break;
  }
  return 1;
}

int drevCostume_SoundStop(uintptr_t data) {
  if (const auto* owner = reinterpret_cast<const CostumeSoundOwner*>(data)) {
    drevCostume_Calls().soundStop(owner->name);
  }
  return 1;
}

int drevCostume_SoundAdjust(uintptr_t* hash, CosComponent* component, int nameCapacity) {
  auto* owner = reinterpret_cast<CostumeSoundOwner*>(*hash);
  const char* labels[] = {"Maximum Volume", "Pan", "Priority", "Minimum Volume"};
  int values[] = {owner->maxVolume, owner->pan, owner->priority, owner->minVolume};
  if (!drevTool_IntegerListDialog(component->name, labels, values, 4)) return 0;
  if (values[0] < values[3]) return 0;
  for (int& v : values) v = std::clamp(v, 0, 127);
  owner->maxVolume = static_cast<uint8_t>(values[0]);
  owner->pan = static_cast<uint8_t>(values[1]);
  owner->priority = values[2];
  owner->minVolume = values[3];
  char name[64];
  std::snprintf(name, sizeof name, "%s,%d,%d,%d,%d", owner->name, values[0], values[1], values[2],
                values[3]);
  const int size = std::min(nameCapacity, static_cast<int>(sizeof component->name));
  std::snprintf(component->name, static_cast<size_t>(size), "%s", name);
  return 1;
}

// ---- Cutscenes (TOLV) --------------------------------------------------------------

int drevCostume_TolveAdd(CosCostumeHandle costume, uint32_t code, uintptr_t parentHash,
                         uint32_t parentCode, const char* name) {
  char chosen[32];
  if (!name) {
    const char* path = drevCostume_PickComponentFile(kRequesterCutscenes, "Select tolve file...",
                                                     "Tolve files (*.snm)", chosen, sizeof chosen);
    if (!path) return 0;
    name = chosen;
  }
  char* copy = CopyName(name, 0);
  if (!copy) return 0;
  if (Cos_RegisterComponent(costume, name, reinterpret_cast<uintptr_t>(copy), code, parentHash,
                            parentCode, &kTolveStates)) {
    return 1;
  }
  drevCostume_Free(copy);
  return 0;
}

int drevCostume_TolveFree(CosCostumeHandle, uint32_t, uintptr_t hash) {
  drevCostume_Free(reinterpret_cast<void*>(hash));
  return 1;
}

int drevCostume_TolveApplyKey(uint32_t, uintptr_t data, int, int32_t key, int32_t, int32_t, int,
                              CosInstHandle) {
  const auto* name = reinterpret_cast<const char*>(data);
  if (name && key == 0) drevCostume_Calls().startMovie(name, 0, 0, -1, -1);
  return 1;
}

int drevCostume_TolveSaveInstanceData(CosInstHandle, int, int, uintptr_t, CosTransferFunc) {
  return 1;
}

// ---- Music (mlse, mlst) ------------------------------------------------------------

int drevCostume_MusicAdd(CosCostumeHandle costume, uint32_t code, uintptr_t parentHash,
                         uint32_t parentCode, const char*) {
  if (parentHash) return 0;
  const char* name = code == kCostumeTagSequence ? "Melos Sequence" : "Melos State";
  return Cos_RegisterComponent(costume, name, 1, code, parentHash, parentCode, nullptr);
}

int drevCostume_MusicFree(CosCostumeHandle, uint32_t, uintptr_t) {
  return 1;
}

int drevCostume_MusicApplyKey(uint32_t, uintptr_t, int, int32_t, int32_t, int32_t, int,
                              CosInstHandle) {
  return 1;
}

// ---- Script variables ('luav') -----------------------------------------------------

int drevCostume_LuaVarAdd(CosCostumeHandle costume, uint32_t code, uintptr_t parentHash,
                          uint32_t parentCode, const char* name) {
  if (parentHash) return 0;
  char entered[32] = "";
  if (!name) {
    if (!drevTool_InputDialog("Name of variable", "Variable name", entered, sizeof entered,
                              nullptr)) {
      return 0;
    }
    name = entered;
  }
  char* copy = CopyName(name, 32);
  if (!copy) return 0;
  if (Cos_RegisterComponent(costume, copy, reinterpret_cast<uintptr_t>(copy), code, parentHash,
                            parentCode, nullptr)) {
    return 1;
  }
  drevCostume_Free(copy);
  return 0;
}

int drevCostume_LuaVarFree(CosCostumeHandle, uint32_t, uintptr_t hash) {
  drevCostume_Free(reinterpret_cast<void*>(hash));
  return 1;
}

int drevCostume_LuaVarApplyKey(uint32_t, uintptr_t data, int, int32_t key, int32_t, int32_t, int,
                               CosInstHandle) {
  const auto* name = reinterpret_cast<const char*>(data);
  if (!name) return 0;
  lua_beginblock();
  lua_pushnumber(static_cast<float>(key));
  lua_setglobal(name);
  lua_endblock();
  return 1;
}

int drevCostume_LuaVarStop(uintptr_t data) {
  const auto* name = reinterpret_cast<const char*>(data);
  if (!name) return 1;
  lua_beginblock();
  lua_pushnil();
  lua_setglobal(name);
  lua_endblock();
  return 1;
}

int drevCostume_LuaVarAdjust(uintptr_t* hash, CosComponent* component, int nameCapacity) {
  auto* copy = reinterpret_cast<char*>(*hash);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%s", copy);
  if (!drevTool_InputDialog("Change variable properties", "Variable name", buffer, sizeof buffer,
                            copy)) {
    return 0;
  }
  std::snprintf(copy, 32, "%s", buffer);
  const int size = std::min(nameCapacity, static_cast<int>(sizeof component->name));
  std::snprintf(component->name, static_cast<size_t>(size), "%s", buffer);
  return 1;
}
