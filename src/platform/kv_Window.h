// The window, window mode and platform services.
// Placeholder: not built yet (the window issue builds this module); only the
// call the render hooks need is declared here.
#pragma once

// Sets the display-changed flag when the render context is up.
void kv_Platform_MarkDisplayChanged(void);
