#include "scene/collision/CCollisionAABB.h"

#include "scene/graph/CDraw3D.h"
#include "scene/mesh/CMesh.h"
#include "scene/mesh/CTriangle.h"
#include "scene/mesh/CVertex.h"

#include <GL/gl.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
// the 8-wide descent: built by GCC for x86-64, chosen at run time
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__SSE2__)
#define TKX_COLLISION_HAS_WIDE 1
#include <immintrin.h>
#endif

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <thread>
#include <utility>

namespace {

// beyond this the single-precision boxes cannot hold the coordinates: scan instead
constexpr double kFloatRange = 1e30;
// boxes are padded by this much of the mesh's largest coordinate, far above the
// triangle test's slack (1e-13 of an edge) and the rounding of its hit point
constexpr double kPadRelative = 1e-6;
// meshes and segments within this reach get the single-precision rejection: the
// products of its bounds neither overflow nor lose more to underflow than its floor
constexpr double kFilterRange = 0x1p20;
// 128 units of single precision's last place
constexpr float kFilterError = 0x1p-17f;
// and each query widens them by this much of its own coordinates, far above the
// rounding of the segment to single precision and of the slab test
constexpr float kQueryPadRelative = 4e-6f;
// triangles per leaf at most (the single-precision rejection takes four at a
// time, so a leaf of eight costs little beside a node), and the heuristic's costs
constexpr uint32_t kMaxLeaf = 8;
// ranges this small are leaves without weighing a split
constexpr uint32_t kSmallLeaf = 2;
// the leaves' triangles go through the single-precision rejection four at a time:
// a node does not open a child this small, and median splits keep whole groups
constexpr uint32_t kFilterGroup = 4;
// ranges up to this size split at the median, larger ones by the heuristic
constexpr uint32_t kMedianSplit = 24;
constexpr float kTraversalCost = 1.0f;
constexpr float kTriangleCost = 1.0f;
constexpr int kBins = 16;
// below this depth splits are by the heuristic, then by halves, which bounds the
// depth and so the traversal stack
constexpr int kHeuristicDepth = 32;
constexpr int kWidth = cCollisionAABBNode::kWidth;
constexpr int kStackSize = 512;
// trees over this many triangles are built by up to this many threads
constexpr size_t kParallelBuild = 8192;
constexpr unsigned int kMaxBuildThreads = 4;
// 0: as many as the machine has, up to the limit
std::atomic<unsigned int> g_buildThreads(0);

// the float next to f towards minus or plus infinity (f finite), without a
// library call: the build rounds every box corner
float NextDown(float f) {
  if (f == 0.0f) return -std::numeric_limits<float>::denorm_min();
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  bits = f > 0.0f ? bits - 1 : bits + 1;
  std::memcpy(&f, &bits, sizeof bits);
  return f;
}
float NextUp(float f) { return -NextDown(-f); }

float RoundDown(double v) {
  float f = static_cast<float>(v);
  if (static_cast<double>(f) > v) f = std::isinf(f) ? std::numeric_limits<float>::max() : NextDown(f);
  return f;
}
// the same for v >= 0, without a branch: a query's magnitudes round either way
float RoundUpPositive(double v) {
  float f = static_cast<float>(v);
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  bits += static_cast<double>(f) < v ? 1u : 0u;
  std::memcpy(&f, &bits, sizeof bits);
  return f;
}
float RoundUp(double v) {
  float f = static_cast<float>(v);
  if (static_cast<double>(f) < v) f = std::isinf(f) ? -std::numeric_limits<float>::max() : NextUp(f);
  return f;
}

// four floats, in one register where the target has them; lane 3 is ignored by
// the boxes (a prim keeps its record's index there)
struct alignas(16) V4 {
#if defined(__SSE2__)
  __m128 v;
  static V4 load(const float *p) { return V4{_mm_load_ps(p)}; }
  static V4 splat(float f) { return V4{_mm_set1_ps(f)}; }
  void store(float *p) const { _mm_store_ps(p, v); }
  friend V4 operator+(V4 a, V4 b) { return V4{_mm_add_ps(a.v, b.v)}; }
  friend V4 operator-(V4 a, V4 b) { return V4{_mm_sub_ps(a.v, b.v)}; }
  friend V4 operator*(V4 a, V4 b) { return V4{_mm_mul_ps(a.v, b.v)}; }
  friend V4 min(V4 a, V4 b) { return V4{_mm_min_ps(a.v, b.v)}; }
  friend V4 max(V4 a, V4 b) { return V4{_mm_max_ps(a.v, b.v)}; }
  // the first three lanes truncated to integers, without a trip through memory
  void truncate3(int *out) const {
    const __m128i i = _mm_cvttps_epi32(v);
    out[0] = _mm_cvtsi128_si32(i);
    out[1] = _mm_cvtsi128_si32(_mm_shuffle_epi32(i, 0x55));
    out[2] = _mm_cvtsi128_si32(_mm_shuffle_epi32(i, 0xaa));
  }
#else
  float v[4];
  static V4 load(const float *p) { return V4{{p[0], p[1], p[2], p[3]}}; }
  static V4 splat(float f) { return V4{{f, f, f, f}}; }
  void store(float *p) const {
    for (int i = 0; i < 4; ++i) p[i] = v[i];
  }
  template <typename F>
  static V4 map(V4 a, V4 b, F f) {
    return V4{{f(a.v[0], b.v[0]), f(a.v[1], b.v[1]), f(a.v[2], b.v[2]), f(a.v[3], b.v[3])}};
  }
  friend V4 operator+(V4 a, V4 b) {
    return map(a, b, [](float x, float y) { return x + y; });
  }
  friend V4 operator-(V4 a, V4 b) {
    return map(a, b, [](float x, float y) { return x - y; });
  }
  friend V4 operator*(V4 a, V4 b) {
    return map(a, b, [](float x, float y) { return x * y; });
  }
  friend V4 min(V4 a, V4 b) {
    return map(a, b, [](float x, float y) { return y < x ? y : x; });
  }
  friend V4 max(V4 a, V4 b) {
    return map(a, b, [](float x, float y) { return y > x ? y : x; });
  }
  void truncate3(int *out) const {
    for (int i = 0; i < 3; ++i) out[i] = static_cast<int>(v[i]);
  }
#endif
};

struct Box {
  V4 lo, hi;
  static Box empty() {
    return Box{V4::splat(std::numeric_limits<float>::max()), V4::splat(-std::numeric_limits<float>::max())};
  }
  void grow(const Box &b) {
    lo = min(lo, b.lo);
    hi = max(hi, b.hi);
  }
  float area() const {
    alignas(16) float d[4];
    (hi - lo).store(d);
    if (!(d[0] >= 0.0f)) return 0.0f;
    return d[0] * d[1] + d[1] * d[2] + d[2] * d[0];
  }
  float lower(int k) const {
    alignas(16) float f[4];
    lo.store(f);
    return f[k];
  }
  float upper(int k) const {
    alignas(16) float f[4];
    hi.store(f);
    return f[k];
  }
};

// one triangle during the build: its padded box, and in lane 3 of the minimum the
// index of its record
struct alignas(16) Prim {
  float lo[4];
  float hi[4];
  Box box() const { return Box{V4::load(lo), V4::load(hi)}; }
  // twice the box's centre
  V4 centre() const { return V4::load(lo) + V4::load(hi); }
  uint32_t index() const {
    uint32_t i;
    std::memcpy(&i, &lo[3], sizeof i);
    return i;
  }
};

struct Range {
  uint32_t begin, end;
  Box box;
  // the bounds of the triangles' (doubled) centres
  Box centres;
  uint32_t count() const { return end - begin; }
};

inline void GrowPoint(Box &b, V4 c) {
  b.lo = min(b.lo, c);
  b.hi = max(b.hi, c);
}

// the range of prims [begin, end) with its bounds
Range RangeOf(const std::vector<Prim> &prims, uint32_t begin, uint32_t end) {
  Range r{begin, end, Box::empty(), Box::empty()};
  for (uint32_t i = begin; i < end; ++i) {
    r.box.grow(prims[i].box());
    GrowPoint(r.centres, prims[i].centre());
  }
  return r;
}

class Builder {
 public:
  Builder(std::vector<Prim> &prims, cCollisionAABBNodes &nodes) : m_prims(prims), m_nodes(nodes) {}

