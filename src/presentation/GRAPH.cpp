// GRAPH: byte canvases, clipped lines, rectangles, fills and copies.
#include "presentation/GRAPH.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "std/std.h"

namespace {

struct GraphState {
  HostServices* services = nullptr;
  int initialized = 0;
  int started = 0;
};
GraphState g_graph;

HostServices* Services() {
  return g_graph.services ? g_graph.services : std_pHS;
}

// The clip as inclusive-exclusive edges, cut to the canvas.
struct Edges {
  int64_t left, top, right, bottom;
  bool Empty() const { return right <= left || bottom <= top; }
};

Edges ClipEdges(const GraphCanvas* canvas, const GraphRect* clip) {
  Edges e{0, 0, canvas->width, canvas->height};
  if (clip) {
    e.left = std::max<int64_t>(e.left, clip->x);
    e.top = std::max<int64_t>(e.top, clip->y);
    e.right = std::min<int64_t>(e.right, int64_t{clip->x} + clip->width);
    e.bottom = std::min<int64_t>(e.bottom, int64_t{clip->y} + clip->height);
  }
  return e;
}

bool Usable(const GraphCanvas* canvas) {
  return canvas && canvas->pixels && canvas->width > 0 && canvas->height > 0 &&
         canvas->bytesPerPixel > 0;
}

uint8_t* At(GraphCanvas* canvas, int64_t x, int64_t y) {
  return canvas->pixels + y * canvas->width + x;
}

// Clips a span of count pixels from start along one axis to [lo, hi), on
// the line `across` of the other axis, which must lie in [acrossLo,
// acrossHi). False when nothing of it is left.
bool ClipSpan(int64_t& start, int64_t& count, int64_t lo, int64_t hi, int64_t across,
              int64_t acrossLo, int64_t acrossHi) {
  if (across < acrossLo || across >= acrossHi) return false;
  if (start < lo) {
    count -= lo - start;
    start = lo;
  }
  count = std::min(count, hi - start);
  return count > 0;
}

// a + b * c / d with the product in 128 bits; the clipper's intersections lie
// between the two end points, so the result fits an int.
int64_t Intersect(int64_t a, int64_t b, int64_t c, int64_t d) {
  return a + static_cast<int64_t>(static_cast<__int128>(b) * c / d);
}

// Clips the segment in one axis (u is clipped to [lo, hi], v follows).
// False when nothing of it is left.
bool ClipAxis(int64_t& u0, int64_t& v0, int64_t& u1, int64_t& v1, int64_t lo, int64_t hi) {
  if (u0 == u1) return u0 >= lo && u0 <= hi;
  if (u0 < lo) {
    if (u1 < lo) return false;
    v0 = Intersect(v1, lo - u1, v0 - v1, u0 - u1);
    u0 = lo;
  } else if (u0 > hi) {
    if (u1 > hi) return false;
    v0 = Intersect(v1, hi - u1, v0 - v1, u0 - u1);
    u0 = hi;
  }
  if (u1 < lo) {
    v1 = Intersect(v0, lo - u0, v1 - v0, u1 - u0);
    u1 = lo;
  } else if (u1 > hi) {
    v1 = Intersect(v0, v1 - v0, hi - u0, u1 - u0);
    u1 = hi;
  }
  return true;
}

// The visible part of a copy of the whole source to (x, y).
struct CopyPlan {
  int64_t targetX, targetY, sourceX, sourceY, width, height;
};

bool PlanCopy(const GraphCanvas* target, const GraphRect* clip, int x, int y,
              const GraphCanvas* source, CopyPlan* plan) {
  if (!Usable(target) || !Usable(source) || target->bytesPerPixel != source->bytesPerPixel)
    return false;
  const Edges e = ClipEdges(target, clip);
  int64_t left = x, top = y;
  int64_t right = left + source->width, bottom = top + source->height;
  plan->sourceX = std::max<int64_t>(0, e.left - left);
  plan->sourceY = std::max<int64_t>(0, e.top - top);
  left = std::max(left, e.left);
  top = std::max(top, e.top);
  right = std::min(right, e.right);
  bottom = std::min(bottom, e.bottom);
  plan->targetX = left;
  plan->targetY = top;
  plan->width = right - left;
  plan->height = bottom - top;
  return plan->width >= 1 && plan->height >= 1;
}

}  // namespace

