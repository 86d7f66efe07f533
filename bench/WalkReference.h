// The reference for walk-path lengths: a brute-force visibility graph over
// every outline corner of a floor made of unit grid cells, searched with
// Dijkstra's algorithm in double precision. It knows nothing of the engine's
// regions or nodes: the floor is the set of present cells, its outline the
// cell sides between a present and a missing cell.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <queue>
#include <string>
#include <utility>
#include <vector>

namespace walkref {

struct Point {
  double x, y;
};

class GridFloor {
 public:
  GridFloor(int width, int height, std::vector<uint8_t> present)
      : width_(width), height_(height), present_(std::move(present)) {
    // Outline sides and the corners on them.
    std::vector<uint8_t> corner((width + 1) * (height + 1), 0);
    auto side = [&](int x0, int y0, int x1, int y1) {
      walls_.push_back({{double(x0), double(y0)}, {double(x1), double(y1)}});
      corner[y0 * (width + 1) + x0] = corner[y1 * (width + 1) + x1] = 1;
    };
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        if (!Present(x, y)) continue;
        if (!Present(x - 1, y)) side(x, y, x, y + 1);
        if (!Present(x + 1, y)) side(x + 1, y, x + 1, y + 1);
        if (!Present(x, y - 1)) side(x, y, x + 1, y);
        if (!Present(x, y + 1)) side(x, y + 1, x + 1, y + 1);
      }
    }
    for (int y = 0; y <= height; ++y) {
      for (int x = 0; x <= width; ++x) {
        if (corner[y * (width + 1) + x]) corners_.push_back({double(x), double(y)});
      }
    }
  }

  bool Present(int x, int y) const {
    return x >= 0 && y >= 0 && x < width_ && y < height_ && present_[y * width_ + x];
  }

  // On the floor: inside a present cell or on its border.
  bool OnFloor(const Point& p) const {
    const double e = 1e-9;
    const int cx = static_cast<int>(std::floor(p.x)), cy = static_cast<int>(std::floor(p.y));
    for (int y = cy - 1; y <= cy; ++y) {
      for (int x = cx - 1; x <= cx; ++x) {
        if (Present(x, y) && p.x >= x - e && p.x <= x + 1 + e && p.y >= y - e && p.y <= y + 1 + e) {
          return true;
        }
      }
    }
    return false;
  }

  // The floor as a "sectors" section body: one walk sector per present cell,
  // row by row.
  std::string SectorSection() const {
    std::string text;
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) {
        if (!Present(x, y)) continue;
        char entry[256];
        std::snprintf(entry, sizeof entry,
                      "sector c%d_%d\ntype walk\ndefault visibility visible\nnumvertices 4\n"
                      "vertices: %d %d 0\n%d %d 0\n%d %d 0\n%d %d 0\n",
                      x, y, x, y, x + 1, y, x + 1, y + 1, x, y + 1);
        text += entry;
      }
    }
    return text;
  }

  // A straight walk between two floor points: it crosses no outline side
  // properly and its middle is on the floor.
  bool Visible(const Point& a, const Point& b) const {
    for (const auto& [c, d] : walls_) {
      const double den = (d.y - c.y) * (b.x - a.x) - (d.x - c.x) * (b.y - a.y);
      if (std::fabs(den) < 1e-12) continue;
      const double t = ((d.x - c.x) * (a.y - c.y) - (d.y - c.y) * (a.x - c.x)) / den;
      const double s = ((b.x - a.x) * (a.y - c.y) - (b.y - a.y) * (a.x - c.x)) / den;
      if (t > 1e-9 && t < 1 - 1e-9 && s > 1e-9 && s < 1 - 1e-9) return false;
    }
    return OnFloor({(a.x + b.x) / 2, (a.y + b.y) / 2});
  }

  // Length of the shortest walk from a to b; infinity when there is none.
  double ShortestLength(const Point& a, const Point& b) const {
    std::vector<Point> nodes = corners_;
    nodes.push_back(a);
    nodes.push_back(b);
    const int n = static_cast<int>(nodes.size());
    const int from = n - 2, to = n - 1;
    std::vector<double> dist(n, std::numeric_limits<double>::infinity());
    std::vector<uint8_t> done(n, 0);
    using Item = std::pair<double, int>;
    std::priority_queue<Item, std::vector<Item>, std::greater<Item>> open;
    dist[from] = 0;
    open.push({0, from});
    while (!open.empty()) {
      const auto [d, u] = open.top();
      open.pop();
      if (done[u]) continue;
      done[u] = 1;
      if (u == to) break;
      for (int v = 0; v < n; ++v) {
        if (done[v] || !Visible(nodes[u], nodes[v])) continue;
        const double w = std::hypot(nodes[u].x - nodes[v].x, nodes[u].y - nodes[v].y);
        if (d + w < dist[v]) {
          dist[v] = d + w;
          open.push({dist[v], v});
        }
      }
    }
    return dist[to];
  }

  const std::vector<Point>& Corners() const { return corners_; }
  int Width() const { return width_; }
  int Height() const { return height_; }

 private:
  int width_, height_;
  std::vector<uint8_t> present_;
  std::vector<std::pair<Point, Point>> walls_;
  std::vector<Point> corners_;
};

}  // namespace walkref
