// Palette effects of the general library (only what the 3D library uses so far).
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

// Filters, tints and adds 0, fade 1.0.
void stdPaletteFx_InitEffect(PaletteEffectBody* body);