int Graph_Initialize(HostServices* services, ModuleDescriptor* descriptor) {
  if (g_graph.initialized) return 1;
  g_graph.services = services;
  g_graph.initialized = 1;
  if (descriptor) {
    std::memset(descriptor, 0, sizeof *descriptor);
    descriptor->initialize = Graph_Initialize;
    descriptor->uninitialize = Graph_Uninitialize;
    descriptor->startup = Graph_Startup;
    descriptor->shutdown = Graph_Shutdown;
  }
  return 0;
}

void Graph_Uninitialize(void) {
  g_graph.initialized = 0;
}

int Graph_Startup(void) {
  if (!g_graph.initialized || g_graph.started) return 1;
  g_graph.started = 1;
  return 0;
}

void Graph_Shutdown(void) {
  g_graph.started = 0;
}

int Graph_CreateCanvas(int width, int height, GraphCanvas* canvas) {
  if (!canvas) return 1;
  *canvas = GraphCanvas{};
  if (width < 1 || height < 1) return 1;
  HostServices* hs = Services();
  const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height);
  auto* pixels = static_cast<uint8_t*>(hs ? hs->memAlloc(bytes, __FILE__, __LINE__) : nullptr);
  if (!pixels) return 1;
  canvas->pixels = pixels;
  canvas->width = width;
  canvas->height = height;
  canvas->bytesPerPixel = 1;
  return 0;
}

void Graph_FreeCanvas(GraphCanvas* canvas) {
  if (!canvas) return;
  if (canvas->pixels) Services()->memFree(canvas->pixels);
  canvas->pixels = nullptr;
  canvas->width = canvas->height = canvas->bytesPerPixel = 0;
}

void Graph_DrawHLine(GraphCanvas* canvas, const GraphRect* clip, int x, int y, int length,
                     uint8_t colour) {
  if (!Usable(canvas)) return;
  const Edges e = ClipEdges(canvas, clip);
  int64_t left = x, count = length;
  if (!ClipSpan(left, count, e.left, e.right, y, e.top, e.bottom)) return;
  std::memset(At(canvas, left, y), colour, static_cast<size_t>(count));
}

void Graph_DrawVLine(GraphCanvas* canvas, const GraphRect* clip, int x, int y, int length,
                     uint8_t colour) {
  if (!Usable(canvas)) return;
  const Edges e = ClipEdges(canvas, clip);
  int64_t top = y, count = length;
  if (!ClipSpan(top, count, e.top, e.bottom, x, e.left, e.right)) return;
  for (int64_t i = 0; i < count; ++i) *At(canvas, x, top + i) = colour;
}

void Graph_DrawRect(GraphCanvas* canvas, const GraphRect* clip, int x, int y, int width, int height,
                    uint8_t colour) {
  Graph_DrawHLine(canvas, clip, x, y, width, colour);
  Graph_DrawVLine(canvas, clip, x, y, height, colour);
  Graph_DrawVLine(
      canvas, clip,
      static_cast<int>(std::clamp<int64_t>(int64_t{x} + width - 1, INT32_MIN, INT32_MAX)), y,
      height, colour);
  Graph_DrawHLine(
      canvas, clip, x,
      static_cast<int>(std::clamp<int64_t>(int64_t{y} + height - 1, INT32_MIN, INT32_MAX)), width,
      colour);
}

void Graph_FillRect(GraphCanvas* canvas, const GraphRect* clip, int x, int y, int width, int height,
                    uint8_t colour) {
  if (!Usable(canvas)) return;
  const Edges e = ClipEdges(canvas, clip);
  int64_t left = x, top = y, w = width, h = height;
  if (top < e.top) {
    h -= e.top - top;
    top = e.top;
  }
  if (left < e.left) {
    w -= e.left - left;
    left = e.left;
  }
  if (top + h > e.bottom) h = e.bottom - top;
  if (left + w > e.right) w = e.right - left;
  if (w <= 0 || h <= 0) return;
  for (int64_t row = 0; row < h; ++row)
    std::memset(At(canvas, left, top + row), colour, static_cast<size_t>(w));
}

