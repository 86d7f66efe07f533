// Placeholder: not built yet (the 3D library's sprites build this module).
// Nothing is drawn: the result says so.
#include "quadrix/qxSprite.h"

int qxSprite_Draw(qxThing* /*thing*/, const qxMatrix34* /*placement*/) {
  return 0;
}
