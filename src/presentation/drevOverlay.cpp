// Overlays. Not built yet (placeholder).
#include "presentation/drevOverlay.h"

int drevOverlay_Initialize(HostServices*, ModuleDescriptor*) {
  return 0;
}
void drevOverlay_FillBlack(void) {}
void drevOverlay_DrawLayer(int, int) {}
