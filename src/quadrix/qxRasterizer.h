// The 3D library's table of calls up to the software rasterizer, which sits
// on the floor above it and draws what the library queues: its start-up, its
// statistics and the face cache's flush (one call per face, or one span pass
// per flush). It starts empty; the program installs the rasterizer's
// functions (qxRasterizer_SetCalls). Tests put recording fakes in a row and
// go back to the program's rows with qxRasterizer_ResetCalls.
//
// The program installs it before it starts the library (qxCore_Startup
// starts the rasterizer). Without a rasterizer the library still loads and
// writes its files, and its face cache drops what it flushes; the start-up
// and the first such flush say so in the log.
#pragma once

struct qxCacheFace;

struct qxRasterizerCalls {
  // Start-up: open (1 when open) and the tables the rasterizer builds once.
  int (*open)(void);
  void (*startup)(void);
  // Clears the counts the rasterizer keeps per frame.
  void (*resetStats)(void);
  // One queued face, without and with the depth buffer, and a procedural
  // face; 0 when its effective geometry is 0, else 1.
  int (*drawFaceDirect)(qxCacheFace* face);
  int (*drawFaceZBuffered)(qxCacheFace* face);
  int (*drawProceduralFace)(qxCacheFace* face);
  // The span pass over the whole cache: prepare, then draw every queued face.
  void (*spanReset)(void);
  void (*spanRun)(void);
};

qxRasterizerCalls& qxRasterizer_Calls(void);
void qxRasterizer_SetCalls(const qxRasterizerCalls* calls);
void qxRasterizer_ResetCalls(void);
