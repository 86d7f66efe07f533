// The engine core: module registry, engine frame and game states.
// Not built yet: only the entry points the front end and the key handler call.
#pragma once

#include <cstdint>

struct HostServices;

// Eight operation slots that each engine module fills from its initialise
// function; a null slot is skipped.
struct ModuleDescriptor {
  int (*initialize)(HostServices* services, ModuleDescriptor* descriptor);
  int (*uninitialize)(void);
  int (*startup)(void);
  int (*shutdown)(void);
  int (*save)(void* transfer);
  int (*restore)(void* transfer);
  int (*pause)(void);
  int (*resume)(void);
};

int drevMain_Initialize(HostServices* services, ModuleDescriptor* descriptor);
void drevMain_SetQuitHandler(void (*handler)(int exitCode));
void drevMain_SetDisplayHandler(int (*handler)(const uint8_t* palette, int flag));
void drevMain_SetPresentHandler(int (*handler)(void));
void drevMain_SetLogToggleHandler(void (*handler)(int on));
void drevMain_SetMaxMemory(int64_t bytes);
void drevMain_SetDataPath(const char* path);
void drevMain_ScanDataDirectories(void);
int drevMain_StartScripts(void);
int drevMain_StartGame(int resumeFlag, const char* bootParameter);
void drevMain_StopGame(void);
void drevMain_Frame(int drawFlag, int forcedStepMs);
void drevMain_Display(void);
int drevMain_CallPauseHandler(void);
int drevMain_CallCharacterHandler(int character);