  // the children of a node over r: the largest holding more than a group of four
  // is opened until the node is full or none can be split; final marks those that
  // must be leaves
  int openKids(const Range &r, int depth, Range *kids, bool *final) {
    m_depth = std::max(m_depth, depth + 1);
    float areas[kWidth] = {};
    int n = 1;
    kids[0] = r;
    final[0] = false;
    areas[0] = r.box.area();
    while (n < kWidth) {
      int pick = -1;
      for (int i = 0; i < n; ++i) {
        if (final[i] || kids[i].count() <= kFilterGroup) continue;
        if (pick < 0 || areas[i] > areas[pick]) pick = i;
      }
      if (pick < 0) break;
      Range left, right;
      if (!split(kids[pick], depth, left, right)) {
        final[pick] = true;
        continue;
      }
      kids[pick] = left;
      areas[pick] = left.box.area();
      kids[n] = right;
      areas[n] = right.box.area();
      final[n] = false;
      ++n;
    }
    for (int c = 0; c < n; ++c) final[c] = final[c] || kids[c].count() <= kMaxLeaf;
    return n;
  }

  // a node over those children, their references yet empty; returns its index
  uint32_t addNode(const Range *kids, int n, int depth) {
    const uint32_t index = static_cast<uint32_t>(m_nodes.size());
    m_nodes.emplace_back();
    cCollisionAABBNode &node = m_nodes.back();
    node.m_level = depth;
    node.m_count = n;
    for (int c = 0; c < kWidth; ++c) {
      alignas(16) float lo[4] = {1e30f, 1e30f, 1e30f, 1e30f}, hi[4] = {1e30f, 1e30f, 1e30f, 1e30f};
      if (c < n) {
        kids[c].box.lo.store(lo);
        kids[c].box.hi.store(hi);
      }
      for (int k = 0; k < 3; ++k) {
        node.m_box[k][c] = lo[k];
        node.m_box[3 + k][c] = hi[k];
      }
      node.m_child[c] = cCollisionAABBNode::kEmpty;
    }
    return index;
  }

