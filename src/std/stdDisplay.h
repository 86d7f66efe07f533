// Display devices and display buffers.
// Not built yet: only the start and shutdown game initialisation calls.
#pragma once

int stdDisplay_Startup(void);
void stdDisplay_Shutdown(void);
