// What the presentation tests share: the general library, the script
// runtime with the script interface module, the actor table, the text
// module, and one recording back end in the render-hook registry. Scripts
// run from snippets written to files; results come back through globals.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "actors/drevActor.h"
#include "engine/drevTime.h"
#include "platform/kv_Log.h"
#include "platform/kv_RenderHooks.h"
#include "presentation/drevText.h"
#include "script/drevLua.h"
#include "std/std.h"

namespace presentation_test {

// What the recording back end saw.
struct Recording {
  std::vector<TextObject*> drawn;
  std::vector<void*> freed;
  int extent[4] = {0, 0, 0, 0};  // x, y, width, height answered; all 0: no answer
  int lineHeight = 0;
};
inline Recording g_seen;

inline int RecordDraw(TextObject* object, int) {
  g_seen.drawn.push_back(object);
  return 1;
}
inline int RecordFreed(void* object) {
  g_seen.freed.push_back(object);
  return 0;
}
inline void AnswerExtent(void* font, TextObject* object, int* x, int* y, int* w, int* h) {
  if (font && h) *h = g_seen.lineHeight;
  if (!object || !g_seen.extent[2]) return;
  if (x) *x = g_seen.extent[0];
  if (y) *y = g_seen.extent[1];
  if (w) *w = g_seen.extent[2];
  if (h) *h = g_seen.extent[3];
}

// Save blocks through a memory transfer: Write appends, Read takes from g_at
// (1 on a short read).
inline std::vector<uint8_t> g_block;
inline size_t g_at = 0;
inline int Write(void* data, size_t n) {
  g_block.insert(g_block.end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + n);
  return 0;
}
inline int Read(void* data, size_t n) {
  if (g_at + n > g_block.size()) return 1;
  std::memcpy(data, g_block.data() + g_at, n);
  g_at += n;
  return 0;
}

inline void WriteFile(const char* name, const std::string& text) {
  FILE* f = std::fopen(name, "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}

class Presentation : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    HostServices_CopyDefaults(&hs_);
    std_DefaultServices(&hs_);
    std_Startup(&hs_);
  }
  void SetUp() override {
    g_seen = Recording{};
    kv_RenderHooks_ResetForTest();
    table_ = RenderHookTable{};
    table_.DrawTextObject = RecordDraw;
    table_.SurfaceFreed = RecordFreed;
    table_.GetTextExtent = AnswerExtent;
    kv_RenderHooks_Register(&table_);
    WriteFile("_system.lua", "");
    ASSERT_EQ(0, drevLua_Initialize(&hs_, &lua_));
    ASSERT_EQ(0, lua_.startup());
    ASSERT_EQ(0, drevActor_Initialize(&hs_, &actors_));
    ASSERT_EQ(0, actors_.startup());
    ASSERT_EQ(0, drevText_Initialize(&hs_, &text_));
    ASSERT_EQ(0, text_.startup());
    drevTime_SetFrameMs(16);
  }
  void TearDown() override {
    text_.shutdown();
    text_.uninitialize();
    actors_.shutdown();
    actors_.uninitialize();
    lua_.shutdown();
    lua_.uninitialize();
    kv_RenderHooks_ResetForTest();
  }

  // Runs a snippet; 0 when it ran.
  static int Run(const std::string& code) {
    WriteFile("snippet.lua", code);
    return lua_dofile("snippet.lua");
  }
  static float Number(const char* global) {
    lua_beginblock();
    const float v = lua_getnumber(lua_getglobal(global));
    lua_endblock();
    return v;
  }
  static bool IsNil(const char* global) {
    lua_beginblock();
    const bool nil = lua_isnil(lua_getglobal(global));
    lua_endblock();
    return nil;
  }
  static std::string String(const char* global) {
    lua_beginblock();
    const char* s = lua_getstring(lua_getglobal(global));
    std::string out = s ? s : "(null)";
    lua_endblock();
    return out;
  }
  static uint32_t UserValue(const char* global) {
    lua_beginblock();
    const auto v =
        static_cast<uint32_t>(reinterpret_cast<uintptr_t>(lua_getuserdata(lua_getglobal(global))));
    lua_endblock();
    return v;
  }
  static TextObject* TextGlobal(const char* global) {
    lua_beginblock();
    TextObject* object = drevText_FromHandle(lua_getglobal(global));
    lua_endblock();
    return object;
  }
  // A new actor and a global ACTR handle for it.
  static Actor* MakeActor(const char* global) {
    const int index = drevActor_New(0, 0);
    lua_beginblock();
    lua_pushusertag(reinterpret_cast<void*>(static_cast<intptr_t>(index)), kTagActor);
    lua_setglobal(global);
    lua_endblock();
    return drevActor_FromIndex(index);
  }
  static int Count() {
    int n = 0;
    for (TextObject* o = drevText_First(); o; o = o->next) ++n;
    return n;
  }

  static inline HostServices hs_;
  ModuleDescriptor lua_{}, actors_{}, text_{};
  RenderHookTable table_{};
};

}  // namespace presentation_test
