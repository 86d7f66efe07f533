#include "platform/kv_RenderHooks.h"
#include "render/SoftwareBackend.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "presentation/drevRender.h"
#include "std/std.h"
#include "std/stdDisplay.h"

namespace {

// What the recording back ends saw, in call order: "<backend>:<slot>".
std::vector<std::string> g_calls;
// Result each back end answers, by back-end letter.
std::map<char, int> g_results;

template <char Name>
struct Recorder {
  static void Record(const char* slot) { g_calls.push_back(std::string(1, Name) + ":" + slot); }
  static void SurfaceChanged(void*) { Record("SurfaceChanged"); }
  static int SurfaceFreed(void*) {
    Record("SurfaceFreed");
    return g_results[Name];
  }
  static void FramePhase(int phase) { Record(("FramePhase" + std::to_string(phase)).c_str()); }
  static int FillBuffer(DisplayBuffer*, uint32_t, const stdRect*) {
    Record("FillBuffer");
    return g_results[Name];
  }
  static int DrawShadow(const qxVector3*, int, int) {
    Record("DrawShadow");
    return g_results[Name];
  }
  static int DrawSprite(qxThing*, const qxMatrix34*) {
    Record("DrawSprite");
    return g_results[Name];
  }
  static int Line(qxCanvas*, int, int, int, int, int, int) {
    Record("Line");
    return g_results[Name];
  }
  static int ClippedLine(qxCanvas*, int, int, int, int, int, int) {
    Record("ClippedLine");
    return g_results[Name];
  }
  static int FillRect(qxCanvas*, int, int, int, int, int, int, float) {
    Record("FillRect");
    return g_results[Name];
  }
  static void DisplayChanged() { Record("DisplayChanged"); }
};

// Fake clock, settings and display-change mark.
double g_nowMs = 0.0;
std::map<std::string, float> g_settings;
float g_scaling = 1.0f;
int g_marks = 0;

const kvRenderHooksHost kHost = {[] { return g_nowMs; },
                                 [](const char* name, float def) {
                                   auto it = g_settings.find(name);
                                   return it == g_settings.end() ? def : it->second;
                                 },
                                 [] { return g_scaling; }, [] { ++g_marks; }};

class RenderHooks : public ::testing::Test {
 protected:
  void SetUp() override {
    kv_RenderHooks_ResetForTest();
    kv_RenderHooks_SetHost(&kHost);
    g_calls.clear();
    g_results.clear();
    g_settings.clear();
    g_nowMs = 1000.0;
    g_scaling = 1.0f;
    g_marks = 0;
  }
  void TearDown() override { kv_RenderHooks_ResetForTest(); }

  // Hardware fills slots 2, 20, 21; deferred 1, 2, 5, 12, 13, 21; software
  // 5, 7, 13, 14, 15, 20 (as the back ends do).
  void RegisterThree() {
    hw_ = {};
    hw_.SurfaceFreed = Recorder<'h'>::SurfaceFreed;
    hw_.FillRect = Recorder<'h'>::FillRect;
    hw_.DisplayChanged = Recorder<'h'>::DisplayChanged;
    de_ = {};
    de_.SurfaceChanged = Recorder<'d'>::SurfaceChanged;
    de_.SurfaceFreed = Recorder<'d'>::SurfaceFreed;
    de_.FramePhase = Recorder<'d'>::FramePhase;
    de_.DrawShadow = Recorder<'d'>::DrawShadow;
    de_.DrawSprite = Recorder<'d'>::DrawSprite;
    de_.DisplayChanged = Recorder<'d'>::DisplayChanged;
    sw_ = {};
    sw_.FramePhase = Recorder<'s'>::FramePhase;
    sw_.FillBuffer = Recorder<'s'>::FillBuffer;
    sw_.DrawSprite = Recorder<'s'>::DrawSprite;
    sw_.DrawLine = Recorder<'s'>::Line;
    sw_.DrawClippedLine = Recorder<'s'>::ClippedLine;
    sw_.FillRect = Recorder<'s'>::FillRect;
    ASSERT_EQ(kv_RenderHooks_Register(&hw_), &hw_);
    ASSERT_EQ(kv_RenderHooks_Register(&de_), &de_);
    ASSERT_EQ(kv_RenderHooks_Register(&sw_), &sw_);
    kv_RenderHooks_SetBackends(&hw_, &de_, &sw_);
    sw_.active = 0;
  }

  RenderHookTable hw_{}, de_{}, sw_{};
};

TEST_F(RenderHooks, RegisterSetsActiveAndRefusesTheNinth) {
  RenderHookTable tables[9] = {};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(kv_RenderHooks_Register(&tables[i]), &tables[i]);
    EXPECT_EQ(tables[i].active, 1);
  }
  EXPECT_EQ(kv_RenderHooks_Register(&tables[8]), nullptr);
  EXPECT_EQ(tables[8].active, 0);
  EXPECT_EQ(kv_RenderHooks_GetCount(), 8);
}

