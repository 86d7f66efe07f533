// The editing interface: queries and edits of components, chores and keys
// for tools that build costumes. None of these adjusts live instances.
#include <cstring>

#include "chore/costume.h"
#include "chore/costume_Internal.h"

namespace {

CosChore* Cos_ChoreOf(CosCostume* costume, int chore) {
  costume = Cos_CheckCostume(costume);
  if (!costume || chore < 0 || chore >= costume->numChores) return nullptr;
  return &costume->chores[chore];
}

CosTrack* Cos_TrackOf(CosChore* chore, int component) {
  if (!chore) return nullptr;
  for (int t = 0; t < chore->numTracks; ++t) {
    if (chore->tracks[t].component == component) return &chore->tracks[t];
  }
  return nullptr;
}

int Cos_AddKey(CosCostume* costume, int chore, int component, int time, int tagClass,
               int32_t value) {
  costume = Cos_CheckCostume(costume);
  if (!costume || component < 0 || component >= costume->numComponents) return 0;
  const CosTag* tag = Cos_ComponentTag(&costume->components[component]);
  if (!tag || tag->tagClass != tagClass) return 0;
  CosKey* key = Cos_InsertKey(costume, chore, component, time);
  if (!key) return 0;
  key->value = value;
  return 1;
}

}  // namespace

// ---------------------------------------------------------------------------
// Queries

int CosUtil_CountComponents(CosCostume* costume) {
  costume = Cos_CheckCostume(costume);
  return costume ? costume->numComponents : 0;
}

CosComponent* CosUtil_CompPtrFromHandle(CosCostume* costume, int component) {
  costume = Cos_CheckCostume(costume);
  if (!costume || uint32_t(component) >= uint32_t(costume->numComponents)) return nullptr;
  return &costume->components[component];
}

void CosUtil_ComponentInfo(CosCostume* costume, int component, uint32_t* code, uintptr_t* hash,
                           int* parent, int* tagClass) {
  const CosComponent* record = CosUtil_CompPtrFromHandle(costume, component);
  if (!record) return;
  const CosTag* tag = Cos_ComponentTag(record);
  if (code) *code = tag ? tag->code : 0;
  if (hash) *hash = record->hash;
  if (parent) *parent = record->parent;
  if (tagClass) *tagClass = tag ? tag->tagClass : -1;
}

int CosUtil_CountChores(CosCostume* costume) {
  costume = Cos_CheckCostume(costume);
  return costume ? costume->numChores : 0;
}

CosChore* CosUtil_ChoreName(CosCostume* costume, int chore) {
  return Cos_ChoreOf(costume, chore);
}

int CosUtil_CountTags(void) {
  return cos_State.numTags;
}

const char* CosUtil_TagInfo(int tag, uint32_t* code) {
  if (tag < 0 || tag >= cos_State.numTags) return nullptr;
  if (code) *code = cos_State.tags[tag].code;
  return cos_State.tags[tag].name;
}

int CosUtil_ComponentHasAdjuster(CosCostume* costume, int component) {
  const CosTag* tag = Cos_ComponentTag(CosUtil_CompPtrFromHandle(costume, component));
  return tag && tag->callbacks.adjustComponent ? 1 : 0;
}

CosKey* CosUtil_QueryValueAtTime(CosCostume* costume, int chore, int component, int time) {
  CosTrack* track = Cos_TrackOf(Cos_ChoreOf(costume, chore), component);
  if (!track || track->numKeys <= 0) return nullptr;
  const uint32_t at = uint32_t(time);
  for (int k = 0; k < track->numKeys; ++k) {
    const uint32_t keyTime = uint32_t(track->keys[k].time);
    if (keyTime == at) return &track->keys[k];
    if (keyTime > at) return k > 0 ? &track->keys[k - 1] : nullptr;
  }
  return &track->keys[track->numKeys - 1];
}

// ---------------------------------------------------------------------------
// Components

int CosUtil_AddComponent(CosCostumeHandle costume, const char* name, uint32_t code,
                         uintptr_t parentHash, uint32_t parentCode) {
  if (!Cos_LiveCostume(costume)) return 0;
  const int tag = Cos_FindTag(code);
  if (tag < 0 || !cos_State.tags[tag].callbacks.addComponent) return 0;
  return cos_State.tags[tag].callbacks.addComponent(costume, code, parentHash, parentCode, name)
             ? 1
             : 0;
}

