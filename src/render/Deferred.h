// The deferred back end's set-up and the small operations its passes share.
//
// The back end owns, for the whole run, 43 shader programs, seven render
// buckets and eleven render targets. The programs and buckets are made once
// when the back end registers; the targets are made at the deferred size
// (the display size fitted to 640 x 480 and scaled by the render module's
// resolution scaling) and made again at every display change. The passes use
// the operations below: clearing the shadow map and the light buffer,
// binding the G-buffer textures, choosing the bucket of a 2D bitmap,
// classifying a light volume against the camera plane, gathering mesh
// vertices, converting classic pixels into texture pixels and releasing the
// caches' entries.
//
// A program or target that cannot be made is logged by the render context
// and leaves a null handle; Deferred_IsReady then answers 0 and no pass may
// run. Main thread only; nothing is locked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "gfx/kv_Buffer.h"
#include "render/DeferredScene.h"
#include "render/kv_Layouts.h"

struct DisplayBuffer;
struct DrawRecord;
struct qxMatrix34;
struct qxModel3;
struct qxModel3Mesh;
struct qxThing;
struct qxVector3;
struct stdRect;
struct RenderBucket;
struct RenderHookTable;
struct kvRenderContext;
struct kvRenderTarget;
struct kvShader;
struct kvSurface;
struct kvVertexBuffer;

// The deferred renderer's clear colour (red, green, blue, alpha).
extern float Deferred_ClearColour[4];

// Logs "Initializing deferred renderer...", makes the programs, buckets and
// targets and registers the back end's hook table. Null, with nothing
// registered, when a program, bucket or target could not be made (logged).
RenderHookTable* InitDeferredBackend(void);

// Programs ------------------------------------------------------------------------

// Every program in loading order. A single name loads "<name>_v.glsl" and
// "<name>_p.glsl"; a pair loads the vertex file of one name and the pixel
// file of another.
enum DeferredProgramId : int {
  DeferredProgram_Copy,
  DeferredProgram_TexturedQuad,
  DeferredProgram_TexturedQuad565,
  DeferredProgram_TexturedQuad565Linear,
  DeferredProgram_ZQuad,
  DeferredProgram_ZQuad565,
  DeferredProgram_Shadow,
  DeferredProgram_TexturedLit,
  DeferredProgram_UntexturedLit,
  // Forward programs, high quality then low quality, each in the order of
  // DeferredForwardPixelShader.
  DeferredProgram_Forward,
  DeferredProgram_ForwardLow = DeferredProgram_Forward + 6,
  DeferredProgram_SmoothLighting = DeferredProgram_ForwardLow + 6,
  DeferredProgram_SmoothLightingResolve,
  DeferredProgram_ZShape,
  DeferredProgram_CharLightViz,
  DeferredProgram_CharLightPoint,
  DeferredProgram_CharLightSpot,
  DeferredProgram_CharLightSpotShadow,
  DeferredProgram_CharLightSpotShadowEnv,
  DeferredProgram_CharLightDirectional,
  DeferredProgram_CharLightDirectionalShadow,
  DeferredProgram_CharLightDirectionalShadowEnv,
  DeferredProgram_CharLightGradient,
  DeferredProgram_CharAO,
  DeferredProgram_CharResolve,
  DeferredProgram_CharResolveShadows,
  DeferredProgram_LightDirect,
  DeferredProgram_LightOmni,
  DeferredProgram_LightSpot,
  DeferredProgram_Light,
  DeferredProgram_Resolve,
  DeferredProgram_PostProcess,
  DeferredProgram_ShadowMesh,
  DeferredProgram_Count
};
static_assert(DeferredProgram_Count == 43, "30 single names and 13 pairs");

// The six pixel shaders of the forward programs.
enum DeferredForwardPixelShader : int {
  DeferredForward_Textured,
  DeferredForward_Untextured,
  DeferredForward_TexturedSpot,
  DeferredForward_UntexturedSpot,
  DeferredForward_TexturedDirectional,
  DeferredForward_UntexturedDirectional,
};

struct DeferredProgramSource {
  const char* vertex;  // the single name, or the vertex file's name of a pair
  const char* pixel;   // null for a single name
};
// The table that Deferred_CreatePrograms walks.
extern const DeferredProgramSource Deferred_ProgramSources[DeferredProgram_Count];

