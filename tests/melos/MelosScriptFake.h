// A recording fake of the library operations that the music script and the
// file list use, and fake stream-file callbacks: every call is written as one
// line; the fake keeps a small table of playing sounds and triggers so that
// the script's questions get sensible answers.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "melos/Melos.h"
#include "melos/MelosFiles.h"
#include "melos/MelosScript.h"

namespace melos_fixtures {

struct FakeLibrary {
  struct Sound {
    int streamed;
    int block;
    int group;
  };
  struct Trigger {
    int32_t sound;
    std::string marker;
    int32_t command;
    int32_t args[10];
  };
  static inline std::vector<std::string> calls;
  static inline std::map<int32_t, Sound> playing;
  static inline std::vector<Trigger> triggers;
  // File callbacks: one fixed id per name, or the hint when it is one of the
  // host's stream ids (10000..10004).
  static inline std::map<std::string, int32_t> ids;
  static inline std::map<int32_t, std::string> open;
  static inline bool failOpen = false;

  static void Add(const std::string& line) { calls.push_back(line); }
  static std::string Hex(int32_t v) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%X", static_cast<unsigned>(v));
    return b;
  }

  static int GetParam(int32_t sound, int32_t param) {
    if (param == MELOS_PARAM_PENDING) {
      int n = 0;
      for (const Trigger& t : triggers)
        if ((t.command == 26 && t.args[1] == sound) || (t.command == 8 && t.args[0] == sound)) ++n;
      return n;
    }
    auto it = playing.find(sound);
    if (param == MELOS_PARAM_PLAYING) return it == playing.end() ? 0 : 1;
    if (it == playing.end()) return -4;
    if (param == MELOS_PARAM_STREAMED) return it->second.streamed;
    if (param == MELOS_PARAM_BLOCK) return it->second.block;
    if (param == MELOS_PARAM_GROUP) return it->second.group;
    return 0;
  }
  static int SetParam(int32_t sound, int32_t param, int32_t value) {
    Add("set " + std::to_string(sound) + " " + Hex(param) + " " + std::to_string(value));
    auto it = playing.find(sound);
    if (it == playing.end()) return -4;
    if (param == MELOS_PARAM_GROUP) it->second.group = value;
    return 0;
  }
  static int FadeParam(int32_t sound, int32_t param, int32_t target, int32_t ticks) {
    Add("fade " + std::to_string(sound) + " " + Hex(param) + " " + std::to_string(target) + " " +
        std::to_string(ticks));
    return 0;
  }
  static int SetHook(int32_t sound, int32_t hook) {
    Add("hook " + std::to_string(sound) + " " + std::to_string(hook));
    return 0;
  }
  static int SetTrigger(int32_t sound, const char* marker, int32_t command, const int32_t* args) {
    Trigger t{sound, marker ? marker : "", command, {}};
    std::string line =
        "trigger " + std::to_string(sound) + " " + t.marker + " " + std::to_string(command);
    int last = 0;
    for (int i = 0; i < 10; ++i) {
      t.args[i] = args ? args[i] : 0;
      if (t.args[i]) last = i + 1;
    }
    for (int i = 0; i < last; ++i) line += " " + std::to_string(t.args[i]);
    triggers.push_back(t);
    Add(line);
    return 0;
  }
  static int SwitchStream(int32_t from, int32_t to, int32_t ms, int32_t a, int32_t b) {
    Add("switch " + std::to_string(from) + " " + std::to_string(to) + " " + std::to_string(ms) +
        " " + std::to_string(a) + " " + std::to_string(b));
    auto it = playing.find(from);
    if (it == playing.end()) return -1;
    const Sound s = it->second;
    playing.erase(it);
    playing[to] = s;
    return 0;
  }
  static int ServiceStreams() {
    Add("service");
    return 0;
  }
  static int StartStream(int32_t sound, int32_t priority, int32_t block) {
    Add("stream " + std::to_string(sound) + " " + std::to_string(priority) + " " +
        std::to_string(block));
    playing[sound] = {1, block, 0};
    return 0;
  }
  static int StopAllSounds() {
    Add("stop all");
    playing.clear();
    return 0;
  }
  static int NextSound(int32_t sound) {
    auto it = playing.upper_bound(sound);
    return it == playing.end() ? 0 : it->first;
  }
  static int Pause() {
    Add("pause");
    return 1;
  }
  static int Resume() {
    Add("resume");
    return 0;
  }

  static int32_t Open(const char* name, int32_t hint) {
    Add(std::string("open ") + name + (hint ? " " + std::to_string(hint) : ""));
    if (failOpen) return 0;
    int32_t id = hint >= 10000 && hint <= 10004 ? hint : 0;
    if (!id) {
      auto it = ids.find(name);
      id = it != ids.end() ? it->second : 10001 + static_cast<int32_t>(ids.size());
    }
    ids[name] = id;
    open[id] = name;
    return id;
  }
  static int Close(int32_t id) {
    Add("close " + std::to_string(id));
    open.erase(id);
    return 0;
  }

  static void Install() {
    calls.clear();
    playing.clear();
    triggers.clear();
    ids.clear();
    open.clear();
    failOpen = false;
    MelosScriptCalls& c = MelosScript_Calls();
    c.getParam = GetParam;
    c.setParam = SetParam;
    c.fadeParam = FadeParam;
    c.setHook = SetHook;
    c.setTrigger = SetTrigger;
    c.switchStream = SwitchStream;
    c.serviceStreams = ServiceStreams;
    c.startStream = StartStream;
    c.stopAllSounds = StopAllSounds;
    c.nextSound = NextSound;
    c.pause = Pause;
    c.resume = Resume;
  }
  static void Uninstall() { MelosScript_ResetCalls(); }
  // The calls recorded since the last Take.
  static std::vector<std::string> Take() {
    std::vector<std::string> taken;
    taken.swap(calls);
    return taken;
  }
};

}  // namespace melos_fixtures
