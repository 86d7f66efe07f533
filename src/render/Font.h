// High-definition fonts of the hardware renderer (not built yet: placeholder).
#pragma once

void Font_RelayoutAll(void);
