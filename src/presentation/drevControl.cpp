// The control module. Not built yet (placeholder).
#include "presentation/drevControl.h"

// Not built yet: there is no handler list; handlers are never called.
void drevControl_AddHandler(ControlHandlerFn) {}
void drevControl_RemoveAllHandlers(void) {}
