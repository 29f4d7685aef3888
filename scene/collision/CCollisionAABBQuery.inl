// The descent of the AABB tree's query, included twice by CCollisionAABB.cpp: once
// for any x86-64, and once, with TKX_COLLISION_WIDE defined, for machines with
// 8-wide vectors and fused multiply-adds, where a node's eight boxes are tested at
// once. Their slab tests round differently, both far inside the boxes' padding, and
// the triangles' tests are the same: both give the same answers.

#if defined(__SSE2__)
// the four triangles at f against the segment, in single precision, on the
// algebra of the exact test's answer: with T = a - v0, P = d x e2, Q = T x e1 and
// D = e1.P, its barycentric coordinates are T.P / D and d.Q / D and its ray
// parameter e2.Q / D. Each of these is computed in floats, and each with a bound on
// its rounding: 128 units of the last place of the product of its factors'
// magnitudes (twice what the operations can lose, and the factors' own rounding
// to floats included), plus a floor far above what underflow can lose within
// kFilterRange. A lane is rejected only when D's sign is certain and some test of
// the exact one fails by four such bounds and more than its slack (1e-13) beyond
// doubt; the exact test's own rounding is 2^29 times finer, so it fails too. Bit
// k of the result: lane k must go to the exact test.
__attribute__((always_inline)) inline int FilterFour(const cCollisionAABBFilter *f, const FilterSegment &q,
                                                     __m128 reach) {
  __m128 v0x = _mm_load_ps(f[0].m_v0), v0y = _mm_load_ps(f[1].m_v0), v0z = _mm_load_ps(f[2].m_v0),
         corner = _mm_load_ps(f[3].m_v0);
  _MM_TRANSPOSE4_PS(v0x, v0y, v0z, corner);
  __m128 e1x = _mm_load_ps(f[0].m_e1), e1y = _mm_load_ps(f[1].m_e1), e1z = _mm_load_ps(f[2].m_e1),
         edge = _mm_load_ps(f[3].m_e1);
  _MM_TRANSPOSE4_PS(e1x, e1y, e1z, edge);
  __m128 e2x = _mm_load_ps(f[0].m_e2), e2y = _mm_load_ps(f[1].m_e2), e2z = _mm_load_ps(f[2].m_e2),
         unused = _mm_load_ps(f[3].m_e2);
  _MM_TRANSPOSE4_PS(e2x, e2y, e2z, unused);
  (void)unused;

  const __m128 tx = _mm_sub_ps(q.ax, v0x), ty = _mm_sub_ps(q.ay, v0y), tz = _mm_sub_ps(q.az, v0z);
  const __m128 px = _mm_sub_ps(_mm_mul_ps(q.dy, e2z), _mm_mul_ps(q.dz, e2y));
  const __m128 py = _mm_sub_ps(_mm_mul_ps(q.dz, e2x), _mm_mul_ps(q.dx, e2z));
  const __m128 pz = _mm_sub_ps(_mm_mul_ps(q.dx, e2y), _mm_mul_ps(q.dy, e2x));
  const __m128 qx = _mm_sub_ps(_mm_mul_ps(ty, e1z), _mm_mul_ps(tz, e1y));
  const __m128 qy = _mm_sub_ps(_mm_mul_ps(tz, e1x), _mm_mul_ps(tx, e1z));
  const __m128 qz = _mm_sub_ps(_mm_mul_ps(tx, e1y), _mm_mul_ps(ty, e1x));
  auto Dot = [](__m128 x0, __m128 y0, __m128 z0, __m128 x1, __m128 y1, __m128 z1) {
    return _mm_add_ps(_mm_add_ps(_mm_mul_ps(x0, x1), _mm_mul_ps(y0, y1)), _mm_mul_ps(z0, z1));
  };
  const __m128 d = Dot(e1x, e1y, e1z, px, py, pz);
  // the others with D's sign taken out
  const __m128 signBit = _mm_set1_ps(-0.0f);
  const __m128 sign = _mm_and_ps(d, signBit);
  const __m128 dAbs = _mm_andnot_ps(signBit, d);
  const __m128 s = _mm_xor_ps(Dot(tx, ty, tz, px, py, pz), sign);
  const __m128 r = _mm_xor_ps(Dot(q.dx, q.dy, q.dz, qx, qy, qz), sign);
  const __m128 t = _mm_xor_ps(Dot(e2x, e2y, e2z, qx, qy, qz), sign);

  // the bounds: |a| + |d| + |v0| stands for T's magnitude
  const __m128 floor = _mm_set1_ps(0x1p-96f);
  const __m128 span = _mm_add_ps(q.span, corner);
  const __m128 base = _mm_mul_ps(q.error, edge);
  const __m128 errorS = _mm_add_ps(_mm_mul_ps(base, span), floor);
  const __m128 errorD = _mm_add_ps(_mm_mul_ps(base, edge), floor);
  const __m128 errorT =
      _mm_add_ps(_mm_mul_ps(_mm_mul_ps(_mm_set1_ps(kFilterError), span), _mm_mul_ps(edge, edge)), floor);
  const __m128 four = _mm_set1_ps(4.0f);
  const __m128 dMax = _mm_add_ps(dAbs, errorD);
  const __m128 below = _mm_sub_ps(_mm_setzero_ps(), _mm_mul_ps(_mm_set1_ps(1e-12f), dMax));

  const __m128 certain = _mm_cmpgt_ps(dAbs, _mm_add_ps(errorD, errorD));
  // a barycentric coordinate below zero, or the third one (1 - s - r)
  __m128 out = _mm_cmplt_ps(_mm_add_ps(s, _mm_mul_ps(four, errorS)), below);
  out = _mm_or_ps(out, _mm_cmplt_ps(_mm_add_ps(r, _mm_mul_ps(four, errorS)), below));
  const __m128 third = _mm_sub_ps(_mm_sub_ps(dAbs, s), r);
  const __m128 errorThird = _mm_add_ps(errorD, _mm_add_ps(errorS, errorS));
  out = _mm_or_ps(out, _mm_cmplt_ps(_mm_add_ps(third, _mm_mul_ps(four, errorThird)), below));
  // the plane behind a, or beyond the reach of the best hit so far
  out = _mm_or_ps(out, _mm_cmplt_ps(_mm_add_ps(t, _mm_mul_ps(four, errorT)), below));
  out = _mm_or_ps(out, _mm_cmpgt_ps(_mm_sub_ps(t, _mm_mul_ps(four, errorT)), _mm_mul_ps(reach, dMax)));
  return ~_mm_movemask_ps(_mm_and_ps(certain, out)) & 15;
}
#endif

