// Placeholder: not built yet (the settings issue builds this module). Every
// setting reads as its default until the real registry lands.
#include "platform/kv_Registry.h"

float kv_Registry_ReadFloat(const char* /*name*/, float defaultValue) {
  return defaultValue;
}