// The program; null before Deferred_CreatePrograms or when it failed to build.
kvShader* Deferred_GetProgram(int id);
// The forward program of a vertex quality and a pixel shader.
kvShader* Deferred_GetForwardProgram(int lowQuality, int pixelShader);

// Loads the programs in table order, then creates the buckets. Returns the
// last bucket ("shadow meshes"); null when a program or a bucket could not
// be made (each failure is logged).
RenderBucket* Deferred_CreatePrograms(void);
// Creates the seven buckets once (Deferred_CreatePrograms calls it); later
// calls keep them. Returns the last bucket, or null when memory runs out.
RenderBucket* Deferred_CreateBuckets(void);

// Buckets ---------------------------------------------------------------------------

extern RenderBucket* Deferred_ShadowBucket;           // "shadow"
extern RenderBucket* Deferred_AlbedoBucket;           // "albedo"
extern RenderBucket* Deferred_SmoothLightingBucket;   // "smooth lighting"
extern RenderBucket* Deferred_BitmapUnderlaysBucket;  // "bitmap underlays"
extern RenderBucket* Deferred_BitmapOverlaysBucket;   // "bitmap overlays"
extern RenderBucket* Deferred_VirtualDepthBucket;     // "virtual depth"
extern RenderBucket* Deferred_ShadowMeshesBucket;     // "shadow meshes"

// Render targets ------------------------------------------------------------------

// The shadow maps' size, whatever the display.
inline constexpr int Deferred_ShadowMapSize = 1024;

// A target and, for a colour target, its surface (null for depth targets).
struct DeferredTarget {
  kvRenderTarget* target;
  kvSurface* surface;
};
extern DeferredTarget DistanceTarget;        // W x H "Fx1"
extern DeferredTarget NormalTarget;          // W x H "8x4"
extern DeferredTarget AlbedoTarget;          // W x H "8x4"
extern DeferredTarget LightTarget;           // W x H "F16x4"
extern DeferredTarget SceneDepthTarget;      // W x H depth
extern DeferredTarget ResolveTarget;         // W x H "8x4"
extern DeferredTarget VirtualDepthTarget;    // W x H "F16x1"
extern DeferredTarget ImmediateTarget;       // W x H "8x4"
extern DeferredTarget FinalTarget;           // W x H "8x4"
extern DeferredTarget ShadowMapDepthTarget;  // 1024 x 1024 depth
extern DeferredTarget ShadowMapTarget;       // 1024 x 1024 "F16x2"
// The smooth-lighting pass's light buffer (LightTarget) and scratch buffer
// (ResolveTarget), set by every Deferred_CreateTargets.
extern DeferredTarget SmoothLightingLightTarget;
extern DeferredTarget SmoothLightingScratchTarget;

// The targets in creation order, with their format.
struct DeferredTargetSpec {
  DeferredTarget* handle;
  int shadowMapSized;  // 1: Deferred_ShadowMapSize square, 0: the deferred size
  uint32_t format;
};
inline constexpr int Deferred_TargetCount = 11;
extern const DeferredTargetSpec Deferred_TargetSpecs[Deferred_TargetCount];

// The deferred size for a display of displayWidth x displayHeight pixels and
// a resolution scaling q, in single precision: s = min(Dw / 640, Dh / 480),
// s = (q x 0.25 + 0.5) x s, at least 1 (also for a NaN q) and at most 25.6
// (so no target exceeds 16384 pixels); W = ceil(640 s), H = ceil(480 s).
void Deferred_ComputeSize(uint32_t displayWidth, uint32_t displayHeight, float q, int* width,
                          int* height);
// Frees and creates every target in creation order at the deferred size of
// the current display (kv_Platform_GetDisplaySize) and resolution scaling;
// sets the smooth-lighting aliases. Returns ResolveTarget's target, null
// when any target could not be made.
kvRenderTarget* Deferred_CreateTargets(void);
// The DisplayChanged hook: Deferred_CreateTargets and nothing else.
void Deferred_DisplayChanged(void);
// The hook of slot 3: does nothing.
void Deferred_NoOp(int value);
// 1 when every program, bucket and target exists: the passes run only then.
int Deferred_IsReady(void);

// Frees the target in the handle when there is one, creates a new one and
// stores it (null when creation failed).
void RenderTarget_Recreate(kvRenderTarget** handle, int width, int height, uint32_t format);
// The same, clearing the kept surface first and then storing the new
// target's surface.
void RenderTarget_RecreateWithSurface(kvRenderTarget** handle, kvSurface** surface, int width,
                                      int height, uint32_t format);