  // the node over r, returning its index; its subtree follows it in the array
  uint32_t buildNode(const Range &r, int depth) {
    Range kids[kWidth] = {};
    bool final[kWidth] = {};
    const int n = openKids(r, depth, kids, final);
    const uint32_t index = addNode(kids, n, depth);
    for (int c = 0; c < n; ++c) {
      const uint32_t ref =
          final[c] ? cCollisionAABBNode::leaf(kids[c].begin, kids[c].count()) : buildNode(kids[c], depth + 1);
      m_nodes[index].m_child[c] = ref;
    }
    return index;
  }

  int depth() const { return m_depth; }

 private:
  // splits r in two when that is cheaper than a leaf (always above kMaxLeaf)
  bool split(const Range &r, int depth, Range &left, Range &right) {
    const uint32_t count = r.count();
    if (count <= kSmallLeaf) return false;
    Prim *p = m_prims.data();
    if (count <= kMedianSplit) return splitAtMedian(r, left, right);

    // bin the centres on each axis and sweep for the cheapest split
    const Box &centres = r.centres;
    alignas(16) float cmin[4], cmax[4];
    centres.lo.store(cmin);
    centres.hi.store(cmax);

    // small ranges take fewer bins: their sweeps would cost more than their binning
    const int bins = static_cast<int>(std::min<uint32_t>(kBins, std::max<uint32_t>(4, count / 4)));
    alignas(16) float scale[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    for (int k = 0; k < 3; ++k) {
      const float extent = cmax[k] - cmin[k];
      scale[k] = extent > 0.0f ? static_cast<float>(bins) * (1.0f - 1e-6f) / extent : 0.0f;
    }
    int bestAxis = -1, bestBin = 0;
    float bestCost = std::numeric_limits<float>::infinity();
    Box bestLeft = Box::empty(), bestRight = Box::empty();
    if (depth < kHeuristicDepth) {
      // two sets of bins, alternate triangles into each: neighbours in the array
      // often share a bin, and one set would make each wait for the previous
      Box binBoxes[2][3][kBins];
      uint32_t counts[2][3][kBins] = {};
      for (int h = 0; h < 2; ++h)
        for (int k = 0; k < 3; ++k)
          for (int b = 0; b < bins; ++b) binBoxes[h][k][b] = Box::empty();
      const V4 lo4 = centres.lo, scale4 = V4::load(scale), top = V4::splat(static_cast<float>(bins - 1));
      for (uint32_t i = r.begin; i < r.end; ++i) {
        const Box box = p[i].box();
        int f[3];
        min(max((p[i].centre() - lo4) * scale4, V4::splat(0.0f)), top).truncate3(f);
        const int h = static_cast<int>(i & 1);
        for (int k = 0; k < 3; ++k) {
          const int b = f[k];
          binBoxes[h][k][b].grow(box);
          ++counts[h][k][b];
        }
      }
      for (int k = 0; k < 3; ++k) {
        for (int b = 0; b < bins; ++b) {
          binBoxes[0][k][b].grow(binBoxes[1][k][b]);
          counts[0][k][b] += counts[1][k][b];
        }
      }
      for (int k = 0; k < 3; ++k) {
        if (scale[k] == 0.0f) continue;
        Box rightBoxes[kBins];
        uint32_t rightCounts[kBins];
        Box acc = Box::empty();
        uint32_t accCount = 0;
        for (int b = bins - 1; b > 0; --b) {
          acc.grow(binBoxes[0][k][b]);
          accCount += counts[0][k][b];
          rightBoxes[b] = acc;
          rightCounts[b] = accCount;
        }
        acc = Box::empty();
        accCount = 0;
        for (int b = 1; b < bins; ++b) {
          acc.grow(binBoxes[0][k][b - 1]);
          accCount += counts[0][k][b - 1];
          if (accCount == 0 || rightCounts[b] == 0) continue;
          const float cost =
              acc.area() * static_cast<float>(accCount) + rightBoxes[b].area() * static_cast<float>(rightCounts[b]);
          if (cost < bestCost) {
            bestCost = cost;
            bestAxis = k;
            bestBin = b;
            bestLeft = acc;
            bestRight = rightBoxes[b];
          }
        }
      }
    }

    if (bestAxis >= 0) {
      // a leaf when its cost is no higher than the split's
      const float area = r.box.area();
      if (count <= kMaxLeaf && area > 0.0f &&
          static_cast<float>(count) * kTriangleCost <= kTraversalCost + kTriangleCost * bestCost / area)
        return false;
      const int axis = bestAxis;
      const float lo = cmin[axis], s = scale[axis], last = static_cast<float>(bins - 1);
      // the same arithmetic as the binning, so each triangle goes where it was counted
      // the triangles going left stay, the others swap with the last unprocessed
      // one; each is looked at once, and the sides' centres are gathered on the way
      Box leftCentres = Box::empty(), rightCentres = Box::empty();
      uint32_t i = r.begin, j = r.end;
      while (i < j) {
        const float c = p[i].lo[axis] + p[i].hi[axis];
        if (static_cast<int>(std::min(std::max((c - lo) * s, 0.0f), last)) < bestBin) {
          GrowPoint(leftCentres, p[i].centre());
          ++i;
        } else {
          --j;
          std::swap(p[i], p[j]);
          GrowPoint(rightCentres, p[j].centre());
        }
      }
      left = Range{r.begin, i, bestLeft, leftCentres};
      right = Range{i, r.end, bestRight, rightCentres};
      return true;
    }

    // every centre alike, or too deep: halves as the triangles lie
    if (count <= kMaxLeaf) return false;
    const uint32_t m = r.begin + count / 2;
    left = rangeOf(r.begin, m);
    right = rangeOf(m, r.end);
    return true;
  }

  // a small range: halves across the longest extent of its centres, which costs
  // far less than weighing bins; the first half in whole groups of four
  bool splitAtMedian(const Range &r, Range &left, Range &right) {
    Prim *p = m_prims.data();
    const Box &centres = r.centres;
    alignas(16) float extent[4];
    (centres.hi - centres.lo).store(extent);
    const int axis = extent[0] >= extent[1] && extent[0] >= extent[2] ? 0 : (extent[1] >= extent[2] ? 1 : 2);
    const uint32_t half = r.count() / 2;
    const uint32_t m = r.begin + (r.count() > kFilterGroup
                                      ? std::max(kFilterGroup, (half + kFilterGroup / 2) / kFilterGroup * kFilterGroup)
                                      : half);
    std::nth_element(p + r.begin, p + m, p + r.end, [axis](const Prim &x, const Prim &y) {
      const float cx = x.lo[axis] + x.hi[axis], cy = y.lo[axis] + y.hi[axis];
      // equal centres by record, so the order never depends on the library's choices
      return cx < cy || (cx == cy && x.index() < y.index());
    });
    left = rangeOf(r.begin, m);
    right = rangeOf(m, r.end);
    return true;
  }

  Range rangeOf(uint32_t begin, uint32_t end) const { return RangeOf(m_prims, begin, end); }

  std::vector<Prim> &m_prims;
  cCollisionAABBNodes &m_nodes;
  int m_depth = 0;
};

// the whole tree into nodes, returning its depth (-1 when memory ran out). A large
// one is built by several threads, one subtree of the root each; every subtree is
// the same whoever builds it, and they are laid out in the root's order, so the
// tree is the one a single thread builds.
int BuildTree(std::vector<Prim> &prims, cCollisionAABBNodes &nodes) {
  const Range whole = RangeOf(prims, 0, static_cast<uint32_t>(prims.size()));
  const unsigned int wanted = g_buildThreads.load();
  const unsigned int threads = std::min(wanted > 0 ? wanted : std::thread::hardware_concurrency(), kMaxBuildThreads);
  if (prims.size() < kParallelBuild || threads < 2) {
    Builder builder(prims, nodes);
    builder.buildNode(whole, 0);
    return builder.depth();
  }

  Builder top(prims, nodes);
  Range kids[kWidth] = {};
  bool final[kWidth] = {};
  const int n = top.openKids(whole, 0, kids, final);
  top.addNode(kids, n, 0);
  cCollisionAABBNodes sub[kWidth];
  int depths[kWidth] = {};
  std::atomic<int> next(0);
  std::atomic<bool> failed(false);
  auto work = [&] {
    for (int c = next++; c < n; c = next++) {
      if (final[c]) continue;
      try {
        Builder builder(prims, sub[c]);
        builder.buildNode(kids[c], 1);
        depths[c] = builder.depth();
      } catch (const std::bad_alloc &) {
        failed = true;
      }
    }
  };
  std::vector<std::thread> helpers;
  for (unsigned int t = 1; t < threads; ++t) {
    // no thread to be had: this one does the rest
    try {
      helpers.emplace_back(work);
    } catch (const std::exception &) {
      break;
    }
  }
  work();
  for (std::thread &h : helpers) h.join();
  if (failed) return -1;

  int depth = top.depth();
  for (int c = 0; c < n; ++c) {
    if (final[c]) {
      nodes[0].m_child[c] = cCollisionAABBNode::leaf(kids[c].begin, kids[c].count());
      continue;
    }
    const uint32_t offset = static_cast<uint32_t>(nodes.size());
    nodes[0].m_child[c] = offset;
    for (cCollisionAABBNode &node : sub[c]) {
      for (uint32_t &ref : node.m_child) {
        if (ref != cCollisionAABBNode::kEmpty && !cCollisionAABBNode::isLeaf(ref)) ref += offset;
      }
      nodes.push_back(node);
    }
    depth = std::max(depth, depths[c]);
  }
  return depth;
}

#if defined(__SSE2__)
// two lanes of doubles: the triangle test on two triangles at once, with exactly
// the operations of cCollisionSegmentTriangle in the same order, so each lane's
// results are bit for bit the scalar test's
struct D2 {
  __m128d v;
  friend D2 operator+(D2 a, D2 b) { return D2{_mm_add_pd(a.v, b.v)}; }
  friend D2 operator-(D2 a, D2 b) { return D2{_mm_sub_pd(a.v, b.v)}; }
  friend D2 operator*(D2 a, D2 b) { return D2{_mm_mul_pd(a.v, b.v)}; }
  friend D2 operator/(D2 a, D2 b) { return D2{_mm_div_pd(a.v, b.v)}; }
};
inline D2 Splat(double x) { return D2{_mm_set1_pd(x)}; }
struct V3D2 {
  D2 x, y, z;
  friend V3D2 operator+(const V3D2 &a, const V3D2 &b) { return V3D2{a.x + b.x, a.y + b.y, a.z + b.z}; }
  friend V3D2 operator-(const V3D2 &a, const V3D2 &b) { return V3D2{a.x - b.x, a.y - b.y, a.z - b.z}; }
  friend V3D2 operator*(const V3D2 &a, D2 s) { return V3D2{a.x * s, a.y * s, a.z * s}; }
  D2 dot(const V3D2 &b) const { return x * b.x + y * b.y + z * b.z; }
  V3D2 cross(const V3D2 &b) const { return V3D2{y * b.z - z * b.y, z * b.x - x * b.z, x * b.y - y * b.x}; }
  D2 lengthsq() const { return x * x + y * y + z * z; }
};
inline V3D2 Pair(const cVector3d &p, const cVector3d &q) {
  return V3D2{D2{_mm_set_pd(q.x, p.x)}, D2{_mm_set_pd(q.y, p.y)}, D2{_mm_set_pd(q.z, p.z)}};
}
inline V3D2 Splat(const cVector3d &p) { return V3D2{Splat(p.x), Splat(p.y), Splat(p.z)}; }

// the test on triangles t0 and t1; bit k of the result: lane k passed every step
// but the angle, which the caller finishes where x > 0 (rare: a segment running
// with the normal)
inline int TestPair(const cCollisionAABBTriangle &t0, const cCollisionAABBTriangle &t1, const V3D2 &a,
                    const V3D2 &direction, D2 directionSquare, D2 bound, double *xOut, double *nSquareOut, double *px,
                    double *py, double *pz, double *d2Out) {
  const V3D2 v0 = Pair(t0.m_v0, t1.m_v0), e1 = Pair(t0.m_e1, t1.m_e1), e2 = Pair(t0.m_e2, t1.m_e2);
  const V3D2 n = e1.cross(e2);
  const D2 x = n.dot(direction);
  const D2 nSquare = n.lengthsq();
  __m128d ok = _mm_cmpgt_pd(
      (x * x).v, (Splat(kCollisionParallelEpsilon) * Splat(kCollisionParallelEpsilon) * nSquare * directionSquare).v);
  const D2 t = (v0 - a).dot(n) / x;
  ok = _mm_and_pd(ok, _mm_cmpge_pd((t + Splat(kCollisionEpsilon)).v, _mm_setzero_pd()));
  const D2 q = e1.dot(e1);
  const D2 r2 = e2.dot(e2);
  const D2 s2 = e1.dot(e2);
  const D2 u = q * r2 - s2 * s2;
  const __m128d absMask = _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffffLL));
  ok = _mm_and_pd(ok, _mm_cmpgt_pd(_mm_and_pd(u.v, absMask), (Splat(kCollisionEpsilon) * q * r2).v));
  const V3D2 p = a + direction * t;
  const V3D2 w = p - v0;
  const D2 we1 = w.dot(e1);
  const D2 we2 = w.dot(e2);
  const D2 s = (we1 * r2 - we2 * s2) / u;
  const D2 r = (we2 * q - s2 * we1) / u;
  ok = _mm_and_pd(ok, _mm_cmpge_pd(s.v, _mm_set1_pd(-kCollisionEpsilon)));
  ok = _mm_and_pd(ok, _mm_cmpge_pd(r.v, _mm_set1_pd(-kCollisionEpsilon)));
  ok = _mm_and_pd(ok, _mm_cmple_pd((s + r).v, _mm_set1_pd(kCollisionBarycentricLimit)));
  const D2 d2 = (a - (v0 + e1 * s + e2 * r)).lengthsq();
  ok = _mm_and_pd(ok, _mm_cmple_pd(d2.v, bound.v));
  const int mask = _mm_movemask_pd(ok);
  if (mask == 0) return 0;
  _mm_storeu_pd(px, p.x.v);
  _mm_storeu_pd(py, p.y.v);
  _mm_storeu_pd(pz, p.z.v);
  _mm_storeu_pd(xOut, x.v);
  _mm_storeu_pd(nSquareOut, nSquare.v);
  _mm_storeu_pd(d2Out, d2.v);
  return mask;
}

