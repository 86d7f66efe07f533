// The render-hook registry. Not built yet: only the two broadcasts that the
// 3D library's cameras use are declared, and they reach no back end.
#pragma once

struct DisplayBuffer;
struct stdRect;

// Fills a video buffer (or one rectangle of it) on every back end.
int kv_RenderHooks_FillBuffer(DisplayBuffer* buffer, int value, const stdRect* rect);
// Tells every back end that the current camera changed.
void kv_RenderHooks_CameraChanged(void);
