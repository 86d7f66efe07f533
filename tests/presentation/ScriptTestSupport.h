// The render module's fixture with the script interface running: the core
// table, the primitives' table, and test rows that make actor and colour
// handles. Snippets run from a file in the test's working folder.
#pragma once

#include <cstdio>
#include <string>

#include "RenderTestSupport.h"
#include "presentation/drevPrimitive.h"
#include "script/drevLua.h"

inline void ScriptTest_MakeColor() {
  const auto value = static_cast<uint32_t>(static_cast<int64_t>(lua_getnumber(lua_lua2C(1))));
  lua_pushusertag(reinterpret_cast<void*>(static_cast<uintptr_t>(value)), kTagColor);
}

inline void ScriptTest_MakeActor() {
  const auto value = static_cast<intptr_t>(lua_getnumber(lua_lua2C(1)));
  lua_pushusertag(reinterpret_cast<void*>(value), kTagActor);
}

inline void ScriptTest_WriteFile(const char* name, const std::string& text) {
  FILE* f = std::fopen(name, "wb");
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}

class ScriptRenderTest : public RenderTest {
 protected:
  void SetUp() override {
    RenderTest::SetUp();
    ScriptTest_WriteFile("_system.lua", "function BOOT() end\n");
    ASSERT_EQ(drevLua_Initialize(hs_, &lua_), 0);
    ASSERT_EQ(lua_.startup(), 0);
    static const lua_Reg kRows[] = {{"Color", ScriptTest_MakeColor},
                                    {"Actor", ScriptTest_MakeActor}};
    drevLua_OpenLibrary(kRows, 2);
    ASSERT_EQ(drevLua_RunSystemScript(), 1);
    ASSERT_EQ(drevPrimitive_Initialize(hs_, &primitives_), 0);
    ASSERT_EQ(drevPrimitive_Startup(), 0);
    drevPrimitive_Purge();
  }
  void TearDown() override {
    drevPrimitive_Shutdown();
    drevPrimitive_Uninitialize();
    lua_.shutdown();
    lua_.uninitialize();
    RenderTest::TearDown();
  }
  // 0 when the snippet ran without error.
  int Run(const std::string& code) {
    ScriptTest_WriteFile("snippet.lua", code);
    return lua_dofile("snippet.lua");
  }
  ModuleDescriptor lua_{};
  ModuleDescriptor primitives_{};
};
