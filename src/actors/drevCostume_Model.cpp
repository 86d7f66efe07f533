// The costume module's component tags: their registration, and the tags
// that hang 3D geometry on an actor: models, meshes, materials, colormaps,
// keyframe animations and sprites.
//
// Model and sprite components get one CostumeThingData per instance: a
// thing with a puppet (models) or a sprite thing, what the costume draw
// walks. Meshes, materials, colormaps and keyframes keep small per-instance
// records that point at their model's record. A key at or past the end of
// its component's state list does nothing.
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "actors/drevActor.h"
#include "actors/drevCostume.h"
#include "actors/drevCostume_Internal.h"
#include "actors/drevTool.h"
#include "engine/drevResource.h"
#include "platform/kv_Log.h"
#include "quadrix/qxColormap.h"
#include "quadrix/qxKeyframe.h"
#include "quadrix/qxMaterial.h"
#include "quadrix/qxModel3.h"
#include "quadrix/qxPuppet.h"
#include "quadrix/qxSprite.h"
#include "quadrix/qxThing.h"

namespace {

// ---- State lists ------------------------------------------------------------------

const int32_t kHideShowValues[] = {0, 4};
const char* const kHideShowNames[] = {"Hide", "Show"};
const CosDataBlock kHideShow = {2, kHideShowValues, kHideShowNames, nullptr, nullptr};

const int32_t kExistValues[] = {0};
const char* const kExistNames[] = {"Exist"};
const CosDataBlock kExist = {1, kExistValues, kExistNames, nullptr, nullptr};

constexpr int kKeyframeStateCount = 15;
const int32_t kKeyframeValues[kKeyframeStateCount] = {0, 1, 2, 3,  8,  9,  10, 4,
                                                      5, 6, 7, 11, 12, 13, 14};
const char* const kKeyframeNames[kKeyframeStateCount] = {
    "Play Once",     "Play Looping", "Play and EndPause", "Play and EndFade", "Stop",
    "Pause",         "Unpause",      "1.0 Fade in",       "0.5 Fade in",      "0.25 Fade in",
    "0.125 Fade in", "1.0 Fade out", "0.5 Fade out",      "0.25 Fade out",    "0.125 Fade out"};
const CosDataBlock kKeyframeStates = {kKeyframeStateCount, kKeyframeValues, kKeyframeNames, nullptr,
                                      nullptr};

// Keyframe track status bits.
constexpr uint32_t kTrackPlaying = 0x2;
constexpr uint32_t kTrackFadingIn = 0x4;
constexpr uint32_t kTrackFadingOut = 0x8;
constexpr uint32_t kTrackPaused = 0x10;

bool IsModelCode(uint32_t code) {
  return code == kCostumeTagMainModel || code == kCostumeTagModel;
}

// The records of parts that a failed allocation could not make: callbacks
// find no model there and do nothing.
CostumeMeshData gEmptyMesh{};
CostumeMaterialData gEmptyMaterial{};
CostumeColormapData gEmptyColormap{};
CostumeKeyframeData gEmptyKeyframe{};

CostumeThingData* ThingOf(uintptr_t data) {
  auto* record = reinterpret_cast<CostumeThingData*>(data);
  return record && record->thing ? record : nullptr;
}

qxModel3* ModelOf(const CostumeThingData* record) {
  if (!record || !record->thing || record->thing->type != QXTHING_MODEL) return nullptr;
  return static_cast<qxModel3*>(record->thing->object);
}

// The instance data of a component's parent, with its tag code.
uintptr_t ParentData(CosInstHandle instance, int component, uint32_t* parentCode) {
  int parent = -1;
  *parentCode = 0;
  if (!Cos_InstComponentInfo(instance, component, nullptr, nullptr, &parent) || parent < 0) {
    return 0;
  }
  return Cos_InstGetInstanceData(instance, parent, parentCode);
}

void LogDefaults(const char* name) {
  kv_Log_Printf("[Costume] - %s: missing fields take their defaults", name);
}

// Rewrites a component's name as its first field followed by numbers.
void RewriteName(CosComponent* component, int capacity, const int* values, int count) {
  CostumeNameFields fields;
  drevCostume_SplitName(component->name, &fields);
  char name[64];
  int used = std::snprintf(name, sizeof name, "%s", fields.field[0]);
  for (int i = 0; i < count && used < static_cast<int>(sizeof name); ++i) {
    used += std::snprintf(name + used, sizeof name - static_cast<size_t>(used), ",%d", values[i]);
  }
  const int size = capacity < static_cast<int>(sizeof component->name)
                       ? capacity
                       : static_cast<int>(sizeof component->name);
  std::snprintf(component->name, static_cast<size_t>(size), "%s", name);
}

// Registers a component whose owner record is a block of the services
// record; the owner is freed again when the library refuses it.
int Register(CosCostumeHandle costume, const char* name, void* owner, uint32_t code,
             uintptr_t parentHash, uint32_t parentCode, const CosDataBlock* list) {
  return Cos_RegisterComponent(costume, name, reinterpret_cast<uintptr_t>(owner), code, parentHash,
                               parentCode, list);
}

}  // namespace

// ---- Registration -------------------------------------------------------------------

