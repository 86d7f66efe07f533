// The resource binding: the engine's asset cache over the resource manager.
//
// At startup it registers one type handler for each of the twelve resource
// tags, installs the archive-aware file operations into the services record
// and tells the chore library which costumes a save game needs. It scans the
// data directories for archives and loose-file folders and keeps the memory
// budget whenever a resource is fetched. Its save and restore slots are the
// resource manager's "RESS" writer and reader.
#pragma once

#include <cstdint>

#include "engine/drevMain.h"

struct ResourceRef;

constexpr int64_t kResourceDefaultBudget = 12288000;
constexpr int64_t kResourceDefaultPurge = 2560000;

int drevResource_Initialize(HostServices* services, ModuleDescriptor* descriptor);
// A nonzero argument replaces the stored value, 0 leaves it.
void drevResource_SetBudget(int64_t limit, int64_t purge);
void drevResource_GetBudget(int64_t* limit, int64_t* purge);
// The object of the resource of that tag ("MAT ", "COST", ...) and name, null
// when it did not load. Purges unreferenced resources when the tracked memory
// is above the budget (never the one fetched, never while restoring).
void* drevResource_Get(const char* tag, const char* name);
void drevResource_SetRestoring(int restoring);
int drevResource_IsRestoring(void);
// The extra data directory (-p); null or "" clears it.
void drevResource_SetDataPath(const char* path);
// Scans the current directory and the extra data directory; answers 1.
int drevResource_ScanDataDirectories(void);
// Scans one directory: its "*.lab" archives, the directory itself, then the
// data folders, each put at the head of the packs. 0 when the directory holds
// no file.
int drevResource_ScanDirectory(const char* path);
// Closes every pack; answers 1.
int drevResource_DetachPacks(void);
// Opens (name) or closes (null) the resource log.
void drevResource_OpenResourceLog(const char* name);
// Writes the resource report "Vosk.res".
int drevResource_WriteReport(void);
// After the render module rebuilt its gamma table: every raw background is
// read again from its file into the resident bitmap and passed through the
// table, every background's colour keys are set again, and the colormaps'
// 16-bit light tables are built again.
void drevResource_ReloadBackgrounds(void);
void drevResource_ReloadColormaps(void);

// The object of a reference held on a costume ("COST", its CosCostumeHandle
// as a pointer-sized value), a bitmap ("BKND"), a keyframe ("KEYF") or a
// model ("MODL"). A reference that is not valid answers null with the log
// line "Bad costume Reference", "Bad Bitmap Reference", "Bad keyframe
// Reference" or "Bad model Reference" (a restored game can hold one; it is
// not a broken invariant).
void* drevResource_CostumeFromRef(const ResourceRef* ref);
void* drevResource_BitmapFromRef(const ResourceRef* ref);
void* drevResource_KeyframeFromRef(const ResourceRef* ref);
void* drevResource_ModelFromRef(const ResourceRef* ref);
