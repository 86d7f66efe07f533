// Placeholder, not built yet: the save-slot files and the text conversions
// come with the settings and save work. Writes nothing.
#include "platform/kv_Save.h"

void Utf8ToLatin1(const char*, char*, int) {}