// The closest hit of the segment from a along direction within the tree, ties to
// the lowest slot: the index of its triangle, its point and squared distance. av and
// dv hold a and direction, reachA and reachD their largest magnitudes, all within
// the boxes' single-precision range.
bool QueryTree(const QueryTreeArrays &tree, const cVector3d &a, const cVector3d &direction, const double *av,
               const double *dv, double reachA, double reachD, double lengthSq, uint32_t &hitIndex, cVector3d &point,
               double &squareDistance) {
  // the segment in single precision: per axis the near and far planes' origin,
  // widened by the query's padding, and the inverse direction (a zero component
  // becomes a tiny one: the ray moves by far less than the padding)
  const float pad = kQueryPadRelative * static_cast<float>(reachA + reachD);
  float originNear[3], originFar[3], inv[3];
  int nearRow[3], farRow[3];
#pragma GCC unroll 3
  for (int k = 0; k < 3; ++k) {
    const float o = static_cast<float>(av[k]);
    float d = static_cast<float>(dv[k]);
    if (std::fabs(d) < 1e-30f) d = dv[k] < 0.0 ? -1e-30f : 1e-30f;
    inv[k] = 1.0f / d;
    // towards +: enter at the minimum (origin moved up by the padding), leave at the
    // maximum. Without branches: the signs are the query's, and no guess holds them
    const int down = std::signbit(inv[k]) ? 1 : 0;
    nearRow[k] = k + 3 * down;
    farRow[k] = k + 3 * (1 - down);
    const float towards = std::copysign(pad, inv[k]);
    originNear[k] = o + towards;
    originFar[k] = o - towards;
  }

  bool have = false;
  double best = lengthSq;
  // finite: a direction here has a component beyond 1e-18
  const double inverseLengthSq = 1.0 / lengthSq;
  uint32_t bestSlot = 0;
  // best / lengthSq is exactly 1 here
  float reach = static_cast<float>(1.0 + 1e-5);
#if defined(__SSE2__)
  const V3D2 a2 = Splat(a), direction2 = Splat(direction);
  const D2 lengthSq2 = Splat(lengthSq);
  // the single-precision rejection, for meshes and segments within its range
  const bool filter = tree.filters != nullptr && reachA + reachD <= kFilterRange;
  FilterSegment segment;
  segment.ax = _mm_set1_ps(static_cast<float>(a.x));
  segment.ay = _mm_set1_ps(static_cast<float>(a.y));
  segment.az = _mm_set1_ps(static_cast<float>(a.z));
  segment.dx = _mm_set1_ps(static_cast<float>(direction.x));
  segment.dy = _mm_set1_ps(static_cast<float>(direction.y));
  segment.dz = _mm_set1_ps(static_cast<float>(direction.z));
  segment.error = _mm_set1_ps(kFilterError * RoundUpPositive(reachD));
  segment.span = _mm_set1_ps(RoundUpPositive(reachA + reachD));
#else
  const bool filter = false;
#endif

  struct Entry {
    uint32_t ref;
    float entry;
  };
  Entry stack[kStackSize];
  int top = 0;
  // the boxes of a node (its first three lines: the children's references come
  // with the last of them, as the cache fetches lines in pairs), or the filters of
  // a leaf's first four triangles (the first 192 bytes of their exact records
  // without a filter), chosen without a branch: which it is cannot be guessed
  auto Prefetch = [&tree, filter](uint32_t ref) {
    const char *leaf = filter ? reinterpret_cast<const char *>(&tree.filters[cCollisionAABBNode::leafFirst(ref)])
                              : reinterpret_cast<const char *>(&tree.triangles[cCollisionAABBNode::leafFirst(ref)]);
    const char *node = reinterpret_cast<const char *>(&tree.nodes[ref & (cCollisionAABBNode::kLeafFlag - 1)]);
    const char *p = cCollisionAABBNode::isLeaf(ref) ? leaf : node;
    __builtin_prefetch(p);
    __builtin_prefetch(p + 64);
    __builtin_prefetch(p + 128);
    __builtin_prefetch(p + 191);
  };
  // the next waiting subtree that can still hold a winner: one whose entry lies
  // strictly beyond the best hit so far cannot
  auto pop = [&](Entry &next) {
    while (top > 0) {
      next = stack[--top];
      if (next.entry <= reach) return true;
    }
    return false;
  };
  stack[top++] = Entry{0, -std::numeric_limits<float>::infinity()};
  // a hit at squared distance d2 on triangle j, kept when it beats the best
  auto record = [&](uint32_t j, double d2, const cVector3d &p) {
    const uint32_t slot = tree.triangles[j].m_slot;
    if (!Better(have, d2, slot, best, bestSlot)) return;
    have = true;
    best = d2;
    bestSlot = slot;
    hitIndex = j;
    point = p;
    reach = Reach(best, inverseLengthSq);
  };
  // triangle j through the exact test
  auto test = [&](uint32_t j) {
    const cCollisionAABBTriangle &t = tree.triangles[j];
    cVector3d p;
    double d2;
    if (cCollisionSegmentTriangle(t.m_v0, t.m_e1, t.m_e2, a, direction, lengthSq, best, p, d2)) record(j, d2, p);
  };

#if defined(__SSE2__)
  // where each axis's near and far rows start in a node's boxes
  const ptrdiff_t nearOffset[3] = {nearRow[0] * kWidth, nearRow[1] * kWidth, nearRow[2] * kWidth};
  const ptrdiff_t farOffset[3] = {farRow[0] * kWidth, farRow[1] * kWidth, farRow[2] * kWidth};
#endif
#if defined(__SSE2__) && !defined(TKX_COLLISION_WIDE)
  const __m128 onx = _mm_set1_ps(originNear[0]), ony = _mm_set1_ps(originNear[1]), onz = _mm_set1_ps(originNear[2]);
  const __m128 ofx = _mm_set1_ps(originFar[0]), ofy = _mm_set1_ps(originFar[1]), ofz = _mm_set1_ps(originFar[2]);
  const __m128 ix = _mm_set1_ps(inv[0]), iy = _mm_set1_ps(inv[1]), iz = _mm_set1_ps(inv[2]);
  const __m128 zero = _mm_setzero_ps();
#elif defined(TKX_COLLISION_WIDE)
  // the slab test as box * inv - origin * inv in one rounding: the product's own
  // rounding is that of the origin to single precision, far inside the padding. A
  // product beyond single precision (a huge origin on a nearly still axis) would
  // make the difference undefined: that query takes the 4-wide descent
  float product[6], largest = 0.0f;
#pragma GCC unroll 3
  for (int k = 0; k < 3; ++k) {
    product[k] = originNear[k] * inv[k];
    product[3 + k] = originFar[k] * inv[k];
    // one branch for all six (no product is undefined: origin and inverse are finite)
    largest = std::max(largest, std::max(std::fabs(product[k]), std::fabs(product[3 + k])));
  }
  if (!(largest <= std::numeric_limits<float>::max()))
    return narrow::QueryTree(tree, a, direction, av, dv, reachA, reachD, lengthSq, hitIndex, point, squareDistance);
  const __m256 ix8 = _mm256_set1_ps(inv[0]), iy8 = _mm256_set1_ps(inv[1]), iz8 = _mm256_set1_ps(inv[2]);
  const __m256 onx8 = _mm256_set1_ps(product[0]), ony8 = _mm256_set1_ps(product[1]), onz8 = _mm256_set1_ps(product[2]);
  const __m256 ofx8 = _mm256_set1_ps(product[3]), ofy8 = _mm256_set1_ps(product[4]), ofz8 = _mm256_set1_ps(product[5]);
  const __m256 zero8 = _mm256_setzero_ps();
#endif

  Entry e = stack[--top];
  for (;;) {
    if (cCollisionAABBNode::isLeaf(e.ref)) {
      const uint32_t first = cCollisionAABBNode::leafFirst(e.ref), end = first + cCollisionAABBNode::leafCount(e.ref);
      uint32_t i = first;
#if defined(__SSE2__)
      if (filter) {
        // both groups of four through the filter at once (the lanes past the leaf
        // read the next leaf's or the zeroed padding, and are dropped), the few that
        // pass to the exact test in order
        const uint32_t count = end - first;
        const __m128 within = _mm_set1_ps(reach);
        unsigned int pass = static_cast<unsigned int>(FilterFour(&tree.filters[first], segment, within));
        if (count > 4) pass |= static_cast<unsigned int>(FilterFour(&tree.filters[first + 4], segment, within)) << 4;
        pass &= (1u << count) - 1;
        while (pass != 0) {
          const uint32_t j = first + static_cast<uint32_t>(__builtin_ctz(pass));
          pass &= pass - 1;
          test(j);
        }
        if (!pop(e)) break;
        continue;
      }
      // two at a time, then the last one alone
      for (; i + 1 < end; i += 2) {
        double x[2], nSquare[2], d2[2], px[2], py[2], pz[2];
        const int mask = TestPair(tree.triangles[i], tree.triangles[i + 1], a2, direction2, lengthSq2, Splat(best), x,
                                  nSquare, px, py, pz, d2);
        for (int k = 0; k < 2; ++k) {
          if (!(mask & (1 << k))) continue;
          // the angle, as the scalar test takes it
          if (x[k] > 0.0) {
            const double cosTheta = x[k] / std::sqrt(nSquare[k] * lengthSq);
            if (cosTheta > 1.0) continue;
            if (cosTheta >= 0.26 && std::acos(cosTheta) < kCollisionMinAngle) continue;
          }
          record(i + k, d2[k], cVector3d(px[k], py[k], pz[k]));
        }
      }
#endif
      for (; i < end; ++i) test(i);
      if (!pop(e)) break;
      continue;
    }

    const cCollisionAABBNode &node = tree.nodes[e.ref];
    float entry[kWidth];
    int mask = 0;
#if defined(TKX_COLLISION_WIDE)
    {
      // all eight boxes at once
      const float *box = node.m_box[0];
      const __m256 nx = _mm256_fmsub_ps(_mm256_load_ps(box + nearOffset[0]), ix8, onx8);
      const __m256 ny = _mm256_fmsub_ps(_mm256_load_ps(box + nearOffset[1]), iy8, ony8);
      const __m256 nz = _mm256_fmsub_ps(_mm256_load_ps(box + nearOffset[2]), iz8, onz8);
      const __m256 fx = _mm256_fmsub_ps(_mm256_load_ps(box + farOffset[0]), ix8, ofx8);
      const __m256 fy = _mm256_fmsub_ps(_mm256_load_ps(box + farOffset[1]), iy8, ofy8);
      const __m256 fz = _mm256_fmsub_ps(_mm256_load_ps(box + farOffset[2]), iz8, ofz8);
      // entered no earlier than the start, and left no later than the reach: one
      // comparison, each side two levels deep (the reach is never negative)
      const __m256 tn = _mm256_max_ps(_mm256_max_ps(nx, ny), _mm256_max_ps(nz, zero8));
      const __m256 tf = _mm256_min_ps(_mm256_min_ps(fx, fy), _mm256_min_ps(fz, _mm256_set1_ps(reach)));
      const __m256 ok = _mm256_cmp_ps(tn, tf, _CMP_LE_OQ);
      mask = _mm256_movemask_ps(ok);
      _mm256_storeu_ps(entry, tn);
    }
#elif defined(__SSE2__)
    const __m128 within = _mm_set1_ps(reach);
    // both groups of four, whatever the count: waiting for it and guessing it would
    // cost more than the second group's test
    const float *box = node.m_box[0];
#pragma GCC unroll 2
    for (int g = 0; g < kWidth; g += 4) {
      const __m128 nx = _mm_mul_ps(_mm_sub_ps(_mm_load_ps(box + nearOffset[0] + g), onx), ix);
      const __m128 ny = _mm_mul_ps(_mm_sub_ps(_mm_load_ps(box + nearOffset[1] + g), ony), iy);
      const __m128 nz = _mm_mul_ps(_mm_sub_ps(_mm_load_ps(box + nearOffset[2] + g), onz), iz);
      const __m128 fx = _mm_mul_ps(_mm_sub_ps(_mm_load_ps(box + farOffset[0] + g), ofx), ix);
      const __m128 fy = _mm_mul_ps(_mm_sub_ps(_mm_load_ps(box + farOffset[1] + g), ofy), iy);
      const __m128 fz = _mm_mul_ps(_mm_sub_ps(_mm_load_ps(box + farOffset[2] + g), ofz), iz);
      const __m128 tn = _mm_max_ps(_mm_max_ps(nx, ny), nz);
      const __m128 tf = _mm_min_ps(_mm_min_ps(fx, fy), fz);
      const __m128 ok = _mm_and_ps(_mm_and_ps(_mm_cmple_ps(tn, tf), _mm_cmpge_ps(tf, zero)), _mm_cmple_ps(tn, within));
      mask |= _mm_movemask_ps(ok) << g;
      _mm_storeu_ps(entry + g, tn);
    }
#else
    for (int c = 0; c < kWidth; ++c) {
      float tn = -std::numeric_limits<float>::infinity(), tf = std::numeric_limits<float>::infinity();
      for (int k = 0; k < 3; ++k) {
        tn = std::max(tn, (node.m_box[nearRow[k]][c] - originNear[k]) * inv[k]);
        tf = std::min(tf, (node.m_box[farRow[k]][c] - originFar[k]) * inv[k]);
      }
      entry[c] = tn;
      if (tn <= tf && tf >= 0.0f && tn <= reach) mask |= 1 << c;
    }
#endif
    // an empty child's box lies at 1e30 on every axis: its entry is beyond any
    // reach, or its exit behind the start, so it is never in the mask
    if (mask == 0) {
      if (!pop(e)) break;
      continue;
    }
    int c = __builtin_ctz(static_cast<unsigned int>(mask));
    mask &= mask - 1;
    if (mask == 0) {
      // one child: straight on
      e = Entry{node.m_child[c], entry[c]};
      continue;
    }
    const int second = __builtin_ctz(static_cast<unsigned int>(mask));
    if ((mask & (mask - 1)) == 0) {
      // two: the nearer next (on a tie the second, as the sort below has it), the
      // other waits; chosen without a branch, which no guess would hold
      const Entry x{node.m_child[c], entry[c]}, y{node.m_child[second], entry[second]};
      const bool firstNearer = x.entry < y.entry;
      const Entry wait = firstNearer ? y : x;
      e = firstNearer ? x : y;
      Prefetch(wait.ref);
      stack[top++] = wait;
      continue;
    }
    // several: the nearest is next, the others wait on the stack farthest first,
    // their memory loading meanwhile. They are sorted in place on the stack (the
    // nearest one slot past its top: the depth check leaves room), so nothing is copied
    Entry *hits = stack + top;
    int n = 0;
    for (;;) {
      const Entry h{node.m_child[c], entry[c]};
      int j = n++;
      while (j > 0 && hits[j - 1].entry < h.entry) {
        hits[j] = hits[j - 1];
        --j;
      }
      hits[j] = h;
      if (mask == 0) break;
      c = __builtin_ctz(static_cast<unsigned int>(mask));
      mask &= mask - 1;
    }
    for (int j = 0; j < n - 1; ++j) Prefetch(hits[j].ref);
    top += n - 1;
    e = hits[n - 1];
  }
  if (have) squareDistance = best;
  return have;
}
