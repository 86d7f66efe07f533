// Palette effects: up to 32 effects (channel filter, tint, add, fade) are
// combined into one and applied to a copy of a 768-byte palette, which is
// handed to a callback only when something changed. Main thread only.
#pragma once

#include <cstdint>

// The 40-byte body of a palette effect: channel filters, tints, adds, fade.
struct PaletteEffectBody {
  int32_t filterR, filterG, filterB;
  float tintR, tintG, tintB;
  int32_t addR, addG, addB;
  float fade;  // 1.0 = none
};
static_assert(sizeof(PaletteEffectBody) == 40);

// One slot of the effect table.
struct PaletteEffect {
  int32_t active;
  uint32_t owner;
  PaletteEffectBody body;
};

struct PaletteFxState {
  int32_t modified;  // set while the callback last received a changed palette
  int32_t filterEnabled, tintEnabled, addEnabled, fadeEnabled;
  PaletteEffectBody combined;  // filters ORed, tints and adds summed, smallest fade
  int32_t filterChanged, tintChanged, addChanged, fadeChanged;
};

inline constexpr int stdPaletteFx_kMaxEffects = 32;

// Receives the palette to use (768 bytes: red, green, blue per entry).
using stdPaletteFx_Callback = void (*)(const uint8_t* palette);

int stdPaletteFx_Startup(stdPaletteFx_Callback callback);
void stdPaletteFx_Reset(void);
void stdPaletteFx_SetCallback(stdPaletteFx_Callback callback);
// Index of the first free slot, made active with a fresh body; -1 when all 32
// are active.
int stdPaletteFx_NewEffect(uint32_t owner);
// Makes the slot inactive when it was active; returns the index (-1 when it
// is outside the table).
int stdPaletteFx_FreeEffect(int index);
// The slot's body; null outside the table.
PaletteEffectBody* stdPaletteFx_GetEffect(int index);
// Filters, tints and adds 0, fade 1.0.
void stdPaletteFx_InitEffect(PaletteEffectBody* body);
void stdPaletteFx_InitState(PaletteFxState* state);
// Setters of one slot; an index outside the table is ignored.
void stdPaletteFx_SetFilter(int index, int32_t red, int32_t green, int32_t blue);
void stdPaletteFx_SetTint(int index, float red, float green, float blue);
void stdPaletteFx_SetAdd(int index, int32_t red, int32_t green, int32_t blue);
void stdPaletteFx_SetFade(int index, float fade);
void stdPaletteFx_SetEnabled(int filter, int tint, int add, int fade);
// The next update recomputes and sends the palette.
void stdPaletteFx_MarkDirty(void);
// Combines the active effects into the state's combined values and notes what changed.
void stdPaletteFx_Combine(void);
// Once per frame with the current palette: applies the combined effects and
// calls the callback when the palette to use changed.
void stdPaletteFx_Update(const uint8_t* source);
// The stages, on a 768-byte palette in place.
void stdPaletteFx_ApplyFilter(uint8_t* palette, int32_t red, int32_t green, int32_t blue);
void stdPaletteFx_ApplyTint(uint8_t* palette, float red, float green, float blue);
void stdPaletteFx_ApplyAdd(uint8_t* palette, int32_t red, int32_t green, int32_t blue);
void stdPaletteFx_ApplyFade(uint8_t* palette, float fade);

// The current state (for tests and tools).
const PaletteFxState* stdPaletteFx_GetState(void);