int drevCostume_RegisterTags(void) {
  static const CosTagCallbacks kModel = {drevCostume_ModelApplyKey,
                                         drevCostume_ModelAdd,
                                         drevCostume_ModelFree,
                                         drevCostume_ModelStop,
                                         drevCostume_ModelAdjust,
                                         drevCostume_ModelInstanceData,
                                         nullptr};
  static const CosTagCallbacks kColormap = {drevCostume_ColormapApplyKey,
                                            drevCostume_ColormapAdd,
                                            drevCostume_ColormapFree,
                                            nullptr,
                                            nullptr,
                                            drevCostume_ColormapInstanceData,
                                            nullptr};
  static const CosTagCallbacks kMesh = {drevCostume_MeshApplyKey,
                                        drevCostume_MeshAdd,
                                        drevCostume_MeshFree,
                                        drevCostume_MeshStop,
                                        drevCostume_MeshAdjust,
                                        drevCostume_MeshInstanceData,
                                        nullptr};
  static const CosTagCallbacks kMaterial = {drevCostume_MaterialApplyKey,
                                            drevCostume_MaterialAdd,
                                            drevCostume_MaterialFree,
                                            nullptr,
                                            nullptr,
                                            drevCostume_MaterialInstanceData,
                                            drevCostume_MaterialSaveInstanceData};
  static const CosTagCallbacks kKeyframe = {drevCostume_KeyframeApplyKey,
                                            drevCostume_KeyframeAdd,
                                            drevCostume_KeyframeFree,
                                            drevCostume_KeyframeStop,
                                            drevCostume_KeyframeAdjust,
                                            drevCostume_KeyframeInstanceData,
                                            nullptr};
  static const CosTagCallbacks kBitmap = {drevCostume_BitmapApplyKey,
                                          drevCostume_BitmapAdd,
                                          drevCostume_BitmapFree,
                                          nullptr,
                                          nullptr,
                                          nullptr,
                                          nullptr};
  static const CosTagCallbacks kSound = {drevCostume_SoundApplyKey,
                                         drevCostume_SoundAdd,
                                         drevCostume_SoundFree,
                                         drevCostume_SoundStop,
                                         drevCostume_SoundAdjust,
                                         nullptr,
                                         nullptr};
  static const CosTagCallbacks kTolve = {drevCostume_TolveApplyKey,
                                         drevCostume_TolveAdd,
                                         drevCostume_TolveFree,
                                         nullptr,
                                         nullptr,
                                         nullptr,
                                         drevCostume_TolveSaveInstanceData};
  static const CosTagCallbacks kSprite = {drevCostume_SpriteApplyKey,
                                          drevCostume_SpriteAdd,
                                          drevCostume_SpriteFree,
                                          nullptr,
                                          drevCostume_SpriteAdjust,
                                          drevCostume_SpriteInstanceData,
                                          nullptr};
  static const CosTagCallbacks kMusic = {drevCostume_MusicApplyKey,
                                         drevCostume_MusicAdd,
                                         drevCostume_MusicFree,
                                         nullptr,
                                         nullptr,
                                         nullptr,
                                         nullptr};
  static const CosTagCallbacks kLuaVar = {drevCostume_LuaVarApplyKey,
                                          drevCostume_LuaVarAdd,
                                          drevCostume_LuaVarFree,
                                          drevCostume_LuaVarStop,
                                          drevCostume_LuaVarAdjust,
                                          nullptr,
                                          nullptr};
  struct Row {
    uint32_t code;
    const char* name;
    bool integer;
    int value;
    const CosTagCallbacks* callbacks;
  };
  static const Row kRows[kCostumeTagCount] = {
      {kCostumeTagMainModel, "MAIN Quadrix Thing (.3DO)", false, 2, &kModel},
      {kCostumeTagModel, "Quadrix Thing (.3DO)", false, 2, &kModel},
      {kCostumeTagColormap, "Quadrix Colormap", false, 2, &kColormap},
      {kCostumeTagMesh, "Quadrix Thing Mesh", false, 2, &kMesh},
      {kCostumeTagMaterial, "Quadrix Animated Material", false, 2, &kMaterial},
      {kCostumeTagKeyframe, "Quadrix Keyframe (.KEY)", false, 2, &kKeyframe},
      {kCostumeTagBitmap, "General Bitmap", false, 1, &kBitmap},
      {kCostumeTagAnimation, "Animation (old,use Bitmap)", false, 1, &kBitmap},
      {kCostumeTagStreamedSound, "Melos Streamed Sound FX", false, 2, &kSound},
      {kCostumeTagResidentSound, "Melos Resident Sound FX", false, 2, &kSound},
      {kCostumeTagTolve, "Tolve Movie", false, 2, &kTolve},
      {kCostumeTagSprite, "Sprite", false, 2, &kSprite},
      {kCostumeTagSequence, "Melos Sequence", true, 2, &kMusic},
      {kCostumeTagState, "Melos State", true, 2, &kMusic},
      {kCostumeTagLuaVar, "Lua Variable", true, 1, &kLuaVar},
  };
  int registered = 0;
  for (const Row& row : kRows) {
    const int added = row.integer
                          ? Cos_NewIntTag(row.code, row.name, 0, row.callbacks, row.value)
                          : Cos_NewStateBasedTag(row.code, row.name, 0, row.callbacks, row.value);
    if (added) {
      ++registered;
    } else {
      kv_Log_Printf("[Costume] - component tag \"%s\" was refused", row.name);
    }
  }
  return registered;
}

// ---- Models ('MMDL', 'MODL') -------------------------------------------------------

int drevCostume_ModelAdd(CosCostumeHandle costume, uint32_t code, uintptr_t parentHash,
                         uint32_t parentCode, const char* name) {
  if (parentHash && parentCode != kCostumeTagMesh) return 0;
  char chosen[32];
  int resolve = 1;
  void* model = nullptr;
  if (name) {
    CostumeNameFields fields;
    drevCostume_SplitName(name, &fields);
    model = drevResource_Get("MODL", fields.field[0]);
    resolve = drevCostume_FieldInt(fields, 1, 1);
  } else {
    const char* path =
        drevCostume_PickComponentFile(kRequesterModels, "Select model file to add...",
                                      "Model files (*.3do)", chosen, sizeof chosen);
    if (!path) return 0;
    model = drevResource_Get("MODL", path);
    name = chosen;
  }
  if (!model) {
    drevCostume_RefuseAdd("model", name);
    return 0;
  }
  auto* owner =
      static_cast<CostumeModelOwner*>(drevCostume_Alloc(sizeof(CostumeModelOwner), __LINE__));
  if (!owner) return 0;
  Res_AddRef(&owner->rModel, model, "drevCostume.cpp", __LINE__);
  owner->resolveParentOffset = resolve;
  if (Register(costume, name, owner, code, parentHash, parentCode, &kHideShow)) return 1;
  Res_ReleaseRef(&owner->rModel);
  drevCostume_Free(owner);
  return 0;
}

