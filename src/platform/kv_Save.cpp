// Not built yet: the save-slot layer replaces this file.
#include "platform/kv_Save.h"

#include "platform/kv_Log.h"

void kv_Save_InitWriteDirectory(void) {
  kv_Log_Printf("[Save] - save slots not built yet: no write directory set");
}