int CosUtil_AdjustComponent(CosCostume* costume, int component) {
  costume = Cos_CheckCostume(costume);
  const CosComponent* record = CosUtil_CompPtrFromHandle(costume, component);
  const CosTag* tag = Cos_ComponentTag(record);
  if (!tag || !tag->callbacks.adjustComponent) return 0;
  // The owner edits a copy, which is written back when the component is
  // still there: the callback may call back into the library.
  const int slot = Cos_IndexOfCostume(costume);
  CosComponent copy = *record;
  const int result = tag->callbacks.adjustComponent(&copy.hash, &copy, COS_NAME_SIZE);
  CosComponent* after = CosUtil_CompPtrFromHandle(Cos_LiveCostume(slot + 1), component);
  if (after) {
    copy.name[COS_NAME_SIZE - 1] = 0;
    memcpy(after->name, copy.name, COS_NAME_SIZE);
    after->hash = copy.hash;
  }
  return result;
}

int CosUtil_DeleteComponent(CosCostumeHandle handle, int component) {
  CosCostume* costume = Cos_LiveCostume(handle);
  if (!costume || uint32_t(component) >= uint32_t(costume->numComponents)) return 0;
  const int count = costume->numComponents;
  int* newIndex = static_cast<int*>(Cos_Alloc(sizeof(int) * size_t(count), __LINE__));
  if (!newIndex) return 0;
  // Mark the component and everything below it (-2 = removed). Parents come
  // before their children, so one pass in index order finds every descendant.
  for (int i = 0; i < count; ++i) newIndex[i] = 0;
  newIndex[component] = -2;
  for (int i = 0; i < count; ++i) {
    for (int at = costume->components[i].parent, steps = 0; at >= 0 && at < count && steps <= count;
         at = costume->components[at].parent, ++steps) {
      if (newIndex[at] == -2) {
        newIndex[i] = -2;
        break;
      }
    }
  }
  // Later namesakes of a removed component move down one ordinal.
  for (int i = 0; i < count; ++i) {
    if (newIndex[i] != -2) continue;
    const CosComponent& removed = costume->components[i];
    const CosTag* tag = Cos_ComponentTag(&removed);
    for (int ordinal = removed.ordinal + 1;; ++ordinal) {
      int found = -1;
      for (int j = 0; j < count; ++j) {
        const CosComponent& other = costume->components[j];
        const CosTag* otherTag = Cos_ComponentTag(&other);
        if (other.ordinal == ordinal && otherTag == tag &&
            Cos_NameEquals(other.name, removed.name)) {
          found = j;
          break;
        }
      }
      if (found < 0) break;
      costume->components[found].ordinal--;
    }
  }
  // Compact the components and renumber parents and tracks.
  int kept = 0;
  for (int i = 0; i < count; ++i) newIndex[i] = newIndex[i] == -2 ? -1 : kept++;
  for (int i = 0; i < count; ++i) {
    if (newIndex[i] < 0) Cos_FreeComponentData(&costume->components[i]);
  }
  for (int i = 0; i < count; ++i) {
    if (newIndex[i] < 0) continue;
    CosComponent& moved = costume->components[newIndex[i]];
    moved = costume->components[i];
    if (moved.parent >= 0 && moved.parent < count) moved.parent = newIndex[moved.parent];
  }
  costume->numComponents = kept;
  for (int c = 0; c < costume->numChores; ++c) {
    CosChore& chore = costume->chores[c];
    int keptTracks = 0;
    for (int t = 0; t < chore.numTracks; ++t) {
      CosTrack& track = chore.tracks[t];
      const int target =
          track.component >= 0 && track.component < count ? newIndex[track.component] : -1;
      if (target < 0) {
        Cos_MemFree(track.keys);
        continue;
      }
      track.component = target;
      chore.tracks[keptTracks++] = track;
    }
    chore.numTracks = keptTracks;
  }
  // The owners hear of each removed component, positions counted as the
  // removals go.
  int reported = 0;
  int* removedAt = newIndex;  // reuse: old indexes of removed components
  int numRemoved = 0;
  for (int i = 0; i < count; ++i) {
    if (newIndex[i] < 0) removedAt[numRemoved++] = i;
  }
  if (cos_State.compNotifier) {
    for (int r = 0; r < numRemoved; ++r) {
      CosCostume* current = Cos_LiveCostume(handle);
      if (!current) break;
      cos_State.compNotifier(current, nullptr, removedAt[r] - reported, 0);
      ++reported;
    }
  }
  Cos_MemFree(newIndex);
  return 1;
}

