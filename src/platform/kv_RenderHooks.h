// The render-hook registry and back-end selection.
// Not built yet: only the registration entry the platform main calls and the
// two broadcasts the 3D library's cameras use; no back end is registered, so
// the broadcasts reach nobody.
#pragma once

struct DisplayBuffer;
struct stdRect;

void kv_RenderHooks_InitBackends(void);
// Fills a video buffer (or one rectangle of it) on every back end.
int kv_RenderHooks_FillBuffer(DisplayBuffer* buffer, int value, const stdRect* rect);
// Tells every back end that the current camera changed.
void kv_RenderHooks_CameraChanged(void);