// the segment for the single-precision rejection: its start and direction, the
// bound's factor for the direction, and its largest coordinates' magnitudes
struct FilterSegment {
  __m128 ax, ay, az, dx, dy, dz;
  // the error bounds' factor times the direction's magnitude, and a's and d's
  // magnitudes summed
  __m128 error, span;
};

#endif

// a hit candidate against the best so far: closer, or as close from a lower slot
// (the scan keeps the first in array order); the first hit must be strictly
// within the segment's length
inline bool Better(bool have, double d2, uint32_t slot, double best, uint32_t bestSlot) {
  if (!have) return d2 < best;
  return d2 < best || (d2 == best && slot < bestSlot);
}

// the farthest ray parameter at which a box can still hold a hit as close as best;
// the margin dwarfs the rounding to single precision
inline float Reach(double best, double inverseLengthSq) {
  // in single precision, whose roundings (and the inverse's) are far inside the
  // margin, unless the ratio is too small for it to hold; by the inverse, as a
  // division would wait longer on the exact test's answer
  const double ratio = best * inverseLengthSq;
  const float single = static_cast<float>(ratio);
  if (single >= 1e-30f) return std::sqrt(single) * (1.0f + 1e-5f);
  return static_cast<float>(std::sqrt(ratio) * (1.0 + 1e-5));
}

