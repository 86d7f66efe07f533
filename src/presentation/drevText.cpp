// Placeholder: not built yet (the presentation subsystem builds this module).
// No text is drawn: the result says so.
#include "presentation/drevText.h"

int drevText_DrawTextObject(TextObject* /*textObject*/, int /*invalidate*/) {
  return 0;
}
