// The 3D library's start, open and close.
// Not built yet: only the entry points game initialisation and shutdown call.
#pragma once

struct HostServices;

int qxCore_Startup(HostServices* services);
int qxCore_Open(int flags);
void qxCore_Close(void);
void qxCore_Shutdown(void);