// the arrays the descent reads; filters is null when the tree has none
struct QueryTreeArrays {
  const cCollisionAABBNode *nodes;
  const cCollisionAABBFilter *filters;
  const cCollisionAABBTriangle *triangles;
};

namespace narrow {
#include "scene/collision/CCollisionAABBQuery.inl"
}  // namespace narrow

#if defined(TKX_COLLISION_HAS_WIDE)
#pragma GCC push_options
#pragma GCC target("avx2,fma")
#define TKX_COLLISION_WIDE 1
namespace wide {
#include "scene/collision/CCollisionAABBQuery.inl"
}  // namespace wide
#undef TKX_COLLISION_WIDE
#pragma GCC pop_options

bool MachineHasWideVectors() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") != 0 && __builtin_cpu_supports("fma") != 0;
}
#else
bool MachineHasWideVectors() { return false; }
#endif

// whether queries take the 8-wide descent: where the machine has it, unless a test
// asks for the other
std::atomic<bool> g_wideQueries(MachineHasWideVectors());

}  // namespace

cCollisionAABB::cCollisionAABB(std::vector<cTriangle> *triangles, bool useNeighbors)
    : m_triangleArray(triangles),
      m_leafCount(0),
      m_sharedParent(nullptr),
      m_lastHitTriangle(nullptr),
      m_neighborQueries(useNeighbors),
      m_pad(0.0),
      m_depth(0) {}

