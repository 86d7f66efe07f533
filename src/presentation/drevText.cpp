// Text objects and say-lines. Not built yet (placeholder).
#include "presentation/drevText.h"

int drevText_Initialize(HostServices*, ModuleDescriptor*) {
  return 0;
}

// No text is drawn: the result says so.
int drevText_DrawTextObject(TextObject*, int) { return 0; }
