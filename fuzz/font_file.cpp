// Bitmap font files: any bytes given to the font-file reader; a font it
// accepts is measured and drawn into a small raster.
#include <cstdint>
#include <vector>

#include "presentation/TextFont.h"
#include "std/std.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static HostServices hs;
  static bool ready = false;
  if (!ready) {
    HostServices_CopyDefaults(&hs);
    std_DefaultServices(&hs);
    std_Startup(&hs);
    TextFont_Initialize(&hs, nullptr);
    TextFont_Startup();
    ready = true;
  }
  TextFont* font = nullptr;
  if (TextFont_ParseFile(data, size, &font) == 0 && font) {
    std::vector<uint16_t> pixels(64 * 32);
    TextCanvas canvas{pixels.data(), 64, 32, 2, 16, 128};
    TextClip clip{-8, -8, 80, 48};
    TextLayout layout;
    TextFont_InitLayout(&layout, &canvas, &clip);
    layout.font = font;
    layout.flags = TEXTFONT_WRAP | TEXTFONT_CENTRE;
    layout.x = 32;
    char text[257];
    for (int i = 0; i < 256; ++i) text[i] = static_cast<char>(i + 1 == 256 ? 32 : i + 1);
    text[256] = 0;
    TextFont_MeasureWidth(&layout, text);
    TextFont_MeasureHeight(&layout, text);
    TextFont_DrawLayout(text, &layout, font);
    TextFont_Free(font);
  }
  return 0;
}