// Pass operations -------------------------------------------------------------------

// Frames since the last camera change (the camera hook sets 0, every frame
// begin adds 1 up to 30).
extern uint32_t ShadowMapFrameCount;

// ShadowMapTarget alone in colour slot 0 (slots 1-3 none) with
// ShadowMapDepthTarget; depth compare always with writes on; clears to
// (1, 1, 1, 1) and depth 1.0. Does nothing while a target is missing.
void Deferred_ClearShadowMap(void);
// Marker "Clear light buffer": LightTarget alone in slot 0, depth compare
// always without writes, cleared to (0, 0, 0, 0). Does nothing while the
// target is missing.
void Deferred_ClearLightBuffer(void);
// Sets seven textures and samplers: 0 albedo, 1 distance, 2 normal, 3 light
// (with withLight, else none), 4 virtual depth, 5 shadow map (with
// withShadowMap, else none), 6 immediate; every slot clamped and nearest,
// the shadow map linear.
void Deferred_BindGBufferTextures(kvRenderContext* context, int withLight, int withShadowMap);
// A 2D bitmap record goes to "bitmap overlays" once "albedo" holds a record
// this frame, else to "bitmap underlays".
void Deferred_AddBitmapRecord(const DrawRecord* record);
// The dynamic-shadow test of the shadow-map passes: true when "shadow
// meshes" holds a record, the set has shadow casters, or fewer than 2 frames
// have passed since the last camera change.
bool Deferred_NeedsShadowMap(void);
// Transforms the eight corners of the cube -1..1 by m (rows of four, point
// times the first three rows plus the fourth) and counts the corners whose y
// is above 0: all eight 1, none -1, else 0.
int Deferred_ClassifyVolume(const kvMatrix4F& m);

// Mesh vertices -----------------------------------------------------------------------

// Where a mesh's corners take their vertices from. The counts bound the
// indices: a corner whose index is out of range gets zeros.
struct MeshVertexSource {
  const float* positions;                // three floats per vertex
  const float* normals;                  // three floats per vertex, indexed like positions
  const float* textureVertices;          // two floats per texture vertex
  const uint16_t* textureVertexIndices;  // one per corner
  float uScale;
  float vScale;
  uint32_t vertexCount;
  uint32_t textureVertexCount;
};
// Writes count TexturedVertex records: corner k takes position and normal of
// vertex vertexIndices[k] and the texture vertex textureVertexIndices[k]
// scaled by (uScale, vScale).
void MeshVertexSource_Gather(const MeshVertexSource* source, TexturedVertex* out, int count,
                             const uint16_t* vertexIndices);
void MeshVertexSource_GatherOne(const MeshVertexSource* source, TexturedVertex* out, int corner,
                                const uint16_t* vertexIndices);
// Locks the buffer, gathers as many corners as it holds (at most count) and
// unlocks it.
void Deferred_FillMeshVertices(kvVertexBuffer* buffer, const MeshVertexSource* source, int count,
                               const uint16_t* vertexIndices);

// Pixel conversion ----------------------------------------------------------------------

// Source formats of Deferred_UploadPixels besides paletted 8-bit indices.
inline constexpr int Deferred_Source565 = 16;      // 5-6-5, red in the top bits
inline constexpr int Deferred_SourceDepth = 1016;  // 16-bit depth values
// The float a colour-keyed depth value becomes.
inline constexpr float Deferred_KeyedDepth = -9999.0f;

// Converts width x height source pixels into a destination of
// destinationRowLength pixels per row, destinationHeight rows and
// destinationBytesPerPixel bytes per pixel:
// - 5-6-5 with copy565: each row copied unchanged (2 bytes a pixel);
// - 5-6-5 without: blue, green, red, alpha bytes ((p & 0x1F) << 3,
//   ((p >> 5) & 0x3F) << 2, ((p >> 11) & 0x1F) << 3, 255);
// - depth: one float value / 65535 per pixel;
// - any other format with a 768-byte palette: 8-bit indices b become
//   (palette[3b + 2], palette[3b + 1], palette[3b], 255);
// a colour-keyed pixel becomes four zero bytes (depth: -9999.0). Any other
// format without a palette writes nothing. Returns 1 when written, 0 when
// nothing was: no format to write, or a source larger than the destination
// or a destination pixel size the conversion does not write (logged).
int Deferred_ConvertPixels(void* destination, int destinationRowLength, int destinationHeight,
                           int destinationBytesPerPixel, const void* pixels, int width, int height,
                           int sourceFormat, const uint8_t* palette, int useColorKey,
                           uint32_t colorKey, int copy565);