TEST_F(RenderHooks, DispatchOrderIgnoresActiveFlags) {
  RegisterThree();
  hw_.active = de_.active = sw_.active = 0;
  kv_RenderHooks_DisplayChanged();
  kv_RenderHooks_SurfaceChanged(nullptr);
  kv_RenderHooks_CameraChanged();  // nobody fills slot 8
  EXPECT_EQ(g_calls,
            (std::vector<std::string>{"h:DisplayChanged", "d:DisplayChanged", "d:SurfaceChanged"}));
}

TEST_F(RenderHooks, ResultRules) {
  RegisterThree();
  g_results = {{'h', 5}, {'d', 6}, {'s', 7}};
  // Software has no slot 2: the result is 0 whatever the others answer.
  EXPECT_EQ(kv_RenderHooks_SurfaceFreed(nullptr), 0);
  EXPECT_EQ(kv_RenderHooks_FillBuffer(nullptr, 0, nullptr), 7);
  EXPECT_EQ(kv_RenderHooks_FillRect(nullptr, 0, 0, 1, 1, 0, -1, 1.0f), 7);
  // Last filled slot: deferred for shadows, software for sprites.
  EXPECT_EQ(kv_RenderHooks_DrawShadow(nullptr, 3, 0), 6);
  EXPECT_EQ(kv_RenderHooks_DrawSprite(nullptr, nullptr), 7);
  de_.DrawShadow = nullptr;
  EXPECT_EQ(kv_RenderHooks_DrawShadow(nullptr, 3, 0), 0);
  // Object states and text: nobody here fills them, so 0.
  EXPECT_EQ(kv_RenderHooks_DrawTextObject(nullptr, 0), 0);
  EXPECT_EQ(
      kv_RenderHooks_BlitObjectStates(nullptr, 0, 0, 0, nullptr, 0, nullptr, 0, 0, 0, nullptr, 0),
      0);
  g_calls.clear();
  EXPECT_EQ(kv_RenderHooks_DrawLine(1, nullptr, 0, 0, 1, 1, 0, -1), 7);
  EXPECT_EQ(kv_RenderHooks_DrawLine(0, nullptr, 0, 0, 1, 1, 0, -1), 7);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"s:Line", "s:ClippedLine"}));
}

TEST(SmoothStep, Table) {
  const struct {
    float e0, e1, x, expected;
  } cases[] = {{0, 1, -1, 0}, {0, 1, 0, 0}, {0, 1, 0.5f, 0.5f}, {0, 1, 0.25f, 0.15625f},
               {0, 1, 1, 1},  {0, 1, 2, 1}, {2, 4, 3, 0.5f}};
  for (const auto& c : cases) EXPECT_FLOAT_EQ(kv_SmoothStep(c.e0, c.e1, c.x), c.expected) << c.x;
}

TEST_F(RenderHooks, ModeZeroNeverActivatesSoftware) {
  RegisterThree();
  for (int frame = 0; frame < 5; ++frame) {
    kv_RenderHooks_FramePhase(0);
    EXPECT_EQ(sw_.active, 0);
    EXPECT_EQ(de_.active, 1);
    g_nowMs += 300;
  }
  EXPECT_EQ(kv_RenderHooks_classicPicture, 0);
  EXPECT_EQ(hw_.active, 1);
}

TEST_F(RenderHooks, CrossFadeOverThreeQuartersOfASecond) {
  RegisterThree();
  kv_RenderHooks_FramePhase(0);  // first call: no time passes
  g_settings["RenderingMode"] = 1.0f;
  const struct {
    double advanceMs;
    float value;
    int deferred, software;
  } steps[] = {{0, 0.0f, 1, 0}, {375, 0.5f, 1, 1}, {375, 1.0f, 0, 1}, {500, 1.0f, 0, 1}};
  for (const auto& s : steps) {
    g_nowMs += s.advanceMs;
    kv_RenderHooks_FramePhase(0);
    EXPECT_FLOAT_EQ(kv_RenderHooks_GetFadeValue(), s.value) << s.advanceMs;
    EXPECT_EQ(de_.active, s.deferred);
    EXPECT_EQ(sw_.active, s.software);
    EXPECT_EQ(kv_RenderHooks_classicPicture, s.software);
  }
  EXPECT_EQ(hw_.active, 1);
}