int drevCostume_ModelFree(CosCostumeHandle, uint32_t, uintptr_t hash) {
  auto* owner = reinterpret_cast<CostumeModelOwner*>(hash);
  if (!owner) return 1;
  Res_ReleaseRef(&owner->rModel);
  drevCostume_Free(owner);
  return 1;
}

uintptr_t drevCostume_ModelInstanceData(CosInstHandle instance, int component, int mode) {
  uint32_t code = 0;
  uintptr_t hash = 0;
  const CosComponent* info = Cos_InstComponentInfo(instance, component, &code, &hash, nullptr);
  if (mode == 0) {
    auto* record =
        reinterpret_cast<CostumeThingData*>(Cos_InstGetInstanceData(instance, component, nullptr));
    if (!record || !record->thing || --record->refCount > 0) return 0;
    Res_ReleaseRef(&record->rModel);
    const int32_t owner = record->thing->owner;
    // Freeing the thing ends its tracks: their callbacks still find the record.
    qxThing_Free(record->thing);
    drevCostume_UnregisterThing(owner);
    drevCostume_Free(record);
    return 0;
  }
  if (!info) return reinterpret_cast<uintptr_t>(drevCostume_EmptyThing());

  // During creation the user value is the instance of the costume below on
  // the actor's stack: a component of the same tag and name shares its record.
  const auto below = static_cast<CosInstHandle>(Cos_InstGetUserData(instance));
  const int belowCount = below ? Cos_InstCountComponents(below) : 0;
  for (int k = 0; k < belowCount; ++k) {
    uint32_t belowCode = 0;
    const CosComponent* other = Cos_InstComponentInfo(below, k, &belowCode, nullptr, nullptr);
    if (!other || belowCode != code || strcasecmp(other->name, info->name) != 0) continue;
    CostumeThingData* shared = ThingOf(Cos_InstGetInstanceData(below, k, nullptr));
    if (!shared) break;
    ++shared->refCount;
    return reinterpret_cast<uintptr_t>(shared);
  }

  auto* owner = reinterpret_cast<CostumeModelOwner*>(hash);
  if (!owner || !owner->rModel.valid) {
    drevCostume_Assert("Bad model Reference", __LINE__);
    return reinterpret_cast<uintptr_t>(drevCostume_EmptyThing());
  }
  auto* record =
      static_cast<CostumeThingData*>(drevCostume_Alloc(sizeof(CostumeThingData), __LINE__));
  if (!record) return reinterpret_cast<uintptr_t>(drevCostume_EmptyThing());
  const int32_t id = drevCostume_RegisterThing(record);
  qxThing* thing = qxThing_New(id);
  if (!thing || !qxThing_SetModel3(thing, static_cast<qxModel3*>(owner->rModel.object)) ||
      !qxPuppet_New(thing)) {
    kv_Log_Printf("[Costume] - no thing could be made for model \"%s\"", info->name);
    qxThing_Free(thing);
    drevCostume_UnregisterThing(id);
    drevCostume_Free(record);
    return reinterpret_cast<uintptr_t>(drevCostume_EmptyThing());
  }
  Res_AddRef(&record->rModel, owner->rModel.object, "drevCostume.cpp", __LINE__);
  record->thing = thing;
  record->resolveParentOffset = owner->resolveParentOffset;
  record->parentRecord = nullptr;
  record->parentNode = -1;
  record->visible = 1;
  uint32_t parentCode = 0;
  const uintptr_t parent = ParentData(instance, component, &parentCode);
  if (parentCode == kCostumeTagMesh && parent) {
    const auto* mesh = reinterpret_cast<const CostumeMeshData*>(parent);
    record->parentRecord = mesh->modelData;
    record->parentNode = mesh->node;
    record->visible = 0;
  }
  record->refCount = 1;
  return reinterpret_cast<uintptr_t>(record);
}

int drevCostume_ModelApplyKey(uint32_t, uintptr_t data, int, int32_t key, int32_t, int32_t, int,
                              CosInstHandle) {
  CostumeThingData* record = ThingOf(data);
  int32_t value = 0;
  if (!record || !drevCostume_ListValue(kHideShowValues, 2, key, &value)) return 0;
  record->visible = value != 0 ? 1 : 0;
  return 1;
}

int drevCostume_ModelStop(uintptr_t data) {
  if (CostumeThingData* record = ThingOf(data)) record->visible = record->parentRecord ? 0 : 1;
  return 1;
}

int drevCostume_ModelAdjust(uintptr_t* hash, CosComponent* component, int nameCapacity) {
  auto* owner = reinterpret_cast<CostumeModelOwner*>(*hash);
  const char* labels[] = {"Resolve parent offset (0 = off)"};
  int values[] = {owner->resolveParentOffset ? 1 : 0};
  if (!drevTool_IntegerListDialog(component->name, labels, values, 1)) return 0;
  owner->resolveParentOffset = values[0];
  RewriteName(component, nameCapacity, values, 1);
  return 1;
}

// ---- Meshes ('MESH') ---------------------------------------------------------------

