// The script interface's key remapping: the scripts arm a key-mapping mode
// for one of the 13 rebindable actions (SetKeyMappingMode); while it is on,
// the input layer skips the key remapping and hands the next keyboard key
// press to drevLua_KeyMapped instead of recording it. The key is validated,
// bound when accepted, and the result code goes to the scripts'
// NotifyKeyMapped: 0 accepted, 1 reserved key, 2 bad action, 3 key used by
// another action, 4 Escape.
#pragma once

// The key-mapping flag that the input layer reads.
int drevLua_IsKeyMappingMode(void);
// The action being remapped, -1 when none is armed.
int drevLua_GetKeyMappingAction(void);
// Arms the mode for an action 0..12; any other action is ignored (the mode
// stays as it was).
void drevLua_ArmKeyMapping(int action);
// Ends the mode, validates and binds the key, and tells the scripts. Nothing
// when no action is armed.
void drevLua_KeyMapped(int key);
