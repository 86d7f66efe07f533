// Not built yet beyond the effect initialiser that the 3D library's open
// step needs; the effect table, the palette callback and the colour
// conversions come with the colour module.
#include "std/stdPaletteFx.h"

void stdPaletteFx_InitEffect(PaletteEffectBody* body) {
  body->filterR = body->filterG = body->filterB = 0;
  body->tintR = body->tintG = body->tintB = 0.0f;
  body->addR = body->addG = body->addB = 0;
  body->fade = 1.0f;
}
