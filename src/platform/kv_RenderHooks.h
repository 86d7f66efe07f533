// The render-hook registry and the choice between the rendering back ends.
//
// Every drawing-related event of the classic software path (a buffer changed
// or was freed, a material loaded, a frame phase, a blit, a fill, a camera
// change, a mesh, a model, a shadow, a sprite, a line, object-state images, a
// text object, a loaded resource, a text measurement, a filled rectangle, a
// display change) is broadcast through this registry to every registered back
// end. Three back ends register at start-up, in this order: hardware
// (high-definition text and overlays), deferred (the lit OpenGL scene) and
// software (the classic rasterizer and buffer copies). The dispatchers never
// look at the active flags: each operation tests its own back end's flag.
//
// The setting `RenderingMode` chooses between the deferred picture (0) and the
// software picture (non-zero); a change cross-fades over 0.75 s, during which
// both back ends are active.
//
// Main thread only; nothing is locked.
#pragma once

#include <cstdint>

struct DisplayBuffer;
struct kvSurface;
struct stdRect;
struct qxModel3;
struct qxModel3Mesh;
struct qxMatrix34;
struct qxVector3;
struct qxThing;
struct qxCanvas;
struct TextObject;

// One back end's table: the active flag and 21 operation slots, every slot
// null unless the back end fills it. The buffer identity of slots 1 and 2 is
// the buffer's pixel pointer.
struct RenderHookTable {
  int active;                            // 1 = the back end acts
  void (*SurfaceChanged)(void* pixels);  // 1
  int (*SurfaceFreed)(void* pixels);     // 2
  void (*Slot3)(int value);              // 3
  // The texture identity of slot 4 is the level-0 pixel pointer of the texture.
  void (*MaterialLoaded)(void* textureId, const char* materialName, int celIndex);  // 4
  void (*FramePhase)(int phase);                                                    // 5
  void (*Blit)(DisplayBuffer* destination, kvSurface* destinationSurface, DisplayBuffer* source,
               kvSurface* sourceSurface, int x, int y, const stdRect* sourceRect,
               int flags);                                                        // 6
  int (*FillBuffer)(DisplayBuffer* buffer, uint32_t value, const stdRect* rect);  // 7
  void (*CameraChanged)(void);                                                    // 8
  void (*DrawMesh)(qxModel3Mesh* mesh, const qxMatrix34* placement);              // 9
  void (*BeginModel)(qxModel3* model, const qxVector3* centre, float radius,
                     const qxMatrix34* placement, qxModel3* companion);  // 10
  void (*EndModel)(qxModel3* model, qxModel3* companion);                // 11
  int (*DrawShadow)(const qxVector3* points, int count, int colour);     // 12
  int (*DrawSprite)(qxThing* thing, const qxMatrix34* placement);        // 13
  // A line drawer that does not clip (14) and one that clips first (15).
  int (*DrawLine)(qxCanvas* canvas, int x0, int y0, int x1, int y1, int colour,
                  int pattern);  // 14
  int (*DrawClippedLine)(qxCanvas* canvas, int x0, int y0, int x1, int y1, int colour,
                         int pattern);  // 15
  // Two groups of (source, x, y, flags, destination, a value that is not used).
  int (*BlitObjectStates)(DisplayBuffer* source0, int x0, int y0, int flags0,
                          DisplayBuffer* destination0, int unused0, DisplayBuffer* source1, int x1,
                          int y1, int flags1, DisplayBuffer* destination1,
                          int unused1);                     // 16
  int (*DrawTextObject)(TextObject* textObject, int flag);  // 17
  void (*ResourceLoaded)(uint32_t typeTag, const char* name, void* object,
                         int fromCache);  // 18
  // A font's line height (font data given, height output given) or a text
  // object's placed extent.
  void (*GetTextExtent)(void* fontData, TextObject* textObject, int* x, int* y, int* width,
                        int* height);  // 19
  int (*FillRect)(qxCanvas* canvas, int x0, int y0, int x1, int y1, int colour, int pattern,
                  float alpha);  // 20
  void (*DisplayChanged)(void);  // 21
};

// At most this many tables are registered.
inline constexpr int kv_RenderHooks_kMaxTables = 8;

// Appends the table to the registry and sets its active flag to 1. Returns the
// table, or null when the registry is full (the table is then not registered).
RenderHookTable* kv_RenderHooks_Register(RenderHookTable* table);
int kv_RenderHooks_GetCount(void);

// Names the deferred and software tables whose active flags the cross-fade
// drives, and the hardware table that the software text operation looks at.
// Done by the program when it registers the back ends; any may be null.
void kv_RenderHooks_SetBackends(RenderHookTable* hardware, RenderHookTable* deferred,
                                RenderHookTable* software);
// Shows the software picture from now on whatever `RenderingMode` says, at
// once and without a fade: the deferred back end is not there to draw.
void kv_RenderHooks_UseClassicOnly(void);
int kv_RenderHooks_IsClassicOnly(void);
RenderHookTable* kv_RenderHooks_GetHardwareTable(void);
RenderHookTable* kv_RenderHooks_GetDeferredTable(void);
RenderHookTable* kv_RenderHooks_GetSoftwareTable(void);