cCollisionAABB::~cCollisionAABB() { release(); }

void cCollisionAABB::setBuildThreads(unsigned int threads) { g_buildThreads = threads; }

bool cCollisionAABB::setWideQueries(bool wide) {
  const bool on = wide && MachineHasWideVectors();
  g_wideQueries = on;
  return on;
}

void cCollisionAABB::release() {
  cCollisionAABBNodes().swap(m_nodes);
  cCollisionAABBTriangles().swap(m_triangles);
  cCollisionAABBFilters().swap(m_filters);
  m_rootBox.setEmpty();
  m_leafCount = 0;
  m_depth = 0;
  m_sharedParent = nullptr;
}

void cCollisionAABB::initialize() {
  // a rebuild keeps the arrays' storage: rebuilding a mesh of the same size
  // touches no fresh memory
  m_nodes.clear();
  m_triangles.clear();
  m_filters.clear();
  m_rootBox.setEmpty();
  m_leafCount = 0;
  m_depth = 0;
  m_sharedParent = nullptr;
  m_lastHitTriangle = nullptr;
  if (m_triangleArray == nullptr) return;
  std::vector<cTriangle> &tris = *m_triangleArray;

  // out of memory: no tree, and every query misses
  try {
    unsigned int count = 0;
    for (const cTriangle &t : tris) count += t.m_inUse ? 1 : 0;
    if (count == 0) return;

    // the triangles a segment can hit (a degenerate one fails every test), each
    // with its box rounded outward to single precision and its slot in lane 3
    std::vector<Prim> prims;
    prims.reserve(count);
    double largest = 0.0;
    bool finite = true;
    cMesh *parent = nullptr;
    bool shared = true;
    for (size_t s = 0; s < tris.size(); ++s) {
      const cTriangle &t = tris[s];
      if (!t.m_inUse || t.m_parentNode == nullptr) continue;
      if (parent == nullptr) parent = t.m_parentNode;
      shared = shared && t.m_parentNode == parent;
      const std::vector<cVertex> &v = t.m_parentNode->m_vertexSlots;
      const cVector3d &v0 = v[t.m_corner0].m_pos, &v1 = v[t.m_corner1].m_pos, &v2 = v[t.m_corner2].m_pos;
      m_rootBox.enclose(v0);
      m_rootBox.enclose(v1);
      m_rootBox.enclose(v2);
      if (cCollisionTriangleIsDegenerate(v1 - v0, v2 - v0)) continue;
      Prim p;
      for (int k = 0; k < 3; ++k) {
        const double lo = std::min(v0[k], std::min(v1[k], v2[k]));
        const double hi = std::max(v0[k], std::max(v1[k], v2[k]));
        const double far = std::max(-lo, hi);
        if (!(far <= kFloatRange)) finite = false;
        largest = std::max(largest, far);
        p.lo[k] = RoundDown(lo);
        p.hi[k] = RoundUp(hi);
      }
      const uint32_t slot = static_cast<uint32_t>(s);
      std::memcpy(&p.lo[3], &slot, sizeof slot);
      p.hi[3] = 0.0f;
      prims.push_back(p);
    }
    m_rootBox.updateMidAndHalfSize();
    m_leafCount = count;
    m_sharedParent = shared ? parent : nullptr;
    if (prims.empty()) return;

    // coordinates beyond single precision, too many triangles for a leaf to
    // address, or a tree too deep for the query's stack: no boxes, every query scans
    const bool boxes = finite && prims.size() < cCollisionAABBNode::kMaxTriangles - cCollisionAABBNode::kMaxLeafSize;
    int depth = 0;
    if (boxes) {
      // every box padded far beyond the triangle test's slack and rounding
      m_pad = largest * kPadRelative;
      for (Prim &p : prims) {
        for (int k = 0; k < 3; ++k) {
          p.lo[k] = RoundDown(static_cast<double>(p.lo[k]) - m_pad);
          p.hi[k] = RoundUp(static_cast<double>(p.hi[k]) + m_pad);
        }
      }
      m_nodes.reserve(prims.size() / 8 + 1);
      depth = BuildTree(prims, m_nodes);
      if (depth < 0) {
        release();
        return;
      }
      if (depth * (kWidth - 1) + 1 > kStackSize) {
        m_nodes.clear();
        depth = 0;
      }
    }

    // the triangles in leaf order: the corner and edges exactly as the scan
    // computes them
    m_triangles.reserve(prims.size());
    for (const Prim &p : prims) {
      const uint32_t slot = p.index();
      cTriangle &t = tris[slot];
      const std::vector<cVertex> &v = t.m_parentNode->m_vertexSlots;
      const cVector3d &v0 = v[t.m_corner0].m_pos;
      m_triangles.push_back(cCollisionAABBTriangle{v0, v[t.m_corner1].m_pos - v0, v[t.m_corner2].m_pos - v0, &t, slot});
    }
    if (!m_nodes.empty() && largest <= kFilterRange) {
      m_filters.resize(m_triangles.size() + 3, cCollisionAABBFilter{});
      for (size_t i = 0; i < m_triangles.size(); ++i) {
        const cCollisionAABBTriangle &t = m_triangles[i];
        cCollisionAABBFilter &f = m_filters[i];
        double corner = 0.0, edge = 0.0;
        for (int k = 0; k < 3; ++k) {
          f.m_v0[k] = static_cast<float>(t.m_v0[k]);
          f.m_e1[k] = static_cast<float>(t.m_e1[k]);
          f.m_e2[k] = static_cast<float>(t.m_e2[k]);
          corner = std::max(corner, std::fabs(t.m_v0[k]));
          edge = std::max(edge, std::max(std::fabs(t.m_e1[k]), std::fabs(t.m_e2[k])));
        }
        f.m_v0[3] = RoundUp(corner);
        f.m_e1[3] = RoundUp(edge);
      }
    }
    m_depth = depth;
  } catch (const std::bad_alloc &) {
    release();
  }
}

