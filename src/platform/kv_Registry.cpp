// The settings registry. Not built yet (placeholder): no setting is stored,
// so every read answers its default.
#include "platform/kv_Registry.h"

float kv_Registry_ReadFloat(const char*, float defaultValue) {
  return defaultValue;
}
