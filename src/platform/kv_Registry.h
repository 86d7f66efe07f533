// The settings registry (registry.sav).
// Placeholder: not built yet (the settings issue builds this module); only the
// call the render hooks need is declared here.
#pragma once

// Returns the stored 32 bits of a setting as a float, or the default.
float kv_Registry_ReadFloat(const char* name, float defaultValue);
