// Not built yet: the input state replaces this file; key events go nowhere.
#include "std/stdInput.h"

void stdInput_KeyEvent(int, int, uint32_t, int) {}
