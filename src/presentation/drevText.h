// Text objects and the bitmap font.
// Placeholder: not built yet (the presentation subsystem builds this module);
// only the software back end's text operation is declared here.
#pragma once

struct TextObject;

// Draws a text object into the software raster with the bitmap font.
int drevText_DrawTextObject(TextObject* textObject, int invalidate);