// Without a deferred back end the software picture shows from the first
// frame, whatever RenderingMode says, and a later change of the setting
// does not fade toward a picture nobody draws.
TEST_F(RenderHooks, ClassicOnlyShowsTheSoftwarePictureWhateverTheSetting) {
  RegisterThree();
  kv_RenderHooks_SetBackends(&hw_, nullptr, &sw_);
  kv_RenderHooks_UseClassicOnly();
  for (float mode : {0.0f, 1.0f, 0.0f}) {
    g_settings["RenderingMode"] = mode;
    kv_RenderHooks_FramePhase(0);
    EXPECT_FLOAT_EQ(kv_RenderHooks_GetFadeValue(), 1.0f) << mode;
    EXPECT_EQ(sw_.active, 1);
    EXPECT_EQ(kv_RenderHooks_classicPicture, 1);
    g_nowMs += 400;
  }
  EXPECT_EQ(kv_RenderHooks_IsClassicOnly(), 1);
}

TEST_F(RenderHooks, ReversalMidFadeRestartsFromTheCurrentValue) {
  RegisterThree();
  kv_RenderHooks_FramePhase(0);
  g_settings["RenderingMode"] = 1.0f;
  kv_RenderHooks_FramePhase(0);
  g_nowMs += 375;
  kv_RenderHooks_FramePhase(0);
  ASSERT_FLOAT_EQ(kv_RenderHooks_GetFadeValue(), 0.5f);

  g_settings["RenderingMode"] = 0.0f;
  kv_RenderHooks_FramePhase(0);  // restart at 0.5, no time passed
  EXPECT_FLOAT_EQ(kv_RenderHooks_GetFadeValue(), 0.5f);
  g_nowMs += 375;
  kv_RenderHooks_FramePhase(0);  // x = 0.25
  EXPECT_FLOAT_EQ(kv_RenderHooks_GetFadeValue(), 0.15625f);
  EXPECT_EQ(de_.active, 1);
  EXPECT_EQ(sw_.active, 1);
  g_nowMs += 375;
  kv_RenderHooks_FramePhase(0);
  EXPECT_FLOAT_EQ(kv_RenderHooks_GetFadeValue(), 0.0f);
  EXPECT_EQ(sw_.active, 0);
}

TEST_F(RenderHooks, PhasesReachEveryBackEndAndPhaseThreeChecksTheDisplay) {
  RegisterThree();
  g_scaling = 1.5f;
  kv_RenderHooks_FramePhase(3);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"d:FramePhase3", "s:FramePhase3"}));
  EXPECT_EQ(g_marks, 1);
  // A fractional scaling is not seen as a change at every frame.
  for (int i = 0; i < 3; ++i) kv_RenderHooks_FramePhase(3);
  EXPECT_EQ(g_marks, 1);
  g_scaling = 1.75f;
  kv_RenderHooks_FramePhase(3);
  EXPECT_EQ(g_marks, 2);
  EXPECT_EQ(kv_RenderHooks_IsWidescreen(), 0);
  g_settings["Widescreen"] = 2.0f;
  kv_RenderHooks_FramePhase(3);
  EXPECT_EQ(g_marks, 3);
  EXPECT_EQ(kv_RenderHooks_IsWidescreen(), 1);
  kv_RenderHooks_FramePhase(1);
  EXPECT_EQ(g_marks, 3);
}

TEST_F(RenderHooks, SettingQueries) {
  const struct {
    const char* name;
    float value;
    int widescreen, newRendering, newLighting;
  } cases[] = {{"Widescreen", 2.9f, 1, 1, 1},      {"Widescreen", 1.0f, 0, 1, 1},
               {"RenderingMode", 0.5f, 0, 1, 1},   {"RenderingMode", 1.0f, 0, 0, 1},
               {"ClassicLighting", 1.0f, 0, 1, 0}, {"RenderingMode", 1e30f, 0, 1, 1}};
  for (const auto& c : cases) {
    g_settings.clear();
    g_settings[c.name] = c.value;
    EXPECT_EQ(kv_Platform_IsWidescreenSetting(), c.widescreen) << c.name << c.value;
    EXPECT_EQ(kv_Platform_IsNewRendering(), c.newRendering) << c.name << c.value;
    EXPECT_EQ(kv_Platform_IsNewLighting(), c.newLighting) << c.name << c.value;
  }
}

// ---------------------------------------------------------------------------
// The software back end.

HostServices g_hs;

struct LineCall {
  int x0, y0, x1, y1;
};
std::vector<LineCall> g_lines;
int g_blits = 0;

