// The optional debug-output library loader.
// Not built yet: only the stop entry game shutdown calls.
#pragma once

int SpewLib_Stop(void);