void cCollisionAABB::renderNode(uint32_t index, int depth) const {
  const cCollisionAABBNode &node = m_nodes[index];
  const int level = node.m_level + 1;
  for (int c = 0; c < kWidth; ++c) {
    const uint32_t ref = node.m_child[c];
    if (ref == cCollisionAABBNode::kEmpty) continue;
    if (depth < 0 || depth == level) {
      cDrawWireBox(node.m_box[0][c], node.m_box[3][c], node.m_box[1][c], node.m_box[4][c], node.m_box[2][c],
                   node.m_box[5][c]);
    }
    if (!cCollisionAABBNode::isLeaf(ref) && (depth < 0 || level < depth)) renderNode(ref, depth);
  }
}

void cCollisionAABB::render() {
  if (!hasTree()) return;
  glDisable(GL_LIGHTING);
  glLineWidth(1.0f);
  glColor4fv(m_drawMaterial.m_ambientColor.data());
  if (m_drawDepth <= 0) {
    const cCollisionAABBBox &b = m_rootBox;
    cDrawWireBox(b.m_lo.x, b.m_hi.x, b.m_lo.y, b.m_hi.y, b.m_lo.z, b.m_hi.z);
  }
  if (!m_nodes.empty() && m_drawDepth != 0) renderNode(0, m_drawDepth);
  glEnable(GL_LIGHTING);
}

