// What the bitmap font's own files share.
#pragma once

#include <cstdint>
#include <vector>

#include "presentation/TextFont.h"

// The built-in font's packed data (made once from the glyph rows).
const std::vector<uint8_t>& TextFont_BuiltInData(void);