// Locks the surface, converts the pixels into it (Deferred_ConvertPixels
// with the lock's row length and the surface's height and format) and
// unlocks it. A null surface or one without a CPU copy gets nothing.
void Deferred_UploadPixels(kvSurface* surface, const void* pixels, int width, int height,
                           int sourceFormat, const uint8_t* palette, int useColorKey,
                           uint32_t colorKey, int copy565);

// Cache entries ----------------------------------------------------------------------------
// The texture, submesh and replacement-texture caches keep these; entries
// are allocated with kv_Platform_Alloc.

struct SubmeshEntry {
  void* material;
  int cel;
  uint32_t byteSize;
  uint32_t vertexCount;
  kvVertexBuffer* vertexBuffer;
};

inline constexpr int TextureCacheEntry_VariantCount = 5;
struct TextureCacheEntry {
  uintptr_t key;           // the pixels' address
  const uint8_t* palette;  // the palette last converted with
  uint32_t byteSize;
  uint32_t width;
  uint32_t height;
  uint32_t bitsPerPixel;  // 8, 16, other; above 1000 depth pixels
  uint32_t keyEnable;
  uint32_t keyValue;
  uint32_t raw16;
  kvSurface* surface;
  kvSurface* variants[TextureCacheEntry_VariantCount];
  const uint8_t* variantPalettes[TextureCacheEntry_VariantCount];
  uint32_t extraWord;
};

struct ReplacementTexture {
  kvSurface* surface;
  uintptr_t key;
};

// Hands the vertex buffer to kv_Buffer_Release and clears the pointer; the
// Delete forms also free the entry (null is ignored).
void SubmeshEntry_Release(SubmeshEntry* entry);
void SubmeshEntry_Delete(SubmeshEntry* entry);
// Hands the main surface and every variant to kv_Surface_Release, clears the
// variant slots, the key pair, the main surface and the byte count.
void TextureCacheEntry_Release(TextureCacheEntry* entry);
void TextureCacheEntry_Delete(TextureCacheEntry* entry);
// A new entry with both words zero (null when memory runs out).
ReplacementTexture* ReplacementTexture_New(void);
// Hands the surface to kv_Surface_Release and clears both words.
void ReplacementTexture_Release(ReplacementTexture* entry);
void ReplacementTexture_Delete(ReplacementTexture* entry);

// Small helpers ----------------------------------------------------------------------------

