// Formats and scans numbers in the C locale for as long as the scope lives,
// whatever locale the program runs in: text files that the engine writes
// and reads always use '.' as the decimal point.
#pragma once

#include <locale.h>

#include <clocale>

class CLocaleScope {
 public:
  CLocaleScope() {
    locale_ = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    if (locale_) previous_ = uselocale(locale_);
  }
  ~CLocaleScope() {
    if (locale_) {
      uselocale(previous_);
      freelocale(locale_);
    }
  }
  CLocaleScope(const CLocaleScope&) = delete;
  CLocaleScope& operator=(const CLocaleScope&) = delete;

 private:
  locale_t locale_ = static_cast<locale_t>(0);
  locale_t previous_ = static_cast<locale_t>(0);
};
