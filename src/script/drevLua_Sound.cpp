// The sound, music and movie script functions: the positional-sound
// parameters of the current set, cutscene movies, and thin bindings of the
// music system through its host layer.
//
// A sound argument is a name (string) or a number; a number is truncated to
// an integer and handed to the music host as its decimal text in the name's
// place.
#include <cstdint>
#include <cstdio>

#include "actors/drevActor.h"
#include "engine/drevMain.h"
#include "engine/drevRoom.h"
#include "script/drevLua.h"
#include "script/drevLua_Calls.h"
#include "script/drevLua_Rows.h"

namespace {

// Volume groups of the music system.
constexpr int kGroupMaster = 0;
constexpr int kGroupSfx = 1;
constexpr int kGroupVoice = 2;
constexpr int kGroupMusic = 3;
constexpr int kGroupCommentary = 5;
constexpr int kReadVolume = -1;

// Positional-sound defaults: SetSoundPosition's when no set is current, and
// the set's own defaults that SetSoundParameters(nil, nil, nil, nil, nil)
// puts back.
constexpr float kDefaultRange = 8.0f;
constexpr int kPositionMinVolume = 10;
constexpr int kSetMinVolume = 20;
constexpr int kMaxVolume = 127;
constexpr float kDefaultPanFactor = 1.5f;
constexpr float kDefaultNearDistance = 0.8f;

// The sound of argument n as the music host's name argument.
struct SoundArg {
  bool valid = false;  // a name or a number
  SoundName name;
};

SoundArg ReadSound(int n) {
  SoundArg s;
  const lua_Object o = lua_lua2C(n);
  if (lua_tag(o) == LUA_T_NUMBER) {
    s.name = SoundName(drevLua_ToInt(lua_getnumber(o)));
    s.valid = true;
  } else if (lua_tag(o) == LUA_T_STRING) {
    s.name = SoundName(lua_getstring(o));
    s.valid = true;
  }
  return s;
}

// A volume number truncated to 8 bits, at most 127.
int Volume8(float number) {
  const int v = drevLua_ToInt(number) & 0xFF;
  return v > kMaxVolume ? kMaxVolume : v;
}

// A parameter value: truncated toward zero, a negative value sent as 0.
int ParamValue(float number) {
  const int v = drevLua_ToInt(number);
  return v < 0 ? 0 : v;
}

void NoEffect() {}

// SetSoundPosition(sound, actor or x, y, z, minimum, maximum, range).
void SetSoundPosition() {
  float range = kDefaultRange;
  int minimum = kPositionMinVolume, maximum = kMaxVolume;
  if (Room* room = drevRoom_GetCurrent()) {
    float pan = 0.0f, nearDistance = 0.0f;
    drevRoom_GetSoundParameters(room, &range, &minimum, &maximum, &pan, &nearDistance);
  }
  const SoundArg sound = ReadSound(1);
  if (!sound.valid) return;
  qxVector3 position{};
  int next = 0;
  if (const Actor* actor = drevLua_ActorArg(2)) {
    position = actor->position;
    next = 3;
  } else if (drevLua_StoredNumberArg(2, &position.x)) {
    position.y = drevLua_NumberOr(3, 0.0f);
    position.z = drevLua_NumberOr(4, 0.0f);
    next = 5;
  } else {
    return;
  }
  float number = 0.0f;
  if (drevLua_NumberArg(next, &number)) minimum = Volume8(number);
  if (drevLua_NumberArg(next + 1, &number)) {
    maximum = Volume8(number);
    if (maximum < minimum) maximum = minimum;
  }
  if (drevLua_StoredNumberArg(next + 2, &number)) range = number < 0.0f ? 0.0f : number;
  drevLua_Calls().roomAddPositionalSound(sound.name, &position, minimum, maximum, range,
                                         kDefaultNearDistance);
}

// SetSoundParameters(range, minimum, maximum, factor 1, factor 2): all five
// nil puts the set's defaults back; otherwise each argument that is not nil
// replaces its parameter (an absent one reads as 0).
void SetSoundParameters() {
  Room* room = drevRoom_GetCurrent();
  if (!room) return;
  bool allNil = true;
  for (int i = 1; i <= 5; ++i) allNil = allNil && lua_isnil(lua_lua2C(i));
  if (allNil) {
    drevRoom_SetSoundParameters(room, kDefaultRange, kSetMinVolume, kMaxVolume, kDefaultPanFactor,
                                kDefaultNearDistance);
    return;
  }
  float range = 0.0f, pan = 0.0f, nearDistance = 0.0f;
  int minimum = 0, maximum = 0;
  drevRoom_GetSoundParameters(room, &range, &minimum, &maximum, &pan, &nearDistance);
  // Not nil: the number, or 0 for an absent argument (or any other value).
  auto given = [](int n, float* out) {
    if (lua_isnil(lua_lua2C(n))) return false;
    float value = 0.0f;
    *out = drevLua_StoredNumberArg(n, &value) ? value : 0.0f;
    return true;
  };
  float value = 0.0f;
  if (given(1, &value)) range = value;
  if (given(2, &value)) minimum = drevLua_ToInt(value) & 0xFF;
  if (given(3, &value)) maximum = drevLua_ToInt(value) & 0xFF;
  if (given(4, &value)) pan = value;
  if (given(5, &value)) nearDistance = value;
  drevRoom_SetSoundParameters(room, range, minimum, maximum, pan, nearDistance);
}

void GetSoundParameters() {
  Room* room = drevRoom_GetCurrent();
  if (!room) return;
  float range = 0.0f, pan = 0.0f, nearDistance = 0.0f;
  int minimum = 0, maximum = 0;
  drevRoom_GetSoundParameters(room, &range, &minimum, &maximum, &pan, &nearDistance);
  lua_pushnumber(range);
  lua_pushnumber(static_cast<float>(minimum));
  lua_pushnumber(static_cast<float>(maximum));
  lua_pushnumber(pan);
  lua_pushnumber(nearDistance);
}

void StartFullscreenMovie() {
  const lua_Object name = lua_lua2C(1);
  drevLuaCalls& calls = drevLua_Calls();
  calls.mouseSetMovieCursor(0);
  if (!lua_isstring(name)) {
    lua_pushnil();
    return;
  }
  const int loop = lua_isnil(lua_lua2C(2)) ? 0 : 1;
  drevLua_PushTruth(calls.startMovie(lua_getstring(name), 1, loop, -1, -1) != 0);
}

void StartMovie() {
  const lua_Object name = lua_lua2C(1);
  drevLuaCalls& calls = drevLua_Calls();
  calls.soundsFillStreams();
  if (!lua_isstring(name)) {
    lua_pushnil();
    return;
  }
  const int loop = lua_isnil(lua_lua2C(2)) ? 0 : 1;
  int x = -1, y = -1;
  drevLua_IntArg(3, &x);
  drevLua_IntArg(4, &y);
  drevLua_PushTruth(calls.startMovie(lua_getstring(name), 0, loop, x, y) != 0);
}

void StopMovie() {
  drevLua_Calls().tolveStop();
}

void PauseMovie() {
  drevLua_Calls().tolvePause(lua_isnil(lua_lua2C(1)) ? 0 : 1);
}

void IsMoviePlaying() {
  drevLua_PushTruth(drevLua_Calls().tolveIsPlaying() != 0);
}

void IsFullscreenMoviePlaying() {
  const drevLuaCalls& calls = drevLua_Calls();
  drevLua_PushTruth(GameState == kGameCutscene ||
                    (calls.movieIsActive() && calls.movieIsRunning()));
}

// ---- Music ----------------------------------------------------------------------------

// The name of a sound that may be nil: null for nil or any other value.
const char* NameOrNull(int n) {
  const lua_Object o = lua_lua2C(n);
  return lua_tag(o) == LUA_T_STRING ? lua_getstring(o) : nullptr;
}

void MelosStartSound() {
  int priority = 0, group = 0;
  if (!drevLua_IntArg(2, &priority) || !drevLua_IntArg(3, &group)) return;
  const SoundArg sound = ReadSound(1);
  const int id = drevLua_Calls().soundsStartSound(sound.name, priority, group);
  lua_pushnumber(static_cast<float>(id));
}

void MelosStopSound() {
  const SoundArg sound = ReadSound(1);
  if (sound.valid) drevLua_Calls().soundsStopSound(sound.name);
}

void MelosStopAllSounds() {
  drevLua_Calls().melosStopAllSounds();
}

void MelosGetParam() {
  const SoundArg sound = ReadSound(1);
  if (!sound.valid) {
    lua_pushnumber(-1);
    return;
  }
  int parameter = 0;
  drevLua_IntArg(2, &parameter);
  lua_pushnumber(static_cast<float>(drevLua_Calls().soundsGetParam(sound.name, parameter)));
}

void MelosSetParam() {
  const SoundArg sound = ReadSound(1);
  int parameter = 0;
  float value = 0.0f;
  if (!sound.valid || !drevLua_IntArg(2, &parameter) || !drevLua_NumberArg(3, &value)) return;
  drevLua_Calls().soundsSetParam(sound.name, parameter, ParamValue(value));
}

void MelosFadeParam() {
  const SoundArg sound = ReadSound(1);
  if (!sound.valid) {
    lua_pushnumber(0);
    return;
  }
  int parameter = 0, milliseconds = 0;
  float value = 0.0f;
  if (!drevLua_IntArg(2, &parameter) || !drevLua_NumberArg(3, &value) ||
      !drevLua_IntArg(4, &milliseconds))
    return;
  drevLua_Calls().soundsFadeParam(sound.name, parameter, ParamValue(value), milliseconds);
}

template <int Group>
void GetGroupVolume() {
  lua_pushnumber(static_cast<float>(drevLua_Calls().melosGroupVolume(Group, kReadVolume)));
}

template <int Group>
void SetGroupVolume() {
  int volume = 0;
  if (drevLua_IntArg(1, &volume)) drevLua_Calls().melosGroupVolume(Group, volume);
}

void MelosStartVoice() {
  int first = 0, second = 0;
  if (!drevLua_IntArg(2, &first) || !drevLua_IntArg(3, &second)) return;
  drevLua_Calls().soundsStartVoice(NameOrNull(1), first, second);
}

void MelosStopVoice() {
  drevLua_Calls().soundsStopVoice();
}

void MelosSetState() {
  int state = 0;
  if (drevLua_IntArg(1, &state)) drevLua_Calls().queueMusicState(state);
}

void MelosSetSequence() {
  int sequence = 0;
  if (!drevLua_IntArg(1, &sequence)) return;
  lua_pushnumber(static_cast<float>(drevLua_Calls().melosSetSequence(sequence)));
}

void MelosSetCuePoint() {
  int cue = 0;
  if (drevLua_IntArg(1, &cue)) drevLua_Calls().melosSetCuePoint(cue);
}

void MelosSetAttribute() {
  int attribute = 0, value = 0;
  if (!drevLua_IntArg(1, &attribute) || !drevLua_IntArg(2, &value)) return;
  lua_pushnumber(static_cast<float>(drevLua_Calls().melosSetAttribute(attribute, value)));
}

void MelosPause() {
  drevLua_Calls().melosPause();
}

void MelosResume() {
  drevLua_Calls().melosResume();
}

void MelosSetVoiceEffect() {
  drevLua_Calls().soundsSetVoiceEffect(NameOrNull(1));
}

void MelosGetMemoryFootprint() {
  lua_pushnumber(static_cast<float>(drevLua_Calls().soundsGetMemoryFootprint()));
}

void MelosGetSoundCacheSize() {
  lua_pushnumber(static_cast<float>(drevLua_Calls().soundsGetSoundCacheSize()));
}

void MelosStartRecording() {
  const char* name = NameOrNull(1);
  if (!name) return;
  drevLua_Calls().melosStartRecording(name, lua_isnil(lua_lua2C(2)) ? 0 : 1);
}

void MelosStopRecording() {
  drevLua_Calls().melosStopRecording();
}

void SaveMelos() {
  drevLua_Calls().snapshotMelos();
}

void RestoreMelos() {
  drevLua_Calls().restoreMelosSnapshot();
}

constexpr lua_Reg kRows[] = {
    {"PlaySound", NoEffect},
    {"PlaySoundAt", NoEffect},
    {"PlaySoundAttached", NoEffect},
    {"IsSoundPlaying", NoEffect},
    {"SetSoundPosition", SetSoundPosition},
    {"SetSoundParameters", SetSoundParameters},
    {"GetSoundParameters", GetSoundParameters},
    {"StartFullscreenMovie", StartFullscreenMovie},
    {"StartMovie", StartMovie},
    {"StopMovie", StopMovie},
    {"PauseMovie", PauseMovie},
    {"IsMoviePlaying", IsMoviePlaying},
    {"IsFullscreenMoviePlaying", IsFullscreenMoviePlaying},
    {"MelosStartSound", MelosStartSound},
    {"MelosStopSound", MelosStopSound},
    {"MelosStopAllSounds", MelosStopAllSounds},
    {"MelosGetParam", MelosGetParam},
    {"MelosSetParam", MelosSetParam},
    {"MelosFadeParam", MelosFadeParam},
    {"MelosGetMasterVol", GetGroupVolume<kGroupMaster>},
    {"MelosGetSfxVol", GetGroupVolume<kGroupSfx>},
    {"MelosGetVoiceVol", GetGroupVolume<kGroupVoice>},
    {"MelosGetMusicVol", GetGroupVolume<kGroupMusic>},
    {"MelosGetCommentaryVol", GetGroupVolume<kGroupCommentary>},
    {"MelosSetMasterVol", SetGroupVolume<kGroupMaster>},
    {"MelosSetSfxVol", SetGroupVolume<kGroupSfx>},
    {"MelosSetVoiceVol", SetGroupVolume<kGroupVoice>},
    {"MelosSetMusicVol", SetGroupVolume<kGroupMusic>},
    {"MelosSetCommentaryVol", SetGroupVolume<kGroupCommentary>},
    {"MelosStartVoice", MelosStartVoice},
    {"MelosStopVoice", MelosStopVoice},
    {"MelosSetState", MelosSetState},
    {"MelosSetSequence", MelosSetSequence},
    {"MelosSetCuePoint", MelosSetCuePoint},
    {"MelosSetAttribute", MelosSetAttribute},
    {"MelosPause", MelosPause},
    {"MelosResume", MelosResume},
    {"MelosSetVoiceEffect", MelosSetVoiceEffect},
    {"MelosGetMemoryFootprint", MelosGetMemoryFootprint},
    {"MelosGetSoundCacheSize", MelosGetSoundCacheSize},
    {"MelosStartRecording", MelosStartRecording},
    {"MelosStopRecording", MelosStopRecording},
    {"SaveMelos", SaveMelos},
    {"RestoreMelos", RestoreMelos},
};

}  // namespace

std::span<const lua_Reg> drevLua_SoundRows(void) {
  return kRows;
}