// ---------------------------------------------------------------------------
// Chores

int CosUtil_AddChore(CosCostume* costume) {
  costume = Cos_CheckCostume(costume);
  if (!costume) return -1;
  auto* chores = static_cast<CosChore*>(
      Cos_Realloc(costume->chores, sizeof(CosChore) * size_t(costume->numChores + 1), __LINE__));
  if (!chores) return -1;
  costume->chores = chores;
  CosChore& chore = chores[costume->numChores];
  memset(&chore, 0, sizeof chore);
  Cos_CopyName(chore.name, "<unnamed>");
  chore.length = 15;
  return costume->numChores++;
}

void CosUtil_DeleteChore(CosCostume* costume, int chore) {
  CosChore* record = Cos_ChoreOf(costume, chore);
  if (!record) return;
  costume = Cos_CheckCostume(costume);
  Cos_FreeChoreTracks(record);
  memmove(&costume->chores[chore], &costume->chores[chore + 1],
          sizeof(CosChore) * size_t(costume->numChores - chore - 1));
  costume->numChores--;
}

void CosUtil_NameChore(CosCostume* costume, int chore, const char* name) {
  CosChore* record = Cos_ChoreOf(costume, chore);
  if (!record || !name || strlen(name) >= COS_NAME_SIZE) return;
  Cos_CopyName(record->name, name);
  for (char& c : record->name) {
    if (c == ' ') c = '_';
  }
}

void CosUtil_SetChoreLength(CosCostume* costume, int chore, int length) {
  CosChore* record = Cos_ChoreOf(costume, chore);
  if (!record || length < 0) return;
  if (uint32_t(length) > uint32_t(record->length)) {
    record->length = length;
    return;
  }
  // Keys past the current end go; keys between the new and the old end stay.
  for (int t = 0; t < record->numTracks; ++t) {
    CosTrack& track = record->tracks[t];
    int kept = 0;
    while (kept < track.numKeys && uint32_t(track.keys[kept].time) <= uint32_t(record->length)) {
      ++kept;
    }
    if (kept < track.numKeys) {
      track.numKeys = kept;
      if (kept == 0) {
        Cos_MemFree(track.keys);
        track.keys = nullptr;
      } else if (auto* keys = static_cast<CosKey*>(
                     Cos_Realloc(track.keys, sizeof(CosKey) * size_t(kept), __LINE__))) {
        track.keys = keys;
      }
    }
  }
  record->length = length;
}

// ---------------------------------------------------------------------------
// Keys

int CosUtil_AddFSKey(CosCostume* costume, int chore, int component, int time, int value) {
  return Cos_AddKey(costume, chore, component, time, COS_TAG_STATE, value);
}

int CosUtil_AddIntKey(CosCostume* costume, int chore, int component, int time, int value) {
  return Cos_AddKey(costume, chore, component, time, COS_TAG_INT, value);
}

int CosUtil_AddFloatKey(CosCostume* costume, int chore, int component, int time, float value) {
  int32_t bits = 0;
  memcpy(&bits, &value, sizeof bits);
  return Cos_AddKey(costume, chore, component, time, COS_TAG_FLOAT, bits);
}

int CosUtil_DeleteKey(CosCostume* costume, int chore, int component, int time) {
  CosTrack* track = Cos_TrackOf(Cos_ChoreOf(costume, chore), component);
  if (!track) return 0;
  for (int k = 0; k < track->numKeys; ++k) {
    if (track->keys[k].time != time) continue;
    memmove(&track->keys[k], &track->keys[k + 1], sizeof(CosKey) * size_t(track->numKeys - k - 1));
    if (--track->numKeys == 0) {
      Cos_MemFree(track->keys);
      track->keys = nullptr;
    }
    return 1;
  }
  return 0;
}
