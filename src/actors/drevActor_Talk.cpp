// Actor talking and voice: say-lines with their voice file (the voice stream
// or a speech sound), the say-line text, lip sync through the talk chores or
// the mumble chore, the four talking slots and the talk step.
#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstring>

#include "actors/drevActor.h"
#include "actors/drevActor_Internal.h"
#include "actors/drevCostume.h"
#include "chore/costume.h"
#include "platform/kv_Language.h"
#include "std/std.h"

namespace {

// Sound id of the single voice stream.
constexpr int kVoiceStream = 10000;
// Playing parameter of the music system: above 0 while the sound plays.
constexpr int kParamPlaying = 0x100;
constexpr int kParamVolume = 0x600;
constexpr int kSpeechOn = 2;
constexpr int kTextOn = 1;

struct LipShape {
  uint32_t code;
  uint16_t mouth;
};

// Phoneme codes of the lip-sync data and the mouth each shows (mouth i is
// talk chore i + 1), sorted by code for the bisection.
constexpr auto kLipShapes = [] {
  std::array<LipShape, 46> t = {{
      {0x005F, 0}, {0x0061, 1}, {0x0065, 1}, {0x00E6, 1}, {0x0251, 1}, {0x0254, 1}, {0x0259, 1},
      {0x0064, 2}, {0x006B, 2}, {0x0072, 2}, {0x0073, 2}, {0x0074, 2}, {0x007A, 2}, {0x0279, 2},
      {0x027B, 2}, {0x027E, 2}, {0x0283, 2}, {0x0292, 2}, {0x02A4, 2}, {0x02A7, 2}, {0x0069, 3},
      {0x0066, 4}, {0x0076, 4}, {0x006C, 5}, {0x00F0, 5}, {0x026B, 5}, {0x03B8, 5}, {0x0062, 6},
      {0x006D, 6}, {0x0070, 6}, {0x006F, 7}, {0x0067, 8}, {0x0068, 8}, {0x006A, 8}, {0x006E, 8},
      {0x014B, 8}, {0x025B, 8}, {0x0261, 8}, {0x0268, 8}, {0x026A, 8}, {0x028C, 8}, {0x0075, 9},
      {0x0077, 9}, {0x025A, 9}, {0x025D, 9}, {0x028A, 9},
  }};
  std::sort(t.begin(), t.end(),
            [](const LipShape& a, const LipShape& b) { return a.code < b.code; });
  return t;
}();

// The decimal text by which a sound id travels where the music system takes a name.
bool InSlot(int index) {
  for (int slot : drevActor_State().talking) {
    if (slot == index) return true;
  }
  return false;
}

// Plays the talk or mumble chore of a slot on the node that holds it.
void CompleteChore(Actor* actor, int slot) {
  int chore = -1;
  if (const CostumeNode* n = drevActor_FindChore(actor, slot, &chore)) {
    Cos_InstCompleteChore(n->instance, chore);
  }
}

// The voice or the speech sound placed at the actor.
void PlaceVoice(Actor* actor, int sound) {
  if (!(actor->flags & ACTOR_VOICE_3D)) return;
  drevActor_Calls().roomAddPositionalSound(sound, &actor->position, 20, 127, 8.0f, 0.8f);
}

}  // namespace

