// Palette effects: the effect table, combining and the per-frame update.
#include "std/stdPaletteFx.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

constexpr int kPaletteBytes = 768;

PaletteEffect g_effects[stdPaletteFx_kMaxEffects];
int g_activeCount = 0;
PaletteFxState g_state;
stdPaletteFx_Callback g_callback = nullptr;
uint8_t g_working[kPaletteBytes];

bool Valid(int index) {
  return index >= 0 && index < stdPaletteFx_kMaxEffects;
}

uint8_t Clamp255(int v) {
  return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

// A computed channel clamped to 0..255 (NaN gives 0).
uint8_t ClampChannel(float v) {
  if (!(v > 0.0f)) return 0;
  return v >= 255.0f ? 255 : static_cast<uint8_t>(v);
}

// One tinted channel: c + trunc(amount x c + 0.5), clamped.
uint8_t Tint(uint8_t c, float amount) {
  return ClampChannel(static_cast<float>(c) + std::trunc(amount * c + 0.5f));
}

// Sums of adds stay in the 32-bit range.
int32_t AddSaturated(int32_t a, int32_t b) {
  return static_cast<int32_t>(
      std::clamp<int64_t>(static_cast<int64_t>(a) + b, INT32_MIN, INT32_MAX));
}

bool AnyFilter(const PaletteEffectBody& b) {
  return b.filterR || b.filterG || b.filterB;
}
bool AnyTint(const PaletteEffectBody& b) {
  return b.tintR != 0.0f || b.tintG != 0.0f || b.tintB != 0.0f;
}
bool AnyAdd(const PaletteEffectBody& b) {
  return b.addR || b.addG || b.addB;
}
bool AnyFade(const PaletteEffectBody& b) {
  return b.fade < 1.0f;
}

}  // namespace

int stdPaletteFx_Startup(stdPaletteFx_Callback callback) {
  g_callback = callback;
  stdPaletteFx_Reset();
  stdPaletteFx_InitState(&g_state);
  g_state.filterEnabled = g_state.tintEnabled = g_state.addEnabled = g_state.fadeEnabled = 1;
  return 1;
}

void stdPaletteFx_Reset(void) {
  std::memset(g_effects, 0, sizeof g_effects);
  g_activeCount = 0;
}

void stdPaletteFx_SetCallback(stdPaletteFx_Callback callback) {
  g_callback = callback;
}

int stdPaletteFx_NewEffect(uint32_t owner) {
  for (int i = 0; i < stdPaletteFx_kMaxEffects; ++i) {
    if (!g_effects[i].active) {
      g_effects[i].active = 1;
      g_effects[i].owner = owner;
      stdPaletteFx_InitEffect(&g_effects[i].body);
      ++g_activeCount;
      return i;
    }
  }
  return -1;
}

int stdPaletteFx_FreeEffect(int index) {
  if (!Valid(index)) return -1;
  if (g_effects[index].active) {
    g_effects[index].active = 0;
    --g_activeCount;
  }
  return index;
}

PaletteEffectBody* stdPaletteFx_GetEffect(int index) {
  return Valid(index) ? &g_effects[index].body : nullptr;
}

void stdPaletteFx_InitEffect(PaletteEffectBody* body) {
  body->filterR = body->filterG = body->filterB = 0;
  body->tintR = body->tintG = body->tintB = 0.0f;
  body->addR = body->addG = body->addB = 0;
  body->fade = 1.0f;
}

void stdPaletteFx_InitState(PaletteFxState* state) {
  std::memset(state, 0, sizeof *state);
  state->combined.fade = 1.0f;
}

void stdPaletteFx_SetFilter(int index, int32_t red, int32_t green, int32_t blue) {
  if (!Valid(index)) return;
  PaletteEffectBody& b = g_effects[index].body;
  b.filterR = red, b.filterG = green, b.filterB = blue;
}

void stdPaletteFx_SetTint(int index, float red, float green, float blue) {
  if (!Valid(index)) return;
  PaletteEffectBody& b = g_effects[index].body;
  b.tintR = red, b.tintG = green, b.tintB = blue;
}

void stdPaletteFx_SetAdd(int index, int32_t red, int32_t green, int32_t blue) {
  if (!Valid(index)) return;
  PaletteEffectBody& b = g_effects[index].body;
  b.addR = red, b.addG = green, b.addB = blue;
}

void stdPaletteFx_SetFade(int index, float fade) {
  if (Valid(index)) g_effects[index].body.fade = fade;
}

void stdPaletteFx_SetEnabled(int filter, int tint, int add, int fade) {
  g_state.filterEnabled = filter;
  g_state.tintEnabled = tint;
  g_state.addEnabled = add;
  g_state.fadeEnabled = fade;
}

void stdPaletteFx_MarkDirty(void) {
  g_state.filterChanged = g_state.tintChanged = g_state.addChanged = g_state.fadeChanged = 1;
  g_state.modified = 1;
}

