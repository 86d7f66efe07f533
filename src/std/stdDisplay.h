// The general library's display layer: the display devices and their video
// modes, the display's front and back buffers, and the DisplayBuffer, the
// plain pixel buffer that the classic path draws into and copies between.
//
// A display buffer is either a block of pixels in main memory or a window
// onto a surface of the render context; the front and back buffers are
// surface-backed, so what the software path paints there reaches the screen
// through the OpenGL frame. The layer also packs buffers with the LZ coder,
// converts them between pixel formats, fills them and copies rectangles
// between them. There is one device, a window, with one mode: 640x480 at 16
// bits per pixel in 5-6-5 layout. Main thread only.
#pragma once

#include <cstdint>

struct kvSurface;

// Pixel layout: 14 ints in this order (also the order of BM file headers).
struct ColorFormat {
  int colorMode;  // 0 = palette indices, 1 = RGB (depth images use 5)
  int bitsPerPixel;
  int redBits, greenBits, blueBits;
  int redShift, greenShift, blueShift;
  int redLoss, greenLoss, blueLoss;  // 8 minus the bit count
  int alphaBits, alphaShift, alphaLoss;
};
static_assert(sizeof(ColorFormat) == 14 * 4);

struct BufferFormat {
  int width;
  int height;
  int byteSize;
  int bytesPerRow;
  int pixelsPerRow;
  ColorFormat format;
};

// Storage states.
inline constexpr int STDDISPLAY_PLAIN = 0;
inline constexpr int STDDISPLAY_PACKED = 2;

struct DisplayBuffer {
  int storage;    // 0 plain pixels; 2 packed (pixels hold LZ bytes, byteSize their length)
  int lockCount;  // outstanding locks; a new buffer starts at 1
  int pageFlag;   // 1 for the display's front and back buffers
  BufferFormat format;
  uint8_t* palette;  // 768-byte RGB palette or null (not owned)
  // The pixel block. For a surface-backed buffer: the surface's CPU copy
  // while locked, null while unlocked.
  void* pixels;
  uint32_t colorKey;   // the pixel value that keyed copies leave out
  const char* name;    // static text or null
  kvSurface* surface;  // backing surface, or null for a plain buffer
};

// {x, y, width, height}.
struct stdRect {
  int x, y, width, height;
};

struct VideoMode {
  int unknown0;  // 0
  float aspect;  // 1.0
  BufferFormat format;
};

struct DisplayDevice {
  char name[128];
  char description[128];
  int ownBuffers;  // 0: the display layer makes the mode table and the static buffers
  int reserved0, reserved1;
  int reserved2;  // 1
  int has3DDevice;
  int reserved3, reserved4;  // 2000000 each
};

// The display's pages: the front and back buffers swap their pictures at
// every flip, so what is drawn into the back buffer reaches it every other frame.
inline constexpr int STDDISPLAY_PAGE_COUNT = 2;

// The list of display devices that std_ListDisplayDevices makes.
struct stdDevice3DRecord;
struct stdDisplayDeviceEntry {
  DisplayDevice device;
  int numModes;
  VideoMode* modes;  // null when the device has none
  int num3DDevices;
  stdDevice3DRecord* devices3D;  // null when the device has none
};
struct stdDisplayDeviceList {
  int count;
  stdDisplayDeviceEntry* entries;
};

// Flags of the rectangle copy.
inline constexpr int STDDISPLAY_COPY_KEYED = 1;

extern DisplayBuffer stdDisplay_frontBuffer;
extern DisplayBuffer stdDisplay_backBuffer;
extern int stdDisplay_numVideoModes;
// 1 once any mode has been set.
extern int stdDisplay_bEverModeSet;

// Devices and modes.
int stdDisplay_Startup(void);
void stdDisplay_Shutdown(void);
int stdDisplay_GetNumDevices(void);
const DisplayDevice* stdDisplay_GetDevice(int index);
int stdDisplay_Open(int deviceIndex);
void stdDisplay_Close(void);
// The device that is open, null when none.
const DisplayDevice* stdDisplay_GetOpenDevice(void);
const VideoMode* stdDisplay_GetVideoMode(int index);
int stdDisplay_SetMode(int modeIndex, uint8_t* palette, int clearTwice);
void stdDisplay_ResetMode(void);
int stdDisplay_IsModeSet(void);
// Presents the frame; returns 1 (it is the engine's present hook).
int stdDisplay_Flip(void);
int stdDisplay_GetCurrentDevice(DisplayDevice* out);
int stdDisplay_FindVideoMode(const VideoMode* wanted, const VideoMode* modes, int count);
int stdDisplay_SetPalette(const uint8_t* palette);
void stdDisplay_UpdatePalette(const uint8_t* palette);
int stdDisplay_DrawText(const char* text, int x, int y);

// Buffers.
// A new plain buffer of the format's width, height and colour format (row
// bytes and byte size are worked out here), zeroed, lock count 1. Null when
// the size is not positive, the depth is not a whole number of bytes, the
// byte size does not fit 31 bits, or memory runs out.
DisplayBuffer* stdDisplay_NewBuffer(const BufferFormat* format, int reserved0, int reserved1,
                                    uint8_t* palette);
// Null-safe. Releases the backing surface; a packed block is dropped from the
// decompression cache.
void stdDisplay_FreeBuffer(DisplayBuffer* buffer);
// 1 on success; 0 for a packed buffer or a surface that cannot be locked.
int stdDisplay_LockBuffer(DisplayBuffer* buffer);
int stdDisplay_UnlockBuffer(DisplayBuffer* buffer);
int stdDisplay_SetBufferColorKey(DisplayBuffer* buffer, uint32_t value);
void stdDisplay_PackBuffer(DisplayBuffer* buffer);
void stdDisplay_UnpackBuffer(DisplayBuffer* buffer);
// Unpacks a packed source into the destination's pixels; 1 on success.
int stdDisplay_UnpackBufferInto(DisplayBuffer* source, DisplayBuffer* destination);
// The buffer itself (nothing to do), a new buffer (the old one is freed), or
// null when a new one cannot be made (the old one is then unchanged).
DisplayBuffer* stdDisplay_ConvertBuffer(const ColorFormat* newFormat, DisplayBuffer* buffer);
// The software back end's fill: the whole buffer or the rectangle clipped to
// it. 1 when the buffer could be filled, 0 when it has no plain pixels.
int stdDisplay_FillBuffer(DisplayBuffer* buffer, uint32_t value, const stdRect* rect);
// Copies the source rectangle (null = the whole source) to (x, y), clipped
// against both buffers; flags bit 0 leaves out source pixels equal to the
// source's colour key. 0 when nothing can be copied (an empty or negative
// rectangle, one that misses either buffer, differing depths), else 1.
int stdDisplay_CopyRect(DisplayBuffer* destination, DisplayBuffer* source, int x, int y,
                        const stdRect* rect, int flags);
// CopyRect inside locks; 0 when the source is packed.
int stdDisplay_Blit(DisplayBuffer* destination, DisplayBuffer* source, int x, int y,
                    const stdRect* rect, int flags);

// Fills a BufferFormat's row bytes, pixels per row and byte size from its
// width, height and bits per pixel. 0 when they are out of range.
int stdDisplay_ComputeFormatSizes(BufferFormat* format);
