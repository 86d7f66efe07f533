// High-definition text as one textured quad per byte from a baked font's
// atlas: building the quads on one line, word wrap at a width (moving the
// tail of the text down a line, in place), the line table, and horizontal and
// vertical alignment. Character i owns vertices 6i to 6i + 5 (TextVertex,
// written like a 2D quad); positions are back-buffer pixels relative to the
// text's origin, x right, y down. Vertex 0 of a character holds its quad's
// left and bottom edges, vertex 4 its right and top edges.
//
// Main thread only.
#pragma once

#include <cstdint>

struct HdFont;
struct kvSurface;
struct kvVertexBuffer;

struct TextMesh {
  HdFont* font;
  kvSurface* surface;            // the font's atlas
  kvVertexBuffer* vertexBuffer;  // 120 bytes a character
  uint8_t perFrame;  // 1: from the frame's ring; 0: released by the owner (kv_Buffer_Release)
  uint32_t length;   // characters
  float inverseAtlasWidth;
  float inverseAtlasHeight;
};

struct TextLine {
  uint32_t firstVertex;  // 6 x first character
  uint32_t vertexCount;
  uint32_t firstCharacter;
  uint32_t characterCount;
  float x, y;           // after alignment: smallest x and y of its vertices
  float width, height;  // measured before alignment
};

constexpr uint32_t TextLineTable_MaxLines = 256;

struct TextLineTable {
  TextLine lines[TextLineTable_MaxLines];
  uint32_t lineCount;
  float pixelSize;
  float maxX, maxY;  // largest right and bottom edges, before alignment
  float minX, minY;  // smallest line x and y after alignment; 999999 before
};

// Lays the string out on one line in a new vertex buffer (per frame, or a
// buffer of the mesh's own). Code 182 is drawn as a space; code 255 draws
// nothing and does not advance.
void Text_BuildMesh(TextMesh* mesh, const char* text, HdFont* font, int perFrame);
// Breaks lines at wrapWidth back-buffer pixels: a word that does not fit moves
// whole to the next line unless it is wider than the width; a newline starts a
// new line with itself; code 182 never breaks.
void Text_WrapMesh(TextMesh* mesh, const char* text, float wrapWidth);
// Measures the lines. Text that wraps to more than 256 lines is cut after the
// 256th: the rest is not measured, aligned nor drawn.
void Text_BuildLineTable(TextLineTable* table, const TextMesh* mesh);
// Shifts each line by ceil(-justX x its width) and the block of lines by
// ceil(-justY x its height): 0 left or top, 0.5 centred, 1 right or bottom.
void Text_JustifyLines(TextMesh* mesh, TextLineTable* table, float justX, float justY);

// The characters the line table covers (all of them unless it was cut).
uint32_t Text_CoveredCharacters(const TextLineTable* table);

// The vertex range that shows lines first .. first + limit - 1 (clamped to the
// table): start vertex and count, -2 for "to the end of the buffer".
struct TextLineWindow {
  uint32_t firstLine;
  int startVertex;
  int vertexCount;
};
TextLineWindow Text_VisibleLines(const TextLineTable* table, uint32_t meshLength, int firstLine,
                                 int lineLimit);