int drevCostume_MeshAdd(CosCostumeHandle costume, uint32_t code, uintptr_t parentHash,
                        uint32_t parentCode, const char* name) {
  if (!parentHash || !IsModelCode(parentCode)) return 0;
  const auto* owner = reinterpret_cast<const CostumeModelOwner*>(parentHash);
  if (!owner->rModel.valid) {
    drevCostume_Assert("Bad model Reference", __LINE__);
    return 0;
  }
  const auto* model = static_cast<const qxModel3*>(owner->rModel.object);
  char buffer[45];
  int node = -1;
  if (name) {
    const char* digit = name;
    while (*digit && !std::isdigit(static_cast<unsigned char>(*digit))) ++digit;
    if (!*digit) {
      drevCostume_RefuseAdd("mesh (no node number)", name);
      return 0;
    }
    node = std::atoi(digit);
    if (node < 0 || node >= model->nodeCount) {
      drevCostume_RefuseAdd("mesh (no such node)", name);
      return 0;
    }
    std::snprintf(buffer, sizeof buffer, "%s", name);
  } else {
    // The hierarchy as indented lines, each at most 31 characters.
    const int count = model->nodeCount;
    if (count <= 0) return 0;
    auto* lines =
        static_cast<char(*)[32]>(drevCostume_Alloc(32 * static_cast<size_t>(count), __LINE__));
    auto* items = static_cast<const char**>(
        drevCostume_Alloc(sizeof(const char*) * static_cast<size_t>(count), __LINE__));
    if (!lines || !items) {
      drevCostume_Free(lines);
      drevCostume_Free(items);
      return 0;
    }
    for (int i = 0; i < count; ++i) {
      std::string line(static_cast<size_t>(std::clamp(model->nodes[i].depth, 0, 31)), '\t');
      line += model->nodes[i].name;
      line.resize(std::min<size_t>(line.size(), 31));
      std::memcpy(lines[i], line.c_str(), line.size() + 1);
      items[i] = lines[i];
    }
    int withChildren = 1;
    const int chosen =
        drevTool_TreePickerDialog("Select mesh node to add...", items, count, &withChildren);
    drevCostume_Free(items);
    drevCostume_Free(lines);
    if (chosen < 0 || chosen >= count) return 0;
    if (withChildren) {
      for (int m = chosen + 1; m < count && model->nodes[m].depth > model->nodes[chosen].depth;
           ++m) {
        char childName[45];
        std::snprintf(childName, sizeof childName, "Mesh %d (%.24s)", m, model->nodes[m].name);
        drevCostume_MeshAdd(costume, code, parentHash, parentCode, childName);
      }
    }
    std::snprintf(buffer, sizeof buffer, "Mesh %d (%.24s)", chosen, model->nodes[chosen].name);
    node = chosen;
  }
  const uintptr_t hash = (static_cast<uintptr_t>(node) << 16) | (parentHash & 0xFFFF);
  return Cos_RegisterComponent(costume, buffer, hash, code, parentHash, parentCode, &kHideShow);
}

int drevCostume_MeshFree(CosCostumeHandle, uint32_t, uintptr_t) {
  return 1;
}

uintptr_t drevCostume_MeshInstanceData(CosInstHandle instance, int component, int mode) {
  if (mode == 0) {
    auto* data =
        reinterpret_cast<CostumeMeshData*>(Cos_InstGetInstanceData(instance, component, nullptr));
    if (data != &gEmptyMesh) drevCostume_Free(data);
    return 0;
  }
  uintptr_t hash = 0;
  Cos_InstComponentInfo(instance, component, nullptr, &hash, nullptr);
  uint32_t parentCode = 0;
  const uintptr_t parent = ParentData(instance, component, &parentCode);
  auto* data = static_cast<CostumeMeshData*>(drevCostume_Alloc(sizeof(CostumeMeshData), __LINE__));
  if (!data) return reinterpret_cast<uintptr_t>(&gEmptyMesh);
  data->modelData = IsModelCode(parentCode) ? ThingOf(parent) : nullptr;
  data->node = static_cast<int16_t>(static_cast<uint16_t>((hash >> 16) & 0xFFFF));
  data->visible = 1;
  return reinterpret_cast<uintptr_t>(data);
}

int drevCostume_MeshApplyKey(uint32_t, uintptr_t data, int, int32_t key, int32_t, int32_t, int,
                             CosInstHandle) {
  auto* mesh = reinterpret_cast<CostumeMeshData*>(data);
  int32_t value = 0;
  if (!mesh || !drevCostume_ListValue(kHideShowValues, 2, key, &value)) return 0;
  const int32_t shown = value != 0 ? 1 : 0;
  mesh->visible = shown;
  const qxModel3* model = ModelOf(mesh->modelData);
  if (model && mesh->node >= 0 && mesh->node < model->nodeCount &&
      mesh->modelData->thing->drawFlags) {
    mesh->modelData->thing->drawFlags[mesh->node] = shown;
  }
  return 1;
}

int drevCostume_MeshStop(uintptr_t data) {
  if (auto* mesh = reinterpret_cast<CostumeMeshData*>(data)) mesh->visible = 1;
  return 1;
}

int drevCostume_MeshAdjust(uintptr_t*, CosComponent* component, int) {
  return std::strchr(component->name, ')') ? 0 : 1;
}

// ---- Materials ('MAT ') ------------------------------------------------------------

namespace {

// The material a 'MAT ' component of that parent can animate, by name:
// one of a model's materials, or a sprite's own.
qxMaterial* FindMaterial(uintptr_t parentHash, uint32_t parentCode, const char* name, int* index) {
  if (parentCode == kCostumeTagSprite) {
    const auto* owner = reinterpret_cast<const CostumeSpriteOwner*>(parentHash);
    qxMaterial* material = owner->sprite ? owner->sprite->material : nullptr;
    *index = 0;
    return material && strcasecmp(material->name, name) == 0 ? material : nullptr;
  }
  const auto* owner = reinterpret_cast<const CostumeModelOwner*>(parentHash);
  if (!owner->rModel.valid) {
    drevCostume_Assert("Bad model Reference", __LINE__);
    return nullptr;
  }
  const auto* model = static_cast<const qxModel3*>(owner->rModel.object);
  for (uint32_t i = 0; model->materials && i < model->materialCount; ++i) {
    qxMaterial* material = model->materials[i];
    if (material && strcasecmp(material->name, name) == 0) {
      *index = static_cast<int>(i);
      return material;
    }
  }
  return nullptr;
}

}  // namespace