void stdPaletteFx_Combine(void) {
  PaletteEffectBody c;
  stdPaletteFx_InitEffect(&c);
  // Every slot is looked at: the active flags, not the count, say which take part.
  int seen = 0;
  for (const PaletteEffect& e : g_effects) {
    if (!e.active) continue;
    ++seen;
    c.filterR |= e.body.filterR;
    c.filterG |= e.body.filterG;
    c.filterB |= e.body.filterB;
    c.tintR += e.body.tintR;
    c.tintG += e.body.tintG;
    c.tintB += e.body.tintB;
    c.addR = AddSaturated(c.addR, e.body.addR);
    c.addG = AddSaturated(c.addG, e.body.addG);
    c.addB = AddSaturated(c.addB, e.body.addB);
    c.fade = std::min(c.fade, e.body.fade);
  }
  g_activeCount = seen;

  const PaletteEffectBody& o = g_state.combined;
  if (c.filterR != o.filterR || c.filterG != o.filterG || c.filterB != o.filterB) {
    g_state.filterChanged = 1;
  }
  if (c.tintR != o.tintR || c.tintG != o.tintG || c.tintB != o.tintB) g_state.tintChanged = 1;
  if (c.addR != o.addR || c.addG != o.addG || c.addB != o.addB) g_state.addChanged = 1;
  if (c.fade != o.fade) g_state.fadeChanged = 1;
  g_state.combined = c;
}

void stdPaletteFx_Update(const uint8_t* source) {
  stdPaletteFx_Combine();
  PaletteFxState& s = g_state;
  if (!s.filterChanged && !s.tintChanged && !s.addChanged && !s.fadeChanged) return;
  const PaletteEffectBody& c = s.combined;

  bool applied = false;
  bool sendSource = false;
  // The first stage that applies starts from a copy of the source.
  auto stage = [&](int32_t enabled, int32_t* changed, bool active, auto apply) {
    if (!enabled) return;
    if (active) {
      if (!applied && source) std::memcpy(g_working, source, kPaletteBytes);
      if (source) apply();
      applied = true;
      s.modified = 1;
    } else if (s.modified) {
      sendSource = true;
    }
    *changed = 0;
  };
  stage(s.filterEnabled, &s.filterChanged, AnyFilter(c),
        [&] { stdPaletteFx_ApplyFilter(g_working, c.filterR, c.filterG, c.filterB); });
  stage(s.tintEnabled, &s.tintChanged, AnyTint(c),
        [&] { stdPaletteFx_ApplyTint(g_working, c.tintR, c.tintG, c.tintB); });
  stage(s.addEnabled, &s.addChanged, AnyAdd(c),
        [&] { stdPaletteFx_ApplyAdd(g_working, c.addR, c.addG, c.addB); });
  stage(s.fadeEnabled, &s.fadeChanged, AnyFade(c),
        [&] { stdPaletteFx_ApplyFade(g_working, c.fade); });

  if (g_callback && source) {
    if (applied) {
      g_callback(g_working);
    } else if (sendSource) {
      // The untouched colours come back after the last effect ended.
      g_callback(source);
    }
  }
  if (!AnyFilter(c) && !AnyTint(c) && !AnyFade(c) && !AnyAdd(c)) s.modified = 0;
}

void stdPaletteFx_ApplyFilter(uint8_t* palette, int32_t red, int32_t green, int32_t blue) {
  const int32_t keep[3] = {red, green, blue};
  for (int i = 0; i < kPaletteBytes; ++i) {
    if (!keep[i % 3]) palette[i] = static_cast<uint8_t>(palette[i] >> 2);
  }
}

void stdPaletteFx_ApplyTint(uint8_t* palette, float red, float green, float blue) {
  const float amount[3] = {red - (green / 2 + blue / 2), green - (blue / 2 + red / 2),
                           blue - (green / 2 + red / 2)};
  for (int i = 0; i < kPaletteBytes; ++i) palette[i] = Tint(palette[i], amount[i % 3]);
}

void stdPaletteFx_ApplyAdd(uint8_t* palette, int32_t red, int32_t green, int32_t blue) {
  const int32_t add[3] = {red, green, blue};
  for (int i = 0; i < kPaletteBytes; ++i) {
    palette[i] = Clamp255(static_cast<int>(
        std::clamp<int64_t>(static_cast<int64_t>(palette[i]) + add[i % 3], -1, 256)));
  }
}

void stdPaletteFx_ApplyFade(uint8_t* palette, float fade) {
  for (int i = 0; i < kPaletteBytes; ++i) {
    palette[i] = ClampChannel(std::trunc(fade * palette[i] + 0.5f));
  }
}

const PaletteFxState* stdPaletteFx_GetState(void) {
  return &g_state;
}
