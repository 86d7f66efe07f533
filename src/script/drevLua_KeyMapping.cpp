// Key-rebinding mode of the script interface.
//
// Not built yet: the rebinding dialogue (validating the key, binding it and
// telling the scripts the result) comes with the script control functions.
// Until then a key handed over ends the mode and is logged, and nothing is
// bound.
#include "script/drevLua_KeyMapping.h"

#include "platform/kv_Log.h"

namespace {
int g_keyMappingMode = 0;
int g_keyMappingAction = 0;
}  // namespace

void drevLua_SetKeyMappingMode(int on, int action) {
  g_keyMappingMode = on ? 1 : 0;
  g_keyMappingAction = action;
}

int drevLua_IsKeyMappingMode(void) { return g_keyMappingMode; }

void drevLua_KeyMapped(int key) {
  g_keyMappingMode = 0;
  kv_Log_Printf("[Input] key %d for action %d not bound: key rebinding is not built yet", key,
                g_keyMappingAction);
}