int drevCostume_MaterialAdd(CosCostumeHandle costume, uint32_t code, uintptr_t parentHash,
                            uint32_t parentCode, const char* name) {
  if (!parentHash || (!IsModelCode(parentCode) && parentCode != kCostumeTagSprite)) return 0;
  char chosen[32];
  if (!name) {
    const char* path =
        drevCostume_PickComponentFile(kRequesterMaterials, "Select mat file to animate...",
                                      "Material files (*.mat)", chosen, sizeof chosen);
    if (!path) return 0;
    name = chosen;
  }
  int index = 0;
  const qxMaterial* material = FindMaterial(parentHash, parentCode, name, &index);
  if (!material) {
    drevCostume_RefuseAdd("material (not on its parent)", name);
    return 0;
  }
  const int cels = static_cast<int>(material->celCount);
  CostumeImageRecord* records = drevCostume_BuildRecords(cels);
  for (int i = 0; records && i < cels; ++i) {
    const qxMaterialCel* cel = material->cels[i];
    if (cel && cel->texture) drevCostume_FillRecord(&records[i], cel->texture->mipLevels[0]);
  }
  const CosDataBlock list = {cels, nullptr, nullptr, records, nullptr};
  return Cos_RegisterComponent(costume, name, static_cast<uintptr_t>(index), code, parentHash,
                               parentCode, &list);
}

int drevCostume_MaterialFree(CosCostumeHandle, uint32_t, uintptr_t) {
  return 1;
}

uintptr_t drevCostume_MaterialInstanceData(CosInstHandle instance, int component, int mode) {
  if (mode == 0) {
    auto* data = reinterpret_cast<CostumeMaterialData*>(
        Cos_InstGetInstanceData(instance, component, nullptr));
    if (data != &gEmptyMaterial) drevCostume_Free(data);
    return 0;
  }
  uintptr_t hash = 0;
  Cos_InstComponentInfo(instance, component, nullptr, &hash, nullptr);
  uint32_t parentCode = 0;
  const uintptr_t parent = ParentData(instance, component, &parentCode);
  auto* data =
      static_cast<CostumeMaterialData*>(drevCostume_Alloc(sizeof(CostumeMaterialData), __LINE__));
  if (!data) return reinterpret_cast<uintptr_t>(&gEmptyMaterial);
  data->modelData =
      IsModelCode(parentCode) || parentCode == kCostumeTagSprite ? ThingOf(parent) : nullptr;
  data->material = static_cast<int32_t>(hash);
  data->frame = 0;
  return reinterpret_cast<uintptr_t>(data);
}

qxMaterial* drevCostume_MaterialOf(const CostumeMaterialData* data) {
  const CostumeThingData* record = data ? data->modelData : nullptr;
  if (!record || !record->thing) return nullptr;
  if (record->sprite) return data->material == 0 ? record->sprite->material : nullptr;
  const qxModel3* model = ModelOf(record);
  if (!model || !model->materials || data->material < 0 ||
      static_cast<uint32_t>(data->material) >= model->materialCount) {
    return nullptr;
  }
  return model->materials[data->material];
}

int drevCostume_MaterialApplyKey(uint32_t, uintptr_t data, int, int32_t key, int32_t, int32_t, int,
                                 CosInstHandle) {
  auto* record = reinterpret_cast<CostumeMaterialData*>(data);
  const qxMaterial* material = drevCostume_MaterialOf(record);
  if (!material || key < 0 || key >= static_cast<int32_t>(material->celCount)) return 0;
  record->frame = key;
  return 1;
}

int drevCostume_MaterialSaveInstanceData(CosInstHandle, int, int, uintptr_t data,
                                         CosTransferFunc transfer) {
  auto* material = reinterpret_cast<CostumeMaterialData*>(data);
  if (!material || !transfer) return 1;
  transfer(&material->frame, sizeof material->frame);
  return 1;
}

// ---- Colormaps ('cmap') ------------------------------------------------------------

int drevCostume_ColormapAdd(CosCostumeHandle costume, uint32_t code, uintptr_t parentHash,
                            uint32_t parentCode, const char* name) {
  if (!parentHash || (!IsModelCode(parentCode) && parentCode != kCostumeTagSprite)) return 0;
  char chosen[32];
  void* colormap = nullptr;
  if (name) {
    colormap = drevResource_Get("CMAP", name);
  } else {
    const char* path =
        drevCostume_PickComponentFile(kRequesterColormaps, "Select colormap file to add...",
                                      "Colormap files (*.cmp)", chosen, sizeof chosen);
    if (!path) return 0;
    colormap = drevResource_Get("CMAP", path);
    name = chosen;
  }
  if (!colormap) {
    drevCostume_RefuseAdd("colormap", name);
    return 0;
  }
  auto* ref = static_cast<ResourceRef*>(drevCostume_Alloc(sizeof(ResourceRef), __LINE__));
  if (!ref) return 0;
  Res_AddRef(ref, colormap, "drevCostume.cpp", __LINE__);
  if (Register(costume, name, ref, code, parentHash, parentCode, &kExist)) return 1;
  Res_ReleaseRef(ref);
  drevCostume_Free(ref);
  return 0;
}

