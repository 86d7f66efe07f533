// The director's commentary module. Not built yet (placeholder).
#include "presentation/drevCommentary.h"

int drevCommentary_Initialize(HostServices*, ModuleDescriptor*) {
  return 0;
}
void drevCommentary_Update(void) {}
void drevCommentary_LoadDefinitions(void) {}
