// The settings registry (registry.sav). Not built yet: a placeholder with the
// one read the engine core makes.
#pragma once

// The stored value, or the default.
float kv_Registry_ReadFloat(const char* name, float defaultValue);