class SoftwareBackend : public RenderHooks {
 protected:
  void SetUp() override {
    RenderHooks::SetUp();
    HostServices_CopyDefaults(&g_hs);
    std_DefaultServices(&g_hs);
    std_Startup(&g_hs);
    g_lines.clear();
    g_blits = 0;
    recorder_ = {};
    recorder_.DrawClippedLine = [](qxCanvas*, int x0, int y0, int x1, int y1, int, int) {
      g_lines.push_back({x0, y0, x1, y1});
      return 1;
    };
    recorder_.Blit = [](DisplayBuffer*, kvSurface*, DisplayBuffer*, kvSurface*, int, int,
                        const stdRect*, int) { ++g_blits; };
    ASSERT_EQ(kv_RenderHooks_Register(&recorder_), &recorder_);
    software_ = InitSoftwareBackend();
    ASSERT_NE(software_, nullptr);
    kv_RenderHooks_SetBackends(nullptr, nullptr, software_);
  }
  RenderHookTable recorder_{};
  RenderHookTable* software_ = nullptr;
};

TEST_F(SoftwareBackend, TableFilling) {
  EXPECT_EQ(software_->active, 1);
  EXPECT_NE(software_->FramePhase, nullptr);
  EXPECT_NE(software_->Blit, nullptr);
  EXPECT_NE(software_->FillBuffer, nullptr);
  EXPECT_NE(software_->DrawSprite, nullptr);
  EXPECT_NE(software_->DrawLine, nullptr);
  EXPECT_NE(software_->DrawClippedLine, nullptr);
  EXPECT_NE(software_->FillRect, nullptr);
  EXPECT_EQ(software_->SurfaceFreed, nullptr);
  EXPECT_EQ(software_->DrawShadow, nullptr);
  EXPECT_EQ(software_->DisplayChanged, nullptr);
}

TEST_F(SoftwareBackend, FillRectIsOneClippedLinePerRow) {
  const struct {
    int y0, y1;
    size_t lines;
  } cases[] = {{2, 4, 3}, {5, 5, 1}, {6, 5, 0}};
  for (const auto& c : cases) {
    g_lines.clear();
    software_->FillRect(nullptr, 1, c.y0, 9, c.y1, 0, -1, 0.5f);
    ASSERT_EQ(g_lines.size(), c.lines) << c.y0 << ".." << c.y1;
    for (size_t i = 0; i < c.lines; ++i) {
      EXPECT_EQ(g_lines[i].y0, c.y0 + static_cast<int>(i));
      EXPECT_EQ(g_lines[i].y1, g_lines[i].y0);
      EXPECT_EQ(g_lines[i].x0, 1);
      EXPECT_EQ(g_lines[i].x1, 9);
    }
  }
}

TEST_F(SoftwareBackend, BlitCopiesAndDropsTwoCasesWhileInactive) {
  BufferFormat f{};
  f.width = 4;
  f.height = 2;
  f.format = {1, 16, 5, 6, 5, 11, 5, 0, 3, 2, 3, 0, 0, 0};
  DisplayBuffer* src = stdDisplay_NewBuffer(&f, 0, 0, nullptr);
  DisplayBuffer* dst = stdDisplay_NewBuffer(&f, 0, 0, nullptr);
  DisplayBuffer* other = stdDisplay_NewBuffer(&f, 0, 0, nullptr);
  // Stand-ins for the display's surfaces: never looked into.
  alignas(8) static char frontTag, backTag;
  auto* front = reinterpret_cast<kvSurface*>(&frontTag);
  auto* back = reinterpret_cast<kvSurface*>(&backTag);
  kv_RenderHooks_SetSoftwareSurfaces(front, back);
  drevRender_pCleanZBuffer = other;

  auto copied = [&](DisplayBuffer* d, kvSurface* ds, DisplayBuffer* s, kvSurface* ss) {
    stdDisplay_FillBuffer(s, 0x1234, nullptr);
    stdDisplay_FillBuffer(d, 0, nullptr);
    software_->Blit(d, ds, s, ss, 0, 0, nullptr, 0);
    return *static_cast<uint16_t*>(d->pixels) == 0x1234;
  };
  for (int active : {1, 0}) {
    software_->active = active;
    EXPECT_TRUE(copied(dst, nullptr, src, nullptr)) << active;
    EXPECT_EQ(copied(other, nullptr, src, nullptr), active == 1) << "z-buffer";
    EXPECT_EQ(copied(dst, front, src, back), active == 1) << "back to front";
    EXPECT_TRUE(copied(dst, back, src, front)) << active;
  }
  drevRender_pCleanZBuffer = nullptr;
  for (auto* b : {src, dst, other}) stdDisplay_FreeBuffer(b);
}

TEST_F(SoftwareBackend, ObjectStatesBroadcastOneBlitPerSource) {
  DisplayBuffer a{}, b{};
  kv_RenderHooks_BlitObjectStates(&a, 0, 0, 0, &b, 0, nullptr, 0, 0, 0, &b, 0);
  EXPECT_EQ(g_blits, 1);
  kv_RenderHooks_BlitObjectStates(&a, 0, 0, 0, &b, 0, &a, 1, 1, 1, &b, 0);
  EXPECT_EQ(g_blits, 3);
}

}  // namespace
