// A 3-D vector of doubles: the value type of positions, directions and forces.
// The three components are contiguous, so a vector passes to OpenGL as double[3].
// Every operation is inline and allocates nothing.
#ifndef SCENE_CVECTOR3D_H
#define SCENE_CVECTOR3D_H

#include <cmath>

struct cVector3d {
  double x, y, z;

  cVector3d() : x(0.0), y(0.0), z(0.0) {}
  cVector3d(double ax, double ay, double az) : x(ax), y(ay), z(az) {}

  void set(double ax, double ay, double az) {
    x = ax;
    y = ay;
    z = az;
  }
  void zero() { x = y = z = 0.0; }

  double &operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
  double operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }
  // the three components as an array, for OpenGL
  const double *data() const { return &x; }
  double *data() { return &x; }

  cVector3d operator+(const cVector3d &v) const { return cVector3d(x + v.x, y + v.y, z + v.z); }
  cVector3d operator-(const cVector3d &v) const { return cVector3d(x - v.x, y - v.y, z - v.z); }
  cVector3d operator-() const { return cVector3d(-x, -y, -z); }
  cVector3d operator*(double s) const { return cVector3d(x * s, y * s, z * s); }
  cVector3d operator/(double s) const { return cVector3d(x / s, y / s, z / s); }
  cVector3d &operator+=(const cVector3d &v) {
    x += v.x;
    y += v.y;
    z += v.z;
    return *this;
  }
  cVector3d &operator-=(const cVector3d &v) {
    x -= v.x;
    y -= v.y;
    z -= v.z;
    return *this;
  }
  cVector3d &operator*=(double s) {
    x *= s;
    y *= s;
    z *= s;
    return *this;
  }
  cVector3d &operator/=(double s) {
    x /= s;
    y /= s;
    z /= s;
    return *this;
  }
  bool operator==(const cVector3d &v) const { return x == v.x && y == v.y && z == v.z; }
  bool operator!=(const cVector3d &v) const { return !(*this == v); }

  double dot(const cVector3d &v) const { return x * v.x + y * v.y + z * v.z; }
  cVector3d cross(const cVector3d &v) const {
    return cVector3d(y * v.z - z * v.y, z * v.x - x * v.z, x * v.y - y * v.x);
  }
  // componentwise product
  cVector3d elementMul(const cVector3d &v) const { return cVector3d(x * v.x, y * v.y, z * v.z); }

  double lengthsq() const { return x * x + y * y + z * z; }
  double length() const { return std::sqrt(lengthsq()); }
  // divides by the length in place; a zero vector becomes non-finite (callers guard)
  void normalize() {
    const double l = length();
    x /= l;
    y /= l;
    z /= l;
  }
  double distance(const cVector3d &v) const { return (*this - v).length(); }
  double distancesq(const cVector3d &v) const { return (*this - v).lengthsq(); }
  // every component within eps of the other's
  bool equals(const cVector3d &v, double eps = 0.0) const {
    return std::fabs(x - v.x) <= eps && std::fabs(y - v.y) <= eps && std::fabs(z - v.z) <= eps;
  }
};

inline cVector3d operator*(double s, const cVector3d &v) { return v * s; }

inline double cDot(const cVector3d &a, const cVector3d &b) { return a.dot(b); }
inline cVector3d cCross(const cVector3d &a, const cVector3d &b) { return a.cross(b); }
inline double cDistance(const cVector3d &a, const cVector3d &b) { return a.distance(b); }
inline double cDistanceSq(const cVector3d &a, const cVector3d &b) { return a.distancesq(b); }
// v divided by its length (no guard against a zero length)
inline cVector3d cNormalize(const cVector3d &v) { return v / v.length(); }

#endif
