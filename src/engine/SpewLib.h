// Loader of the optional debug-output library "libspew.so" (looked up beside
// the program). When it is absent nothing happens, now or later.
#pragma once

void SpewLib_Start(void);
// The unload result when the library was loaded (0 = unloaded), else 0.
int SpewLib_Stop(void);
// Whether the library is loaded.
int SpewLib_IsLoaded(void);
