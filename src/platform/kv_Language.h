// The current language: index 0..5 (English, German, Spanish, French,
// Italian, Portuguese), detected from the user's locale at start-up.
#pragma once

void kv_Language_Set(int index);  // stores any value unchecked
int kv_Language_Get(void);
// Codes of the current language; a value outside 0..5 reads as English.
const char* kv_Language_GetCode(void);      // two-letter code, "en"
const char* kv_Language_GetIsoName(void);   // ISO 639-2/T, "eng"
const char* kv_Language_GetIsoNameB(void);  // ISO 639-2/B, "eng"
// Sets the language from the user's locale (SDL's preferred locales, else
// LC_ALL / LC_MESSAGES / LANG); English when nothing matches.
void kv_Language_Detect(void);
// The index a locale name selects: a three-letter name is compared with the
// ISO 639-2/T codes only (so "GER" selects nothing), a longer name such as
// "de_DE.UTF-8" or "de" by its two-letter code; -1 when nothing matches.
int kv_Language_FromLocaleName(const char* name);