int drevActor_LipShapeMouth(uint32_t code) {
  if (code == 0x5F) return 0;
  size_t low = 0, high = kLipShapes.size();
  while (low < high) {
    const size_t mid = (low + high) / 2;
    if (kLipShapes[mid].code == code) return kLipShapes[mid].mouth;
    if (kLipShapes[mid].code < code) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  return 1;
}

int drevActor_FindVoiceFile(const char* base, char* out, int capacity) {
  if (out && capacity > 0) out[0] = 0;
  if (!base || !base[0] || !out || capacity <= 0) return 0;
  HostServices* hs = std_pHS;
  if (!hs || !hs->fileOpen || !hs->fileClose) return 0;
  for (const char* extension : {"wvc", "wav", "mlc", "mlu"}) {
    char name[128];
    const int n = std::snprintf(name, sizeof name, "%s.%s", base, extension);
    if (n < 0 || n >= static_cast<int>(sizeof name)) return 0;
    const stdFile_t file = hs->fileOpen(name, "rb");
    if (!file) continue;
    hs->fileClose(file);
    std::snprintf(out, static_cast<size_t>(capacity), "%s", name);
    return 1;
  }
  return 0;
}

int drevActor_IsVoicePlaying(Actor* actor) {
  const ActorExtra* x = actor ? actor->pExtra : nullptr;
  if (!x || !x->speechName[0]) return 0;
  if (x->voiceSound == kVoiceStream) {
    return drevActor_Calls().melosGetParam(kVoiceStream, kParamPlaying) > 0 ? 1 : 0;
  }
  return drevActor_Calls().soundIsPlaying(x->speechName) ? 1 : 0;
}

void drevActor_SayLine(Actor* actor, const char* text, int useStream, int volume, int pan, int x,
                       int y) {
  if (!actor) return;
  if (!actor->pExtra) drevActor_CreateExtra(actor);
  ActorExtra* e = actor->pExtra;
  if (!e) return;
  ActorModule& g = drevActor_State();
  const drevActorCalls& calls = drevActor_Calls();
  const bool textOn = (g.speechMode & kTextOn) != 0;
  const bool voiceOn = (g.speechMode & kSpeechOn) != 0;

  // The message id and the text to show.
  char messageId[32];
  const char* shown = drevActor_Calls().textTranslate(text ? text : "", messageId);
  char lineId[sizeof e->lineIdWhole];
  std::snprintf(lineId, sizeof lineId, "%s_%s", kv_Language_GetCode(), messageId);
  char file[64];
  if (!drevActor_FindVoiceFile(lineId, file, sizeof file)) {
    drevActor_FindVoiceFile(messageId, file, sizeof file);
  }

  if (e->talking) {
    if (std::strcmp(lineId, e->lineIdWhole) == 0) return;  // the same line goes on
    drevActor_ShutUp(actor);
  }
  e->talkTimeLeft = 0;
  e->talking = 1;
  std::memset(e->lineId, 0, sizeof e->lineId);  // the first 12 characters, for the save
  std::memcpy(e->lineId, lineId, std::min(std::strlen(lineId), sizeof e->lineId));
  std::snprintf(e->lineIdWhole, sizeof e->lineIdWhole, "%s", lineId);
  ++g.talkingCount;
  const int index = drevActor_ToIndex(actor);
  for (int& slot : g.talking) {
    if (slot < 0) {
      slot = index;
      break;
    }
  }

  if (voiceOn) {
    e->speechName[0] = 0;
    if (!file[0]) {
      // No recording: the line is text.
    } else if (!useStream) {
      e->voiceSound = calls.soundStartSpeech(file, 127, 2);
      if (e->voiceSound) {
        calls.soundSetParam(e->voiceSound, kParamVolume, volume);
        PlaceVoice(actor, e->voiceSound);
        std::snprintf(e->speechName, sizeof e->speechName, "%.14s", file);
        e->lipSync = static_cast<int32_t>(calls.soundLipSyncShape(e->voiceSound, 0));
      }
    } else if (calls.soundStartVoice(file, volume, pan) == 0) {
      e->voiceSound = kVoiceStream;
      PlaceVoice(actor, kVoiceStream);
      std::snprintf(e->speechName, sizeof e->speechName, "%.14s", file);
      e->lipSync = static_cast<int32_t>(calls.soundLipSyncShape(kVoiceStream, 0));
    }
    e->talkTimeLeft = -1;
  }

  if (textOn || !e->speechName[0]) {
    e->sayLineText = drevActor_Calls().textMakeSayLine(actor, shown, x, y);
    if (!e->speechName[0]) {
      const long length = static_cast<long>(std::min<size_t>(std::strlen(shown), 100000));
      e->talkTimeLeft = static_cast<int32_t>((11 - g.textSpeed) * length * 15 + 640);
    }
    e->sayLineText = drevActor_Calls().textRegister(e->sayLineText, -1, 0xD);
    // Lines spoken at once: the voice stream's text hides the others'.
    for (int slot : g.talking) {
      Actor* other = slot >= 0 && slot != index ? drevActor_FromIndex(slot) : nullptr;
      const ActorExtra* o = other ? other->pExtra : nullptr;
      if (!o || !o->sayLineText) continue;
      if (useStream) {
        drevActor_Calls().textHide(o->sayLineText);
      } else if (o->voiceSound == kVoiceStream && e->sayLineText) {
        drevActor_Calls().textHide(e->sayLineText);
      }
    }
  }

  // Lip sync needs a talk chore among 2..10 in the top run of the stack.
  if (e->lipSync && actor->costumeTop) {
    bool found = false;
    for (int k = 2; k <= 10 && !found; ++k) {
      found = drevActor_FindChore(actor, kActorChoreTalk(k), nullptr) != nullptr;
    }
    if (!found) e->lipSync = 0;
  }
  if (!e->speechName[0] || !e->lipSync) {
    int chore = -1;
    if (const CostumeNode* n = drevActor_FindChore(actor, kActorChoreMumble, &chore)) {
      Cos_InstPlayChore(n->instance, chore, 1, 0);
    }
  }
}

void drevActor_UpdateTalkOne(Actor* actor, float seconds) {
  ActorExtra* e = actor ? actor->pExtra : nullptr;
  if (!e || !e->talking) return;
  if (e->speechName[0] && e->lipSync && actor->costumeTop) {
    const uint32_t shape = drevActor_Calls().soundLipSyncShape(e->voiceSound, 0);
    if (!shape) {
      drevActor_ShutUp(actor);
      return;
    }
    CompleteChore(actor, kActorChoreTalk(drevActor_LipShapeMouth(shape) + 1));
  }
  const float left = static_cast<float>(e->talkTimeLeft) + seconds * -1000.0f;
  e->talkTimeLeft = left > -2.0e9f ? static_cast<int32_t>(left) : -2000000000;
  if ((e->speechName[0] && !drevActor_IsVoicePlaying(actor)) ||
      (!e->speechName[0] && e->talkTimeLeft < 0)) {
    drevActor_ShutUp(actor);
  }
}

void drevActor_UpdateTalking(float seconds) {
  ActorModule& g = drevActor_State();
  int slotted = 0;
  for (int index : g.talking) slotted += index >= 0 ? 1 : 0;
  // Talkers beyond the four slots are timed and ended too, so the talking
  // count comes back to 0.
  const bool beyondSlots = g.talkingCount > slotted;
  for (int i = 0; i < ACTOR_TALK_SLOTS; ++i) {
    if (g.talking[i] >= 0) drevActor_UpdateTalkOne(drevActor_FromIndex(g.talking[i]), seconds);
  }
  if (!beyondSlots) return;
  for (int i = 0; i < g.recordCount; ++i) {
    Actor* a = drevActor_FromIndex(i);
    if (a && a->inUse && a->pExtra && a->pExtra->talking && !InSlot(i)) {
      drevActor_UpdateTalkOne(a, seconds);
    }
  }
}

void drevActor_ShutUp(Actor* actor) {
  ActorExtra* e = actor ? actor->pExtra : nullptr;
  if (!e) return;
  ActorModule& g = drevActor_State();
  const drevActorCalls& calls = drevActor_Calls();
  if (e->speechName[0]) {
    if (e->voiceSound == kVoiceStream) {
      calls.soundStopVoice();
    } else {
      calls.soundStop(e->voiceSound);
    }
  }
  if (e->sayLineText) drevActor_Calls().textDestroy(e->sayLineText);
  if (actor->costumeTop) {
    int chore = -1;
    if (const CostumeNode* n = drevActor_FindChore(actor, kActorChoreMumble, &chore)) {
      if (Cos_InstChoreStatus(n->instance, chore) != 0) Cos_InstStopChore(n->instance, chore);
    }
    CompleteChore(actor, kActorChoreTalk(1));  // the mouth closes
  }
  const int index = drevActor_ToIndex(actor);
  for (int& slot : g.talking) {
    if (slot == index) slot = -1;
  }
  e->lipSync = 0;
  e->speechName[0] = 0;
  std::memset(e->lineId, 0, sizeof e->lineId);
  e->lineIdWhole[0] = 0;
  e->sayLineText = nullptr;
  const bool wasTalking = e->talking != 0;
  e->talking = 0;
  if (wasTalking && g.talkingCount > 0) --g.talkingCount;
}

int drevActor_CountTalking(void) {
  return drevActor_State().talkingCount;
}

int drevActor_SetSpeechMode(int mode) {
  ActorModule& g = drevActor_State();
  if (mode != g.speechMode && (mode & (kTextOn | kSpeechOn))) g.speechMode = mode;
  return g.speechMode;
}

int drevActor_GetSpeechMode(void) {
  return drevActor_State().speechMode;
}

int drevActor_SetTextSpeed(int speed) {
  ActorModule& g = drevActor_State();
  g.textSpeed = std::clamp(speed, 1, 10);
  return g.textSpeed;
}

int drevActor_GetTextSpeed(void) {
  return drevActor_State().textSpeed;
}