// Formats into a 256-byte buffer with at most count characters (fewer when
// count is above 255; an empty text for a count below 1). Returns the
// characters written.
int Deferred_Format256(char* buffer, int count, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// n zeroed 20-byte quad vertices from kv_Platform_Alloc; null for n < 1 or
// when memory runs out.
TexturedQuadVertex* QuadVertices_Alloc(int n);

// A profiler event that begins with the scope and ends with it, on every exit
// path.
class ProfileScope {
 public:
  explicit ProfileScope(const char* name);
  ~ProfileScope();
  ProfileScope(const ProfileScope&) = delete;
  ProfileScope& operator=(const ProfileScope&) = delete;
};

// The deferred frame ==========================================================================
//
// The back end turns the classic path's blits, meshes, sprites and shadows
// into draw records kept in its seven buckets while the engine draws, and
// replays them at the end of the frame through a fixed sequence of passes:
// phase 0 (frame begin) re-latches the lighting, empties the buckets and
// binds the immediate target; phase 2 draws the underlays, the G-buffer,
// smooth lighting, virtual depth and Z shapes, the lights, the resolve,
// FXAA and the overlays; phase 3 presents the result on the back buffer and
// draws the hardware back end's overlay buckets. With advanced lighting off
// the same frame lights the meshes forward from the light probes and one
// shadow light (the "Simple" twin).
//
// Depth: the scene and virtual depth hold 1 / (y + 1) of the camera depth y,
// larger is nearer; the scene depth is cleared to 0 and tested "greater".

// The back end's hook table (its active flag is slot 0).
RenderHookTable* Deferred_GetHookTable(void);
// 1 while the back end's active flag is set.
int Deferred_IsActive(void);

// Advanced lighting off: latched at every frame begin and camera change; the
// frame then takes the forward path.
extern int Deferred_AdvancedLightingOff;
// Smooth lighting: new lighting and not an "_inv" set; set at phase 0.
extern int Deferred_SmoothLightingOn;
// Phase 3 presents the classic display's front-buffer surface instead of
// FinalTarget while this is set (initially 1).
extern int Deferred_PresentFrontBuffer;
// The colour target bound at the frame begin (the immediate target, or the
// resolve or final target of a set lit only by cutscene lights); the
// underlays are drawn into it.
extern kvRenderTarget* Deferred_FrameTarget;
// 1 while the model being drawn is large enough on screen (or a "tobin")
// to cast shadow meshes; set by every BeginModel.
extern uint32_t ModelDetailFlag;

// Phases 0 to 3 of a frame (1 and other values do nothing); passed whole to
// Deferred_FramePhaseSimple while advanced lighting is off.
void Deferred_FramePhase(int phase);
void Deferred_FramePhaseSimple(int phase);

// Frame-begin step and model hooks -----------------------------------------------------------

// Latches advanced lighting, animates the set's lights, picks the light
// group (2 with advanced lighting off, else 1) and, with it off, runs the
// light probes' frame step.
void Deferred_LatchLighting(void);
// Phase 0's first step: latches, then counts a frame since the last camera
// change (at most 30).
void Deferred_BeginFrame(void);
// The camera hook: no frames since the change, latched again.
void Deferred_CameraChanged(void);
// The BeginModel hook: probe lattice (advanced lighting off) or the detail
// flag and the special models' extra lights.
void Deferred_OnModelDraw(qxModel3* model, const qxVector3* centre, float radius,
                          const qxMatrix34* placement, qxModel3* parent);
// The name-and-setup part of the hook: the detail flag and the special
// models' lights for a model of that name (no probe lighting).
void Deferred_ModelLights(const char* modelName, const kvVector3F& centre, float radius,
                          const qxMatrix34* placement);
// The EndModel hook: no probe slot is current any more.
void Deferred_EndModel(qxModel3* model, qxModel3* parent);

// Texture, submesh and replacement-texture caches ------------------------------------------

// Depth rasters: bits-per-pixel codes above this are 16-bit depth values,
// converted to one float each.
inline constexpr uint32_t TextureCache_DepthCode = 1000;

bool TextureCache_Query(uintptr_t key, TextureCacheEntry** entry);
// The surface holding the pixels at key converted for drawing: a
// replacement texture when one is loaded for key, else the cached
// conversion (converted again when the pixels changed, into a palette
// variant once the primary surface has been drawn), else a new entry.
// Null when there are no pixels or the surface cannot be made.
kvSurface* TextureCache_Get(uintptr_t key, uint32_t width, uint32_t height, uint32_t bitsPerPixel,
                            const uint8_t* palette, uint32_t keyEnable, uint32_t keyValue,
                            int forceReconvert, uint32_t extraWord, int allocFlag);
kvSurface* TextureCache_GetForBitmap(DisplayBuffer* bitmap, uint32_t keyEnable, uint32_t keyValue,
                                     int forceReconvert);
kvSurface* TextureCache_GetForDepthBitmap(DisplayBuffer* bitmap, uint32_t keyEnable,
                                          uint32_t keyValue, int forceReconvert);
void TextureCache_MarkStale(DisplayBuffer* buffer);

struct SubmeshSet;
bool SubmeshCache_GetSet(uintptr_t meshKey, int create, SubmeshSet** set);
bool SubmeshCache_Find(uintptr_t meshKey, const void* material, int cel,
                       kvVertexBuffer** vertexBuffer, uint32_t* vertexCount);
kvVertexBuffer* SubmeshCache_Add(uint32_t vertexCount, uintptr_t meshKey, void* material, int cel);
void SubmeshSet_Clear(SubmeshSet* set);
// Counts every submesh made or given up: a vertex buffer address seen
// before stands for the same vertices only while this is unchanged.
extern uint32_t Deferred_SubmeshGeneration;
// Entries in each cache (tests).
size_t TextureCache_Size(void);
size_t SubmeshCache_Size(void);
size_t ReplacementCache_Size(void);
// Empties the three caches, releasing everything (tests and shutdown).
void DeferredCaches_Clear(void);

// Hooks.
void Deferred_SurfaceChanged(void* pixels);
int Deferred_SurfaceFreed(void* key);
void Deferred_MaterialLoaded(void* textureKey, const char* materialName, int celIndex);
void Deferred_DrawMesh(qxModel3Mesh* mesh, const qxMatrix34* placement);

// The per-submesh drawer: the submesh's vertex buffer with the node's
// placement, its texture (or none) and its palette colour.
using DeferredSubmeshDrawer = int (*)(kvRenderContext* context, const qxMatrix34* placement,
                                      kvVertexBuffer* vertexBuffer, kvSurface* texture, float red,
                                      float green, float blue, float alpha);
// Splits a mesh into cached submeshes, one per (material, cel) of its faces
// (at most 32), and hands each to the drawer; the last drawer's result.
int Deferred_SubmitMesh(qxModel3Mesh* mesh, const qxMatrix34* placement,
                        DeferredSubmeshDrawer drawer);

// Shadow maps and actor shadows -----------------------------------------------------------

// Renders the shadow map of a light whose frame is its axes scaled by its
// half sizes and its position (type 2 spot: perspective, else orthographic
// of width x height): the "shadow meshes" bucket (kept) and the set's
// shadow-caster boxes. worldToShadowMap receives the light's view,
// projection and texture bias. -1 when no caster box was drawn, else 0.
// The map is drawn again only when it holds something else: another light,
// a light or caster that moved, other casters (each caster's vertex buffer,
// count and placement, each box) or a map cleared since.
int Deferred_ShadowMap(const kvMatrix4F& lightFrame, uint32_t lightType, float width, float height,
                       float nearDistance, float farDistance, kvVertexBuffer* cubeVertices,
                       kvIndexBuffer* cubeIndices, int cubeIndexCount,
                       kvMatrix4F* worldToShadowMap);
// The light's view-projection of the shadow-map pass (without the bias).
void Deferred_ShadowViewProjection(const kvMatrix4F& lightFrame, uint32_t lightType, float width,
                                   float height, float nearDistance, float farDistance,
                                   kvMatrix4F* out);
// Forgets what the shadow map holds (it was cleared or made again): the
// next Deferred_ShadowMap renders it whatever its inputs.
void Deferred_ForgetShadowMap(void);
// The unit cube (-1..1) from the frame ring: 8 corners and 36 indices; with
// winding 0 the second and third index of each triangle exchange. 36, or 0
// when the ring is full.
int Deferred_MakeCubeMesh(kvVertexBuffer** vertices, kvIndexBuffer** indices, int winding);
// The cube's 36 indices of a winding.
void Deferred_CubeIndices(uint16_t out[36], int winding);
// The DrawShadow hook: a convex polygon of count points (an actor's
// projected shadow) in a 5-6-5 colour into the "shadow" bucket. 1 when
// handled here (the software back end inactive), else 0 (the classic path
// fills it itself).
int Deferred_DrawShadow(const qxVector3* points, int count, int colour);

// Albedo, underlays, smooth lighting, virtual depth and Z shapes ---------------------------

void Deferred_Blit(DisplayBuffer* dstBuffer, kvSurface* dstSurface, DisplayBuffer* srcBuffer,
                   kvSurface* srcSurface, int x, int y, const stdRect* srcRect, int flags);
int Deferred_DrawSprite(qxThing* thing, const qxMatrix34* placement);
int Deferred_DrawSubmesh(kvRenderContext* context, const qxMatrix34* placement,
                         kvVertexBuffer* vertexBuffer, kvSurface* texture, float red, float green,
                         float blue, float alpha);
// Draws the underlays and the G-buffer; 0 when the render module is not
// initialised (only the underlays drawn), else 1.
int Deferred_Flush(void);
void Deferred_SmoothLighting(void);
void Deferred_ZShapes(void);
// Two triangles over the bound target; v runs 1 at the top to 0 at the
// bottom (render-target surfaces), the other way with flip.
void Deferred_DrawFullScreenQuad(int flip);
// (n + 1)^2 points on z = 0 from -1 to 1, two triangles per cell; n x n x 6
// indices, 0 when the ring is full or n is out of 1..255.
int Deferred_MakeGridMesh(kvVertexBuffer** vertices, kvIndexBuffer** indices, int n);

// A constant block of layout T from the frame ring, zeroed; null (and an
// empty block) when the ring is full.
template <class T>
T* Deferred_AllocConstants(kvRenderContext* context, kvConstantBlock* block);
// A transient vertex buffer of n vertices of layout T with its attributes.
template <class T>
kvVertexBuffer* Deferred_AllocVertices(kvRenderContext* context, int n);

// Lights, resolve and FXAA ----------------------------------------------------------------------

inline constexpr float Deferred_FxaaEdgeSharpness = 8.0f;
inline constexpr float Deferred_FxaaEdgeThreshold = 0.125f;
inline constexpr float Deferred_FxaaEdgeThresholdMin = 0.05f;
inline constexpr float Deferred_FxaaSubpixelSpread = 0.5f;

// The set's lights into LightTarget: the deferred lights, else a cleared
// light buffer and the cutscene lights.
void Deferred_Lights(void);
void Deferred_RenderLights(void);
void Deferred_CutsceneLights(void);
void Deferred_Resolve(void);
void Deferred_PostProcessPass(void);
// The FXAA constants for a target of width x height.
void Deferred_FillPostProcessConstants(DeferredPostProcessConstants* block, int width, int height);
// The resolve settings of the resolve point nearest the camera, or the
// defaults (white 1, black 0, luminance 0..1, power 1, strength 0.5).
DeferredResolveSettings Deferred_GetResolveSettings(void);
// The members the two resolves share: luminance curve, shadow black and AO
// strength, and the iris (drevRender_GetIrisState).
void Deferred_FillResolveCommon(kvVector4F* envShadow, kvVector4F* shadowBlack, kvVector4F* iris,
                                const DeferredResolveSettings& settings);
// The light-shape members of a light's fragment block (the light's inverse
// transform, colours, radii and inverse distances, 0 for a 0 divisor).
void Deferred_FillLightShape(const DeferredLightInfo& light, uint32_t kind,
                             kvMatrix4F* worldToLocal, kvVector4F* innerColour,
                             kvVector4F* outerColour, kvVector4F* position, kvVector4F* vertical,
                             kvVector4F* shading);

// Forward lighting path --------------------------------------------------------------------------

bool Deferred_ForwardShadowMap(void);
int Deferred_DrawSubmeshForward(kvRenderContext* context, const qxMatrix34* placement,
                                kvVertexBuffer* vertexBuffer, kvSurface* texture, float red,
                                float green, float blue, float alpha);
void Deferred_ForwardResolve(kvRenderTarget* outputTarget, kvRenderTarget* depthTarget);

// Shared helpers of the passes --------------------------------------------------------------------

// The render context when the passes may draw (a GL context, every
// program and target made), else null (the missing piece logged once).
kvRenderContext* Deferred_PassContext(void);
// Binds colour slot 0 (slots 1-3 none) and the depth target.
void Deferred_BindTarget(kvRenderContext* context, const DeferredTarget& colour,
                         kvRenderTarget* depth);
// A placement as a 4x4 matrix; the identity for none.
kvMatrix4F Deferred_PlacementMatrix(const qxMatrix34* placement);
// The current camera: focal factor, view (world to camera) and camera to world.
struct DeferredCamera {
  float focal;
  kvMatrix4F view;
  kvMatrix4F cameraToWorld;
};
DeferredCamera Deferred_GetCamera(void);

// Screen rectangles ------------------------------------------------------------------------------
// The passes that cover the whole target keep to the pixels they can change:
// the lights and smooth lighting to the meshes' rectangles (a shadow-casting
// light that also shades the background to the rectangles where its casters'
// shadows can fall as well), each light to the rectangle of its volume.

// Pixels x0..x1-1, y0..y1-1 of the deferred targets in GL window
// coordinates (origin at the bottom left); empty when x0 >= x1 or y0 >= y1.
struct DeferredRect {
  int x0, y0, x1, y1;
};
bool DeferredRect_IsEmpty(const DeferredRect& r);
DeferredRect DeferredRect_Union(const DeferredRect& a, const DeferredRect& b);
// Empty (all zero) when they do not overlap.
DeferredRect DeferredRect_Intersect(const DeferredRect& a, const DeferredRect& b);
DeferredRect DeferredRect_Full(int width, int height);
// The pixels of a width x height target that camera-space points (x right,
// y the depth, z up) cover once projected as the lit meshes are (focal
// factor over 320 and 240 pixels), grown by a pixel on every side; the
// whole target when a point is not in front of the camera (or not finite).
DeferredRect Deferred_ProjectRect(const kvVector3F* points, int count, float focal, int width,
                                  int height);
// The eight corners of the box lo..hi placed by m (row-vector points).
void Deferred_BoxCorners(const kvMatrix4F& m, const kvVector3F& lo, const kvVector3F& hi,
                         kvVector3F out[8]);
// The box lo..hi of local space placed by localToCamera, projected.
DeferredRect Deferred_BoxRect(const kvMatrix4F& localToCamera, const kvVector3F& lo,
                              const kvVector3F& hi, float focal, int width, int height);
// The local bounds of a TexturedVertex buffer's positions (its main-memory
// copy); false for a buffer without one (a transient buffer's bytes do not
// outlive their upload) or of another layout.
bool Deferred_VertexBounds(const kvVertexBuffer* buffer, kvVector3F* lo, kvVector3F* hi);
// The deferred targets' size (0 x 0 before they exist), and all of it.
void Deferred_TargetSize(int* width, int* height);
DeferredRect Deferred_FullTarget(void);
// Rectangles that never overlap: one added over others is merged with them
// into their bounding rectangle (again, until none overlap), so that a pass
// drawn once per rectangle with additive blending still adds to every pixel
// at most once. Past the capacity rectangles merge whether or not they
// overlap.
struct DeferredRectList {
  static constexpr int kCapacity = 32;
  DeferredRect rects[kCapacity];
  int count = 0;
};
void DeferredRectList_Add(DeferredRectList* list, const DeferredRect& rect);
// The frame's meshes: every albedo record's rectangle, overlapping ones
// merged; emptied at every frame begin.
extern DeferredRectList Deferred_MeshRects;
// Adds a mesh drawn with the buffer's vertices, the placement model and the
// camera to Deferred_MeshRects (the whole target when its bounds are
// unknown).
void Deferred_NoteMesh(const kvVertexBuffer* buffer, const kvMatrix4F& model,
                       const DeferredCamera& camera);
// Keeps the following draws to the rectangle (no clip when it is the whole
// target); kv_RenderContext_ClearClipRect ends it.
void Deferred_ClipTo(kvRenderContext* context, const DeferredRect& rect);
// Deferred_DrawFullScreenQuad(0) once within each of the rectangles (none
// for an empty list), then no clip.
void Deferred_DrawFullScreenQuadIn(kvRenderContext* context, const DeferredRectList& rects);
// Where the shadow map of a light, rendered through viewProjection (without
// the texture bias) from the "shadow meshes" bucket and the set's caster
// boxes, can darken a point, caster by caster: each caster's rectangle is
// added to out (a point is shadowed only through one caster's texels, from
// behind that caster). spread is how far (in shadow-map texture units) the
// light's filter reaches, bias the depth bias it compares with, and
// receivers (u0, u1, v0, v1) the shadow-map texture coordinates of every
// point the light can shade (null when unbounded). Nothing is added when
// nothing casts. False, with nothing added, when the shadows cannot be
// bounded (a caster at the eye, one at the map's edge without receiver
// bounds, a negative bias, a region crossing the camera plane).
bool Deferred_ShadowReceiverRects(const kvMatrix4F& viewProjection, float spread, float bias,
                                  const float* receivers, const DeferredCamera& camera,
                                  DeferredRectList* out);

// Tests: every piece of frame state back to its start value (flags,
// counters, caches).
void Deferred_ResetFrameStateForTest(void);

// ------------------------------------------------------------------------------------------------

template <class T>
T* Deferred_AllocConstants(kvRenderContext* context, kvConstantBlock* block) {
  *block = kvConstantBlock{0, nullptr, nullptr};
  if (!context) return nullptr;
  kv_RenderContext_AllocConstants(block, context, sizeof(T), kv_Layout_GetDescriptor<T>());
  auto* data = static_cast<T*>(block->data);
  if (!data) {
    *block = kvConstantBlock{0, nullptr, nullptr};
    return nullptr;
  }
  std::memset(static_cast<void*>(data), 0, sizeof(T));
  return data;
}

template <class T>
kvVertexBuffer* Deferred_AllocVertices(kvRenderContext* context, int n) {
  if (!context || n <= 0) return nullptr;
  kvVertexBuffer* buffer = kv_VertexBuffer_AllocateTransient(
      context, static_cast<size_t>(n) * sizeof(T), kv_Layout_GetDescriptor<T>());
  if (buffer) kv_VertexBuffer_BindLayout<T>(buffer);
  return buffer;
}
