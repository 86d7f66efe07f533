// Shared pieces of the script interface's tests: files written by the test,
// snippets run through the runtime, globals read back, and a fixture that
// starts the script interface on a given system script.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "script/drevLua.h"
#include "std/std.h"

inline void WriteFile(const char* name, const std::string& text) {
  FILE* f = std::fopen(name, "wb");
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}

// 0 when the snippet ran without error.
inline int RunLua(const std::string& code) {
  WriteFile("snippet.lua", code);
  return lua_dofile("snippet.lua");
}

// A global's string form ("" when it is not a string or number).
inline std::string GlobalText(const char* name) {
  lua_beginblock();
  lua_Object value = lua_getglobal(name);
  std::string text = lua_isstring(value) ? lua_getstring(value) : "";
  lua_endblock();
  return text;
}

// Starts the script interface on the system script that System() gives and
// stops it after each test.
class ScriptModuleTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    HostServices_CopyDefaults(&hs_);
    std_DefaultServices(&hs_);
    std_Startup(&hs_);
  }
  virtual const char* System() const { return ""; }
  void SetUp() override {
    WriteFile("_system.lua", System());
    ASSERT_EQ(0, drevLua_Initialize(&hs_, &desc_));
    ASSERT_EQ(0, desc_.startup());
    ASSERT_EQ(1, drevLua_RunSystemScript());
  }
  void TearDown() override {
    desc_.shutdown();
    desc_.uninitialize();
  }
  static inline HostServices hs_;
  ModuleDescriptor desc_{};
};
