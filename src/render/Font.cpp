// High-definition fonts: not built yet. There are no cached fonts to lay out again.
#include "render/Font.h"

void Font_RelayoutAll(void) {}
