// The control module: input update and control handlers. Not built yet (placeholder).
#include "presentation/drevControl.h"

int drevControl_Initialize(HostServices*, ModuleDescriptor*) {
  return 0;
}
void drevControl_Update(float, uint32_t) {}
// Not built yet: there is no input reading to turn on, so nothing refuses.
int drevControl_Activate(void) {
  return 1;
}
void drevControl_Deactivate(void) {}
// Not built yet: there is no handler list; handlers are never called.
void drevControl_AddHandler(ControlHandlerFn) {}
void drevControl_RemoveAllHandlers(void) {}
