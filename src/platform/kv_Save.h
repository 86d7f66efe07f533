// Save-slot files and text conversions. Placeholder: only what the input
// layer needs, until the save-slot work lands.
#pragma once

void Utf8ToLatin1(const char* text, char* buffer, int count);
