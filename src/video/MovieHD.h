// High-definition movie playback: when a cutscene starts, its Theora
// replacement in the "MoviesHD" folder (the cutscene's name with ".ogv" for
// ".snm") plays in its place. The driver makes the clip player with one
// worker, picks the audio track of the game's language, buffers 16 frames
// behind a black quad, uploads each due frame into a texture surface, draws it
// as one aspect-correct quad over the whole picture and decides when the movie
// is over. The cutscene glue calls start, one update per engine frame, its
// hooks and stop. There is at most one such movie at a time, in one
// process-wide record; everything here runs on the main thread.
#pragma once

#include <cstdint>

class KineVideoClip;
class KineVideoManager;
struct DrawRecord;
struct LayoutDescriptor;
struct kvConstantBlock;
struct kvRenderContext;
struct kvShader;
struct kvSurface;
struct kvVertexBuffer;

// 1 when the high-definition movie plays, 0 when the caller must play the
// classic cutscene. name is the cutscene's file name with ".snm"; hold keeps
// the last frame on screen at the end.
int MovieHD_Start(const char* name, int hold);
// Once per engine frame while the movie is active (final 0), and once more with
// final 1 when it has stopped being active.
void MovieHD_Update(int final);
// Ends the movie and frees the player and the surface.
void MovieHD_Stop(void);
// With hold clear or before the end time: the active flag; past the end time
// with hold set: 1 while a draw is still owed.
int MovieHD_IsActive(void);
// 1 until the movie reaches its end time or its sound runs dry.
int MovieHD_IsRunning(void);
// The cutscene glue's hooks: they do nothing else.
void MovieHD_OnStopRequest(void);
int MovieHD_OnCutscenePlayerStart(void);
int MovieHD_OnCutscenePlayerStop(void);
// The clip clock in seconds at the end of the last update that had a surface
// (the glue's movie time while the movie is active).
float MovieHD_GetLastClipTime(void);
// 1 while a director's commentary plays over the movie: the movie's gain then
// stays at or below 0.05.
void MovieHD_SetCommentaryDuck(int duck);

// The audio track for the game language: English 0, German 2, Spanish 1,
// French 4, Italian 3, Portuguese 5 (positions in the player's language-code
// list "eng", "spa", "ger", "ita", "fre", "por"); any other language 0.
int MovieHD_GetAudioTrack(void);
// The end time in milliseconds of a cutscene name (exact, case-sensitive) in
// the cutscene table; all bits set when the name is not listed or has no time.
uint32_t MovieHD_GetEndTime(const char* name);
// Reads the cutscene table anew from "cutscenes.txt" in the game folder (at
// most 48 rows; read on first use otherwise). Each line: the file name, then
// further fields separated by blanks, tabs or commas; a third field of decimal
// digits is the end time in milliseconds. Returns the rows read, -1 when the
// file cannot be opened (the table is then empty).
int MovieHD_ReadCutsceneTable(void);

// Queues the current surface as one textured quad over the whole picture into
// the "hardware overlay" bucket.
void MovieHD_Draw(void);
// Reserves a 36-byte TexturedQuadConstants block in the frame's constant ring;
// fills the block {size, pointer, layout} and the pointer the caller writes
// the constants through (null when the ring is full).
void MovieHD_BindQuadConstants(kvConstantBlock* block, kvRenderContext* context, void** data);
// A per-frame 120-byte VideoQuadVertex buffer holding the rectangle (x, y,
// width, height) in clip space: vertex (x, y + height) takes (uMin, vMin),
// so the first texture row is at the top. Null when none can be made.
void MovieHD_BuildQuad(float x, float y, float width, float height, float uMin, float vMin,
                       float uMax, float vMax, kvVertexBuffer** buffer);
// A per-frame buffer of vertexCount VideoQuadVertex vertices with the layout's
// attributes ("Position" as three floats, "TexCoord" as two).
kvVertexBuffer* VideoQuad_AllocateVertexBuffer(kvRenderContext* context, int vertexCount);
// The six vertices of the rectangle from vertex 0 on.
void VideoQuad_FillVertices(kvVertexBuffer* buffer, float x, float y, float width, float height,
                            float uMin, float vMin, float uMax, float vMax);
const LayoutDescriptor* VideoQuadVertex_GetLayout(void);
const LayoutDescriptor* TexturedQuadConstants_GetLayout(void);
const char* VideoQuadVertex_GetName(void);
const char* TexturedQuadConstants_GetName(void);

// ---- Calls out of the movie driver ---------------------------------------------------
// The neighbours' functions the driver calls. The table starts empty and the
// program installs its rows (MovieHD_SetCalls); tests put a fake clip and a
// recording renderer in place (MovieHD_ResetCalls goes back to the program's).
struct MovieHDCalls {
  uint32_t (*getTicks)(void);
  float (*readFloat)(const char* name, float defaultValue);
  int (*languageGet)(void);
  int (*isNoFmv)(void);
  int (*fileExists)(const char* path, const char* mode);
  // KineVideoManager::CreateClip on the given manager; throws as it does.
  KineVideoClip* (*createClip)(KineVideoManager* manager, const char* path, int outputMode,
                               int precachedFrames, int powerOfTwoStride, uint32_t audioTrack);
  // The clip's audio sink reports that its sound ran dry.
  int (*audioFinished)(KineVideoClip* clip);
  kvSurface* (*surfaceAllocate)(int width, int height, uint32_t format, int flag);
  int (*surfaceLock)(kvRenderContext* context, kvSurface* surface, void** pixels, int* rowLength);
  int (*surfaceUnlock)(kvSurface* surface, void** pixels);
  void (*surfaceRelease)(kvSurface* surface);
  void (*surfaceGetInfo)(const kvSurface* surface, int* width, int* height, uint32_t* format);
  // The back buffer's colour target size (0 x 0 without one).
  void (*backBufferSize)(int* width, int* height);
  int (*isWidescreen)(void);
  kvShader* (*shaderLoad)(const char* name);
  float (*getGamma)(void);
  void (*fillBlack)(void);
  // Appends to the "hardware overlay" bucket.
  void (*overlayAdd)(const DrawRecord* record);
};
MovieHDCalls& MovieHD_Calls(void);
void MovieHD_SetCalls(const MovieHDCalls* calls);
void MovieHD_ResetCalls(void);

// The movie record, for tests.
struct MovieHDState {
  KineVideoManager* manager;
  KineVideoClip* clip;
  kvSurface* surface;
  kvVertexBuffer* quad;
  uint32_t nowTicks;
  uint32_t previousTicks;
  float lastClipTime;
  int buffering;
  int active;
  int running;
  int hold;
  uint32_t endTime;
  int32_t extraDraws;
  int32_t commentaryDuck;
  kvShader* program;
};
const MovieHDState& MovieHD_GetState(void);