int drevCostume_ColormapFree(CosCostumeHandle, uint32_t, uintptr_t hash) {
  auto* ref = reinterpret_cast<ResourceRef*>(hash);
  Res_ReleaseRef(ref);
  drevCostume_Free(ref);
  return 1;
}

uintptr_t drevCostume_ColormapInstanceData(CosInstHandle instance, int component, int mode) {
  if (mode == 0) {
    auto* data = reinterpret_cast<CostumeColormapData*>(
        Cos_InstGetInstanceData(instance, component, nullptr));
    if (data && data != &gEmptyColormap) {
      Res_ReleaseRef(&data->rColormap);
      drevCostume_Free(data);
    }
    return 0;
  }
  uintptr_t hash = 0;
  Cos_InstComponentInfo(instance, component, nullptr, &hash, nullptr);
  const auto* owner = reinterpret_cast<const ResourceRef*>(hash);
  if (!owner || !owner->valid) {
    drevCostume_Assert("Bad Colormap Reference", __LINE__);
    return reinterpret_cast<uintptr_t>(&gEmptyColormap);
  }
  uint32_t parentCode = 0;
  const uintptr_t parent = ParentData(instance, component, &parentCode);
  auto* data =
      static_cast<CostumeColormapData*>(drevCostume_Alloc(sizeof(CostumeColormapData), __LINE__));
  if (!data) return reinterpret_cast<uintptr_t>(&gEmptyColormap);
  data->modelData = ThingOf(parent);
  Res_AddRef(&data->rColormap, owner->object, "drevCostume.cpp", __LINE__);
  return reinterpret_cast<uintptr_t>(data);
}

int drevCostume_ColormapApplyKey(uint32_t, uintptr_t, int, int32_t, int32_t, int32_t, int,
                                 CosInstHandle) {
  return 1;
}

// ---- Keyframes ('KEYF') ------------------------------------------------------------

int drevCostume_KeyframeAdd(CosCostumeHandle costume, uint32_t code, uintptr_t parentHash,
                            uint32_t parentCode, const char* name) {
  if (!parentHash || !IsModelCode(parentCode)) return 0;
  char chosen[32];
  int normal = 1, tagged = 5;
  void* keyframe = nullptr;
  if (name) {
    CostumeNameFields fields;
    drevCostume_SplitName(name, &fields);
    keyframe = drevResource_Get("KEYF", fields.field[0]);
    if (fields.count >= 2) {
      normal = drevCostume_FieldInt(fields, 1, 1);
      tagged = drevCostume_FieldInt(fields, 2, 5);
      if (fields.count < 3) LogDefaults(name);
    }
  } else {
    const char* path =
        drevCostume_PickComponentFile(kRequesterKeyframes, "Select keyframe file to add...",
                                      "Keyframe files (*.key)", chosen, sizeof chosen);
    if (!path) return 0;
    keyframe = drevResource_Get("KEYF", path);
    name = chosen;
  }
  if (!keyframe) {
    drevCostume_RefuseAdd("keyframe", name);
    return 0;
  }
  auto* owner =
      static_cast<CostumeKeyframeOwner*>(drevCostume_Alloc(sizeof(CostumeKeyframeOwner), __LINE__));
  if (!owner) return 0;
  Res_AddRef(&owner->rKeyframe, keyframe, "drevCostume.cpp", __LINE__);
  owner->normalPriority = normal;
  owner->taggedPriority = tagged;
  if (Register(costume, name, owner, code, parentHash, parentCode, &kKeyframeStates)) return 1;
  Res_ReleaseRef(&owner->rKeyframe);
  drevCostume_Free(owner);
  return 0;
}

int drevCostume_KeyframeFree(CosCostumeHandle, uint32_t, uintptr_t hash) {
  auto* owner = reinterpret_cast<CostumeKeyframeOwner*>(hash);
  if (!owner) return 1;
  Res_ReleaseRef(&owner->rKeyframe);
  drevCostume_Free(owner);
  return 1;
}

uintptr_t drevCostume_KeyframeInstanceData(CosInstHandle instance, int component, int mode) {
  if (mode == 0) {
    auto* data = reinterpret_cast<CostumeKeyframeData*>(
        Cos_InstGetInstanceData(instance, component, nullptr));
    if (data && data != &gEmptyKeyframe) {
      Res_ReleaseRef(&data->rKeyframe);
      drevCostume_Free(data);
    }
    return 0;
  }
  uintptr_t hash = 0;
  Cos_InstComponentInfo(instance, component, nullptr, &hash, nullptr);
  const auto* owner = reinterpret_cast<const CostumeKeyframeOwner*>(hash);
  if (!owner || !owner->rKeyframe.valid) {
    drevCostume_Assert("Bad keyframe Reference", __LINE__);
    return reinterpret_cast<uintptr_t>(&gEmptyKeyframe);
  }
  uint32_t parentCode = 0;
  const uintptr_t parent = ParentData(instance, component, &parentCode);
  auto* data =
      static_cast<CostumeKeyframeData*>(drevCostume_Alloc(sizeof(CostumeKeyframeData), __LINE__));
  if (!data) return reinterpret_cast<uintptr_t>(&gEmptyKeyframe);
  data->modelData = IsModelCode(parentCode) ? ThingOf(parent) : nullptr;
  Res_AddRef(&data->rKeyframe, owner->rKeyframe.object, "drevCostume.cpp", __LINE__);
  data->taggedPriority = owner->taggedPriority;
  data->normalPriority = owner->normalPriority;
  return reinterpret_cast<uintptr_t>(data);
}

namespace {

// The track of the puppet that plays this component's keyframe, or -1.
int TrackOf(const qxPuppet* puppet, const void* keyframe) {
  for (int t = 0; t < QXPUPPET_MAX_TRACKS; ++t) {
    if (puppet->tracks[t].status && puppet->tracks[t].keyframe == keyframe) return t;
  }
  return -1;
}

}  // namespace