bool cCollisionAABB::queryNeighbors(cVector3d &a, const cVector3d &direction, double lengthSq, cGenericObject *&object,
                                    cTriangle *&triangle, cVector3d &point, double &squareDistance) {
  cTriangle *best = nullptr;
  double bound = lengthSq;
  for (cTriangle *t : *m_lastHitTriangle->m_adjacent) {
    if (t == nullptr) {
      std::printf("Oops... invalid neighbor\n");
      continue;
    }
    cVector3d p;
    double d2;
    if (!cIntersectSegmentTriangle(*t, a, direction, bound, p, d2)) continue;
    bound = d2;
    if (best == nullptr || d2 < squareDistance) {
      best = t;
      point = p;
      squareDistance = d2;
    }
  }
  m_lastHitTriangle = best;
  if (best == nullptr) return false;
  triangle = best;
  object = best->m_parentNode;
  return true;
}

bool cCollisionAABB::queryScan(const cVector3d &a, const cVector3d &direction, double lengthSq, uint32_t &hitIndex,
                               cVector3d &point, double &squareDistance) const {
  bool have = false;
  double best = lengthSq;
  uint32_t bestSlot = 0;
  for (uint32_t i = 0; i < m_triangles.size(); ++i) {
    const cCollisionAABBTriangle &t = m_triangles[i];
    cVector3d p;
    double d2;
    if (!cCollisionSegmentTriangle(t.m_v0, t.m_e1, t.m_e2, a, direction, lengthSq, best, p, d2)) continue;
    if (!Better(have, d2, t.m_slot, best, bestSlot)) continue;
    have = true;
    best = d2;
    bestSlot = t.m_slot;
    hitIndex = i;
    point = p;
  }
  if (have) squareDistance = best;
  return have;
}

bool cCollisionAABB::queryTree(const cVector3d &a, const cVector3d &direction, double lengthSq, uint32_t &hitIndex,
                               cVector3d &point, double &squareDistance) const {
  // a zero, infinite or undefined length fails every triangle's parallel test
  if (!(lengthSq > 0.0 && lengthSq < std::numeric_limits<double>::infinity())) return false;
  // the coordinates as arrays: loops over them unroll, where the vector's indexed
  // access would pick each one through a chain of comparisons
  const double av[3] = {a.x, a.y, a.z}, dv[3] = {direction.x, direction.y, direction.z};
  const double reachA = std::max(std::max(std::fabs(av[0]), std::fabs(av[1])), std::fabs(av[2]));
  const double reachD = std::max(std::max(std::fabs(dv[0]), std::fabs(dv[1])), std::fabs(dv[2]));
  if (m_nodes.empty() || !(reachA <= kFloatRange) || !(reachD <= kFloatRange) || !(reachD > 1e-18))
    return queryScan(a, direction, lengthSq, hitIndex, point, squareDistance);
  const QueryTreeArrays tree{m_nodes.data(), m_filters.empty() ? nullptr : m_filters.data(), m_triangles.data()};
#if defined(TKX_COLLISION_HAS_WIDE)
  if (g_wideQueries.load(std::memory_order_relaxed))
    return wide::QueryTree(tree, a, direction, av, dv, reachA, reachD, lengthSq, hitIndex, point, squareDistance);
#endif
  return narrow::QueryTree(tree, a, direction, av, dv, reachA, reachD, lengthSq, hitIndex, point, squareDistance);
}

bool cCollisionAABB::computeCollision(cVector3d &a, cVector3d &b, cGenericObject *&object, cTriangle *&triangle,
                                      cVector3d &point, double &squareDistance, int callNumber) {
  cVector3d direction = b - a;
  const double lengthSq = direction.lengthsq();

  // the later queries of a proxy step look only around the last triangle hit
  if (m_neighborQueries && callNumber > 1 && hasTree() && m_lastHitTriangle != nullptr &&
      m_lastHitTriangle->m_adjacent != nullptr) {
    return queryNeighbors(a, direction, lengthSq, object, triangle, point, squareDistance);
  }

  if (!hasTree()) {
    if (callNumber != -1) m_lastHitTriangle = nullptr;
    return false;
  }

  squareDistance = lengthSq;
  uint32_t index = 0;
  const bool hit = queryTree(a, direction, lengthSq, index, point, squareDistance);
  cTriangle *hitTri = hit ? m_triangles[index].m_tri : nullptr;
  if (hit) {
    triangle = hitTri;
    // the mesh's own triangles name it without a read of the (cold) triangle
    object = m_sharedParent != nullptr ? m_sharedParent : hitTri->m_parentNode;
  }
  // call number -1 queries without touching the neighbour cache
  if (callNumber != -1) m_lastHitTriangle = hit ? hitTri : nullptr;
  return hit;
}
