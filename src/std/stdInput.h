// The input state.
// Not built yet: only the key entry the event pump calls.
#pragma once

#include <cstdint>

void stdInput_KeyEvent(int code, int state, uint32_t time, int hold);