int drevCostume_KeyframeApplyKey(uint32_t, uintptr_t data, int, int32_t key, int32_t sinceKey,
                                 int32_t, int, CosInstHandle instance) {
  auto* d = reinterpret_cast<CostumeKeyframeData*>(data);
  if (!d || d == &gEmptyKeyframe) return 0;
  if (!d->rKeyframe.valid) {
    drevCostume_Assert("Bad keyframe Reference", __LINE__);
    return 0;
  }
  CostumeThingData* model = d->modelData;
  qxPuppet* puppet = model && model->thing ? model->thing->puppet : nullptr;
  int32_t state = 0;
  if (!puppet || !drevCostume_ListValue(kKeyframeValues, kKeyframeStateCount, key, &state)) {
    return 0;
  }
  auto* keyframe = static_cast<qxKeyframe*>(d->rKeyframe.object);
  int t = TrackOf(puppet, keyframe);
  bool fresh = false;
  if (t < 0) {
    if (state > 7) return 1;
    t = qxPuppet_AddTrack(puppet, keyframe, d->normalPriority, d->taggedPriority);
    if (t < 0) return 1;
    // The track's callback finds the record by the thing's owner value.
    if (model->rTracks[t].valid) Res_ReleaseRef(&model->rTracks[t]);
    Res_AddRef(&model->rTracks[t], keyframe, "drevCostume.cpp", __LINE__);
    model->instance = instance;
    qxPuppet_SetTrackCallback(puppet, t, drevCostume_KeyframeTrackCallback);
    fresh = true;
  }
  qxPuppetTrack& track = puppet->tracks[t];
  const uint32_t generation = track.generation;
  // A new track catches up with the key's age (the puppet counts in frames);
  // a marker it passes may end or reuse the track, which ends the key.
  auto advance = [&]() {
    if (!fresh) return true;
    qxPuppet_AdvanceTrack(puppet, t, static_cast<float>(sinceKey) * 0.001f * track.rate);
    return track.generation == generation && track.status != 0;
  };
  switch (state) {
    case 0:
    case 2:
    case 3:
      if (!advance()) return 1;
      qxPuppet_ResetTrack(puppet, t);
      qxPuppet_SetTrackFlags(puppet, t, state == 0 ? 0x20u : state == 2 ? 0x40u : 0x80u);
      qxPuppet_PlayTrack(puppet, t);
      break;
    case 1:
      if (!advance()) return 1;
      if (!(track.status & (kTrackFadingIn | kTrackFadingOut))) qxPuppet_PlayTrack(puppet, t);
      break;
    case 4:
    case 5:
    case 6:
    case 7: {
      const float seconds[] = {1.0f, 0.5f, 0.25f, 0.125f};
      qxPuppet_FadeInTrack(puppet, t, seconds[state - 4]);
      advance();
      break;
    }
    case 8:
      if (!(track.status & kTrackFadingOut)) qxPuppet_RemoveTrack(puppet, t);
      break;
    case 9:
      qxPuppet_SetTrackFlags(puppet, t, kTrackPaused);
      break;
    case 10:
      track.status = (track.status & ~kTrackPaused) | kTrackPlaying;
      break;
    default: {
      const float seconds[] = {1.0f, 0.5f, 0.25f, 0.125f};
      qxPuppet_FadeOutTrack(puppet, t, seconds[state - 11]);
      break;
    }
  }
  return 1;
}

int drevCostume_KeyframeStop(uintptr_t data) {
  auto* d = reinterpret_cast<CostumeKeyframeData*>(data);
  if (!d || !d->rKeyframe.valid || !d->modelData || !d->modelData->thing) return 1;
  qxPuppet* puppet = d->modelData->thing->puppet;
  if (!puppet) return 1;
  const int t = TrackOf(puppet, d->rKeyframe.object);
  if (t >= 0 && !(puppet->tracks[t].status & kTrackFadingOut)) qxPuppet_RemoveTrack(puppet, t);
  return 1;
}

int drevCostume_KeyframeAdjust(uintptr_t* hash, CosComponent* component, int nameCapacity) {
  auto* owner = reinterpret_cast<CostumeKeyframeOwner*>(*hash);
  const char* labels[] = {"Tagged Priority", "Normal Priority"};
  int values[] = {owner->taggedPriority, owner->normalPriority};
  if (!drevTool_IntegerListDialog(component->name, labels, values, 2)) return 0;
  owner->taggedPriority = values[0];
  owner->normalPriority = values[1];
  const int written[] = {owner->normalPriority, owner->taggedPriority};
  RewriteName(component, nameCapacity, written, 2);
  return 1;
}

void drevCostume_KeyframeTrackCallback(int32_t owner, int32_t track, int32_t marker) {
  CostumeThingData* record = drevCostume_ThingFromOwner(owner);
  if (!record) return;
  if (marker != 0) {
    // Markers reach the scripts for the actor that wears the instance.
    if (Actor* actor = drevCostume_ActorOfInstance(record->instance)) {
      drevCostume_Calls().callMarkerHandler(drevActor_ToIndex(actor), marker);
    }
    return;
  }
  if (track >= 0 && track < QXPUPPET_MAX_TRACKS) Res_ReleaseRef(&record->rTracks[track]);
}

// ---- Sprites ('sprt') --------------------------------------------------------------