// Dispatchers: each walks the tables in registration order and calls the slot
// on every table that fills it.
void kv_RenderHooks_SurfaceChanged(void* pixels);
// The last registered table's result (0 when its slot is empty).
int kv_RenderHooks_SurfaceFreed(void* pixels);
void kv_RenderHooks_Slot3(int value);
void kv_RenderHooks_MaterialLoaded(void* textureId, const char* materialName, int celIndex);
// Advances the cross-fade at phase 0, sets the active flags, calls every
// back end's frame phase and checks the display settings at phase 3.
void kv_RenderHooks_FramePhase(int phase);
void kv_RenderHooks_Blit(DisplayBuffer* destination, kvSurface* destinationSurface,
                         DisplayBuffer* source, kvSurface* sourceSurface, int x, int y,
                         const stdRect* sourceRect, int flags);
int kv_RenderHooks_FillBuffer(DisplayBuffer* buffer, uint32_t value, const stdRect* rect);
void kv_RenderHooks_CameraChanged(void);
void kv_RenderHooks_DrawMesh(qxModel3Mesh* mesh, const qxMatrix34* placement);
void kv_RenderHooks_BeginModel(qxModel3* model, const qxVector3* centre, float radius,
                               const qxMatrix34* placement, qxModel3* companion);
void kv_RenderHooks_EndModel(qxModel3* model, qxModel3* companion);
// The result of the last table whose slot is filled; 0 when none is.
int kv_RenderHooks_DrawShadow(const qxVector3* points, int count, int colour);
int kv_RenderHooks_DrawSprite(qxThing* thing, const qxMatrix34* placement);
// Mode non-zero: the line drawers that do not clip (slot 14); 0: the clipping ones (15).
int kv_RenderHooks_DrawLine(int mode, qxCanvas* canvas, int x0, int y0, int x1, int y1, int colour,
                            int pattern);
int kv_RenderHooks_BlitObjectStates(DisplayBuffer* source0, int x0, int y0, int flags0,
                                    DisplayBuffer* destination0, int unused0,
                                    DisplayBuffer* source1, int x1, int y1, int flags1,
                                    DisplayBuffer* destination1, int unused1);
int kv_RenderHooks_DrawTextObject(TextObject* textObject, int flag);
void kv_RenderHooks_ResourceLoaded(uint32_t typeTag, const char* name, void* object, int fromCache);
void kv_RenderHooks_GetTextExtent(void* fontData, TextObject* textObject, int* x, int* y,
                                  int* width, int* height);
int kv_RenderHooks_FillRect(qxCanvas* canvas, int x0, int y0, int x1, int y1, int colour,
                            int pattern, float alpha);
void kv_RenderHooks_DisplayChanged(void);

// The cached widescreen flag (1 when the setting `Widescreen` was 2 at the last check).
int kv_RenderHooks_IsWidescreen(void);
// Re-reads `Widescreen` and the render module's resolution scaling; marks the
// display changed when either differs from the cache.
void kv_RenderHooks_CheckDisplaySettings(void);

// t * t * (3 - 2t) with t = (x - edge0) / (edge1 - edge0) clamped to [0, 1].
float kv_SmoothStep(float edge0, float edge1, float x);

// The cross-fade's current value: 0 = deferred picture, 1 = software picture.
float kv_RenderHooks_GetFadeValue(void);
// 1 while the software back end is active (the classic picture is shown).
extern int kv_RenderHooks_classicPicture;

// The display's front and back surfaces, recorded by the display layer when a
// mode is set, for the software back end.
void kv_RenderHooks_SetSoftwareSurfaces(kvSurface* front, kvSurface* back);
kvSurface* kv_RenderHooks_GetFrontSurface(void);
kvSurface* kv_RenderHooks_GetBackSurface(void);

// Settings read as floats (default 0) and truncated to an integer.
int kv_Platform_IsWidescreenSetting(void);  // 1 when `Widescreen` is 2
int kv_Platform_IsNewRendering(void);       // 1 when `RenderingMode` is 0
int kv_Platform_IsNewLighting(void);        // 1 when `ClassicLighting` is 0

// What the registry reads from the rest of the program: the millisecond clock,
// float settings, the render module's resolution scaling and the display-changed
// mark. The clock, the settings and the mark default to the platform's own;
// the scaling reads 0 until the program installs the render module's. Tests
// install their own; a null row (or a null host) takes the default.
struct kvRenderHooksHost {
  double (*getTimeMs)(void);
  float (*readFloatSetting)(const char* name, float defaultValue);
  float (*getResolutionScaling)(void);
  void (*markDisplayChanged)(void);
};
void kv_RenderHooks_SetHost(const kvRenderHooksHost* host);

// Empties the registry and restores the fade, the caches and the host to
// their start values (tests only: the program fills the registry once).
void kv_RenderHooks_ResetForTest(void);
