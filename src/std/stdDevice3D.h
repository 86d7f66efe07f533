// The general library's layer between the classic 3D library and an
// accelerated 3D device: frame bracketing, batches of vertices and triangles,
// a texture cache in most-recently-used order with a byte budget, device
// palettes in 16-bit texture formats, and the fitting of texture sizes to the
// device's limits.
//
// The display layer lists no 3D device and the 3D library runs at
// accelerated level 0, so the batch and upload entry points answer without
// doing anything. The texture-size fit, the cache order, the palette
// conversion and the device choice used by the front end are real. Main
// thread only.
#pragma once

#include <cstdint>

struct ColorFormat;

// A 3D device as a display device lists it. Only these words of the device's
// description are read.
struct stdDevice3DRecord {
  int identity;  // the device's identity; 0 = none
  int match1;    // two matching words compared by the device choice
  int match2;
  int keyedTextures;          // 1 when colour-keyed textures are available
  int noTranslucentPalette;   // 0: a translucent palette is built as well
  int squareTextures;         // 1 when textures must be square
  int capabilities;           // capability mask
  int64_t freeTextureMemory;  // bytes; goes down as textures enter the cache
};

// A texture of the cache. The 3D library keeps one per mip level and slot of
// a material texture; this layer links it into the cache list.
struct stdDevice3DTexture {
  int byteSize;
  int frameOfLastUse;
  stdDevice3DTexture* next;      // towards the least recently used
  stdDevice3DTexture* previous;  // towards the most recently used
  int linked;                    // 1 while in the cache list
};

// Which of the three device palettes.
enum stdDevice3DPalette : int {
  STDDEVICE3D_PALETTE_PLAIN = 0,
  STDDEVICE3D_PALETTE_KEYED = 1,
  STDDEVICE3D_PALETTE_TRANSLUCENT = 2,
};

int stdDevice3D_Startup(void);
void stdDevice3D_Shutdown(void);
// Set and clear the in-frame flag.
int stdDevice3D_BeginFrame(void);
int stdDevice3D_EndFrame(void);
int stdDevice3D_IsInFrame(void);

// Batches: nothing is drawn. A result of 0 from SubmitVertices would ask the
// caller to draw what it has and submit again; it is always 1.
int stdDevice3D_ResetBatch(void);
int stdDevice3D_SubmitVertices(const void* vertices, int count);
int stdDevice3D_BeginBatchDraw(void);
int stdDevice3D_SubmitTriangles(const void* triangles, int count);
int stdDevice3D_DrawBatch(void);
int stdDevice3D_ClearBuffers(void);
// The texture-cache flush of the developer key "t": nothing to flush.
void stdDevice3D_FlushTextures(void);
// Nothing is loaded: always 0, so a device texture is never marked loaded.
int stdDevice3D_UploadTexture(stdDevice3DTexture* texture, const void* pixels, int keyed,
                              int mipLevel);
// Stamps the texture with the device frame number and moves it to the head of
// the cache (linking it in when it was not in the list yet).
void stdDevice3D_TouchTexture(stdDevice3DTexture* texture);
// Keeps a copy of the 768-byte palette and converts it into the device's
// 16-bit texture palettes; level is the alpha of the translucent one.
int stdDevice3D_SetPalette(const uint8_t* palette, int level);
// Fits a texture size to the device's limits (and to a square when the
// device asks for one).
void stdDevice3D_ClampTextureSize(int width, int height, int* outWidth, int* outHeight);
void stdDevice3D_SetViewport(const int* rect);
// The index of the record that best matches the wanted one; 0 for none.
int stdDevice3D_FindDevice(const stdDevice3DRecord* wanted, const stdDevice3DRecord* records,
                           int count);

// The chosen 3D device (null while none is chosen: the layer is not in use).
void stdDevice3D_SetCurrentDevice(stdDevice3DRecord* device);
stdDevice3DRecord* stdDevice3D_GetCurrentDevice(void);
// The device's texture formats: plain, colour-keyed and translucent (any may
// be null).
void stdDevice3D_SetTextureFormats(const ColorFormat* plain, const ColorFormat* keyed,
                                   const ColorFormat* translucent);
// The last palette handed to SetPalette, and one of its 16-bit conversions.
const uint8_t* stdDevice3D_GetPalette(void);
const uint16_t* stdDevice3D_GetPalette16(stdDevice3DPalette which);

// The texture cache: most recent first.
stdDevice3DTexture* stdDevice3D_GetCacheHead(void);
int stdDevice3D_GetCacheCount(void);

// Back to program start (tests).
void stdDevice3D_ResetForTest(void);
