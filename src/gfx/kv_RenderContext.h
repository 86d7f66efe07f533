// The render context over OpenGL. Not built yet: a placeholder with the frame
// calls the engine core makes.
#pragma once

// 1 when a frame was begun, 0 when one was already open.
int kv_Platform_BeginFrame(void);
void kv_Platform_OnResourcesReleased(void);
