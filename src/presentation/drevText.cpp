// Text objects and say-lines. Not built yet (placeholder).
#include "presentation/drevText.h"

#include "platform/kv_Log.h"

int drevText_Initialize(HostServices*, ModuleDescriptor*) {
  return 0;
}

// No text is drawn: the result says so.
int drevText_DrawTextObject(TextObject*, int) {
  return 0;
}

void drevText_DrawStringImmediate(const char*, int, int, int, int, TextFont*) {
  static bool reported = false;
  if (!reported) {
    reported = true;
    kv_Log_Printf("[Text] - drevText_DrawStringImmediate: not built yet");
  }
}

// Not built yet: there are no text objects to read.
int drevText_GetTextObjectDrawInfo(TextObject*, const char**, float*, float*, int*, void**,
                                   uint32_t*, uint32_t*, uint32_t*, void**, float*, int*, int*,
                                   int*, float*, float*) {
  static bool reported = false;
  if (!reported) {
    reported = true;
    kv_Log_Printf("[Text] - drevText_GetTextObjectDrawInfo: text objects are not built yet");
  }
  return 0;
}

void drevText_DrawPass(int, int) {
  static bool reported = false;
  if (!reported) {
    reported = true;
    kv_Log_Printf("[Text] - drevText_DrawPass: text objects are not built yet");
  }
}
void drevText_SuspendDrawing(void) {}
void drevText_ResumeDrawing(void) {}