int drevCostume_SpriteAdd(CosCostumeHandle costume, uint32_t code, uintptr_t parentHash,
                          uint32_t parentCode, const char* name) {
  if (!parentHash || parentCode != kCostumeTagMesh) return 0;
  CostumeNameFields fields;
  float sizes[5] = {0, 0, 0, 0, 0};  // width, height, offset x, y, z
  char chosen[32];
  if (name) {
    drevCostume_SplitName(name, &fields);
    if (fields.count < 6) LogDefaults(name);
    for (int i = 0; i < 5; ++i) {
      sizes[i] = static_cast<float>(drevCostume_FieldInt(fields, i + 1, 0)) / 100.0f;
    }
  } else {
    const char* path =
        drevCostume_PickComponentFile(kRequesterMaterials, "Select mat file for sprite...",
                                      "Material files (*.mat)", chosen, sizeof chosen);
    if (!path) return 0;
    drevCostume_SplitName(chosen, &fields);
    name = chosen;
  }
  const char* file = fields.field[0];
  auto* owner =
      static_cast<CostumeSpriteOwner*>(drevCostume_Alloc(sizeof(CostumeSpriteOwner), __LINE__));
  if (!owner) return 0;
  const qxVector3 offset = {sizes[2], sizes[3], sizes[4]};
  owner->sprite = qxSprite_New(0, file, file, sizes[0], sizes[1], 5, 0, 1, 0.0f, &offset);
  if (!owner->sprite || !owner->sprite->material) {
    drevCostume_RefuseAdd("sprite", name);
    if (owner->sprite) qxSprite_Free(owner->sprite);
    drevCostume_Free(owner);
    return 0;
  }
  std::snprintf(owner->materialName, sizeof owner->materialName, "%s", file);
  const CosDataBlock list = {static_cast<int32_t>(owner->sprite->material->celCount) + 1, nullptr,
                             nullptr, nullptr, nullptr};
  if (Register(costume, name, owner, code, parentHash, kCostumeTagMesh, &list)) return 1;
  drevCostume_SpriteFree(costume, code, reinterpret_cast<uintptr_t>(owner));
  return 0;
}

int drevCostume_SpriteFree(CosCostumeHandle, uint32_t, uintptr_t hash) {
  auto* owner = reinterpret_cast<CostumeSpriteOwner*>(hash);
  if (!owner) return 1;
  if (owner->sprite) {
    qxMaterial_Free(owner->sprite->material);
    qxSprite_Free(owner->sprite);
  }
  drevCostume_Free(owner);
  return 1;
}

uintptr_t drevCostume_SpriteInstanceData(CosInstHandle instance, int component, int mode) {
  if (mode == 0) {
    auto* record =
        reinterpret_cast<CostumeThingData*>(Cos_InstGetInstanceData(instance, component, nullptr));
    if (!record || !record->thing || --record->refCount > 0) return 0;
    const int32_t owner = record->thing->owner;
    qxThing_Free(record->thing);
    drevCostume_UnregisterThing(owner);
    drevCostume_Free(record);
    return 0;
  }
  uintptr_t hash = 0;
  Cos_InstComponentInfo(instance, component, nullptr, &hash, nullptr);
  const auto* owner = reinterpret_cast<const CostumeSpriteOwner*>(hash);
  auto* record =
      static_cast<CostumeThingData*>(drevCostume_Alloc(sizeof(CostumeThingData), __LINE__));
  if (!owner || !record) {
    drevCostume_Free(record);
    return reinterpret_cast<uintptr_t>(drevCostume_EmptyThing());
  }
  const int32_t id = drevCostume_RegisterThing(record);
  qxThing* thing = qxThing_New(id);
  if (!thing || !qxThing_SetSprite3(thing, owner->sprite)) {
    qxThing_Free(thing);
    drevCostume_UnregisterThing(id);
    drevCostume_Free(record);
    return reinterpret_cast<uintptr_t>(drevCostume_EmptyThing());
  }
  record->sprite = owner->sprite;
  record->thing = thing;
  record->parentNode = -1;
  uint32_t parentCode = 0;
  const uintptr_t parent = ParentData(instance, component, &parentCode);
  if (parentCode == kCostumeTagMesh && parent) {
    const auto* mesh = reinterpret_cast<const CostumeMeshData*>(parent);
    record->parentRecord = mesh->modelData;
    record->parentNode = mesh->node;
  }
  record->visible = 0;
  record->refCount = 1;
  return reinterpret_cast<uintptr_t>(record);
}

int drevCostume_SpriteApplyKey(uint32_t, uintptr_t data, int, int32_t key, int32_t, int32_t, int,
                               CosInstHandle) {
  CostumeThingData* record = ThingOf(data);
  if (!record || !record->sprite || !record->sprite->material || key < 0) return 0;
  qxMaterial* material = record->sprite->material;
  if (key > static_cast<int32_t>(material->celCount)) return 0;
  if (key == 0) {
    record->visible = 0;
  } else {
    record->visible = 1;
    material->currentCel = key - 1;
  }
  return 1;
}

int drevCostume_SpriteAdjust(uintptr_t* hash, CosComponent* component, int nameCapacity) {
  auto* owner = reinterpret_cast<CostumeSpriteOwner*>(*hash);
  qxSprite* sprite = owner->sprite;
  if (!sprite) return 0;
  const char* labels[] = {"Width", "Height", "X", "Y", "Z"};
  const float current[] = {sprite->width, sprite->height, sprite->offset.x, sprite->offset.y,
                           sprite->offset.z};
  int values[5];
  for (int i = 0; i < 5; ++i) values[i] = static_cast<int>(current[i] * 100.0f + 0.2f);
  if (!drevTool_IntegerListDialog(component->name, labels, values, 5)) return 0;
  sprite->width = static_cast<float>(values[0]) / 100.0f;
  sprite->height = static_cast<float>(values[1]) / 100.0f;
  sprite->halfWidth = sprite->width / 2.0f;
  sprite->halfHeight = sprite->height / 2.0f;
  sprite->offset = {static_cast<float>(values[2]) / 100.0f, static_cast<float>(values[3]) / 100.0f,
                    static_cast<float>(values[4]) / 100.0f};
  RewriteName(component, nameCapacity, values, 5);
  return 1;
}
