// The cutscene glue's host layer: it creates the codec library's registry
// with the engine's own memory and file modules, starts and stops the
// library, opens a movie, steps it one frame at a time and copies each
// decoded frame into the engine's frame buffer through a remap table.
#pragma once

#include <cstdint>

#include "std/std.h"
#include "vembra/vembra_Services.h"
#include "vembra/vembra_bitmap.h"

// A locked frame buffer as the display callbacks describe it.
struct TolveFrame {
  void* pixels;
  int32_t width;
  int32_t height;
  int32_t bytesPerPixel;
  int32_t pitch;
};

// {x, y, width, height}.
struct TolveRect {
  int32_t x, y, width, height;
};

// The six display callbacks that the engine module installs.
struct TolveDisplayCallbacks {
  int (*CheckMode)(int32_t width, int32_t height, int32_t bits);  // 0 when it matches
  int (*Idle)(void);
  int (*Lock)(TolveFrame* frame, TolveRect* rect);
  void (*Unlock)(void);
  void (*Clear)(void);
  int (*Idle2)(void);
};

// The stream header of a movie file.
struct TolveFileHeader {
  uint8_t byte0, byte1;
  int16_t frameCount;
  int16_t x, y, width, height;
  uint16_t word12;
  uint32_t periodUs;
  uint32_t largestFrame;
  uint8_t palette[1024];
  uint16_t word1046;
};

// The host layer's lifecycle record: initialise, uninitialise, startup,
// shutdown and four words left zero.
struct TolveHostLifecycle {
  int (*initialize)(HostServices* services, TolveHostLifecycle* lifecycle);
  void (*uninitialize)(void);
  int (*startup)(void);
  void (*shutdown)(void);
  void* reserved[4];
};

constexpr uint32_t kTolvePlayLoop = 0x10;

// 0, or 1 when the registry already exists or cannot be made.
int TolveHost_Initialize(HostServices* services, TolveHostLifecycle* lifecycle);
void TolveHost_Uninitialize(void);
// 0 when the library runs, 1 when it could not start.
int TolveHost_Startup(void);
void TolveHost_Shutdown(void);
void TolveHost_SetDisplayCallbacks(const TolveDisplayCallbacks* callbacks);
// The remap table each decoded pixel goes through (null: copied as it is).
void TolveHost_SetRemap(const uint16_t* remap);
// 0 when the movie opened, 1 when not.
int TolveHost_PlayStart(const char* path, uint32_t flags, int32_t x, int32_t y, int32_t width,
                        int32_t height, int use555);
// One frame; *ended becomes 1 when the movie is over.
int TolveHost_PlayStep(int* ended);
int TolveHost_PlayStop(void);
// Plays a movie to its end, or until abort answers non-zero.
int TolveHost_PlayFile(const char* path, uint32_t flags, int32_t x, int32_t y, int32_t width,
                       int32_t height, int use555, int (*abort)(void));
// The player's pause (0 or 1) while a movie is open.
void TolveHost_Pause(int flag);
int TolveHost_IsMovieOpen(void);
int TolveHost_IsStarted(void);
// The movie rectangle of the open movie.
TolveRect TolveHost_MovieRect(void);
// Copies the decoded picture into the frame at the movie rectangle, clipped
// to the frame and the picture, each 16-bit pixel through the remap table.
void TolveHost_Blit(const TolveFrame* frame, const VembraBitmap* decoded, const TolveRect* rect,
                    const uint16_t* remap);

// Reads the stream header at byte 16 of an open file; -2 for a header that
// cannot be read or has no width, height or frame size; 0 (position kept).
int Tolve_ReadFileHeader(const VembraFilio* io, VembraFileHandle file, TolveFileHeader* header);
// The header from a byte image of a file (the fuzz target's entry).
int Tolve_ParseFileHeader(const uint8_t* bytes, size_t size, TolveFileHeader* header);
// frames x 66.666664 ms; 0 when the file cannot be opened or read.
float Tolve_GetFileLength(const char* path);
