#include "platform/kv_Language.h"

#include <SDL.h>
#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

struct LanguageCodes {
  const char* code;
  const char* isoT;
  const char* isoB;
};
constexpr LanguageCodes kLanguages[6] = {{"en", "eng", "eng"}, {"de", "deu", "ger"},
                                         {"es", "spa", "spa"}, {"fr", "fra", "fre"},
                                         {"it", "ita", "ita"}, {"pt", "por", "por"}};

int g_language = 0;

const LanguageCodes& Current() {
  return (g_language >= 0 && g_language < 6) ? kLanguages[g_language] : kLanguages[0];
}

}  // namespace

void kv_Language_Set(int index) {
  g_language = index;
}
int kv_Language_Get(void) {
  return g_language;
}
const char* kv_Language_GetCode(void) {
  return Current().code;
}
const char* kv_Language_GetIsoName(void) {
  return Current().isoT;
}
const char* kv_Language_GetIsoNameB(void) {
  return Current().isoB;
}

int kv_Language_FromLocaleName(const char* name) {
  if (!name) return -1;
  // The language part: up to '_', '-', '.' or '@' ("de_DE.UTF-8" -> "de").
  char language[17] = {};
  size_t length = 0;
  while (name[length] && length < 16 && !std::strchr("_-.@", name[length])) {
    language[length] = name[length];
    ++length;
  }
  for (int i = 0; i < 6; ++i) {
    const char* wanted = length == 3 ? kLanguages[i].isoT : kLanguages[i].code;
    if ((length == 2 || length == 3) && strcasecmp(language, wanted) == 0) return i;
  }
  return -1;
}

void kv_Language_Detect(void) {
  int index = -1;
  if (SDL_Locale* locales = SDL_GetPreferredLocales()) {
    if (locales[0].language) index = kv_Language_FromLocaleName(locales[0].language);
    SDL_free(locales);
  } else {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
      const char* value = std::getenv(variable);
      if (value && *value) {
        index = kv_Language_FromLocaleName(value);
        break;
      }
    }
  }
  kv_Language_Set(index < 0 ? 0 : index);
}
