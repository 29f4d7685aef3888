// Writing results through the optional output pointers of the read operations:
// null outputs are skipped, matrices are 3 by 3.
#ifndef TKX_OUTPUT_H
#define TKX_OUTPUT_H

namespace tkx {

constexpr double kDegPerRad = 57.29577951308232;
constexpr double kRadPerDeg = 0.017453292519943295;

template <typename T>
inline void Put(T *p, T v) {
  if (p) *p = v;
}

template <typename T>
inline void Clear(T *p) {
  if (p) *p = T();
}

inline void Put3(double *x, double *y, double *z, const double v[3]) { Put(x, v[0]), Put(y, v[1]), Put(z, v[2]); }

inline void Identity(double m[3][3]) {
  if (m == nullptr) return;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) m[i][j] = i == j ? 1.0 : 0.0;
}

inline void Zero(double m[3][3]) {
  if (m == nullptr) return;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) m[i][j] = 0.0;
}

inline void CopyMatrix(double to[3][3], const double from[3][3]) {
  if (to == nullptr) return;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) to[i][j] = from[i][j];
}

}  // namespace tkx

#endif