void Graph_FillRegion(GraphCanvas* canvas, const GraphRect* clip, uint8_t colour) {
  if (!Usable(canvas)) return;
  const Edges e = ClipEdges(canvas, clip);
  if (e.Empty()) return;
  const int64_t stride = int64_t{canvas->width} * canvas->bytesPerPixel;
  const int64_t bytes = (e.right - e.left) * canvas->bytesPerPixel;
  for (int64_t y = e.top; y < e.bottom; ++y)
    std::memset(canvas->pixels + y * stride + e.left * canvas->bytesPerPixel, colour,
                static_cast<size_t>(bytes));
}

int Graph_ClipLine(const GraphRect* clip, int* x0, int* y0, int* x1, int* y1) {
  if (!clip || clip->width <= 0 || clip->height <= 0) return 0;
  int64_t ax = *x0, ay = *y0, bx = *x1, by = *y1;
  const int64_t right = int64_t{clip->x} + clip->width - 1;
  const int64_t bottom = int64_t{clip->y} + clip->height - 1;
  if (!ClipAxis(ax, ay, bx, by, clip->x, right)) return 0;
  if (!ClipAxis(ay, ax, by, bx, clip->y, bottom)) return 0;
  *x0 = static_cast<int>(ax);
  *y0 = static_cast<int>(ay);
  *x1 = static_cast<int>(bx);
  *y1 = static_cast<int>(by);
  return 1;
}

void Graph_DrawLine(GraphCanvas* canvas, const GraphRect* clip, int x0, int y0, int x1, int y1,
                    uint8_t colour) {
  if (!Usable(canvas)) return;
  const Edges e = ClipEdges(canvas, clip);
  const GraphRect bounds{static_cast<int>(e.left), static_cast<int>(e.top),
                         static_cast<int>(e.right - e.left), static_cast<int>(e.bottom - e.top)};
  if (!Graph_ClipLine(&bounds, &x0, &y0, &x1, &y1)) return;
  const int64_t ax = x0, ay = y0, bx = x1, by = y1;

  const int64_t dx = std::llabs(bx - ax), dy = std::llabs(by - ay);
  const int64_t sx = bx < ax ? -1 : 1, sy = by < ay ? -1 : 1;
  if (dx >= dy) {
    int64_t error = dx / 2;
    for (int64_t x = ax, y = ay;; x += sx) {
      *At(canvas, x, y) = colour;
      if (x == bx) break;
      error -= dy;
      if (error < 0) {
        y += sy;
        error += dx;
      }
    }
  } else {
    int64_t error = dy / 2;
    for (int64_t y = ay, x = ax;; y += sy) {
      *At(canvas, x, y) = colour;
      if (y == by) break;
      error -= dx;
      if (error < 0) {
        x += sx;
        error += dy;
      }
    }
  }
}

void Graph_Copy(GraphCanvas* target, const GraphRect* clip, int x, int y,
                const GraphCanvas* source) {
  CopyPlan p;
  if (!PlanCopy(target, clip, x, y, source, &p)) return;
  const int64_t bpp = target->bytesPerPixel;
  const int64_t targetStride = int64_t{target->width} * bpp;
  const int64_t sourceStride = int64_t{source->width} * bpp;
  for (int64_t row = 0; row < p.height; ++row) {
    std::memcpy(target->pixels + (p.targetY + row) * targetStride + p.targetX * bpp,
                source->pixels + (p.sourceY + row) * sourceStride + p.sourceX * bpp,
                static_cast<size_t>(p.width * bpp));
  }
}

void Graph_CopyKeyed(GraphCanvas* target, const GraphRect* clip, int x, int y,
                     const GraphCanvas* source, uint8_t key) {
  CopyPlan p;
  if (!PlanCopy(target, clip, x, y, source, &p) || target->bytesPerPixel != 1) return;
  for (int64_t row = 0; row < p.height; ++row) {
    uint8_t* to = At(target, p.targetX, p.targetY + row);
    const uint8_t* from = source->pixels + (p.sourceY + row) * source->width + p.sourceX;
    for (int64_t i = 0; i < p.width; ++i)
      if (from[i] != key) to[i] = from[i];
  }
}
