// The script interface's key-rebinding mode: while it is on, the input layer
// skips the key remapping and hands the next keyboard key press to
// drevLua_KeyMapped instead of recording it.
#pragma once

// Sets or clears the key-mapping flag (the script function SetKeyMappingMode
// arms it with an action index; drevLua_KeyMapped clears it).
void drevLua_SetKeyMappingMode(int on, int action);
int drevLua_IsKeyMappingMode(void);
void drevLua_KeyMapped(int key);
