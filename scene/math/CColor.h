// Colours: four floats for materials and lights, four bytes for vertices and images.
#ifndef SCENE_CCOLOR_H
#define SCENE_CCOLOR_H

#include <cstdint>

struct cColorf {
  float r, g, b, a;

  constexpr cColorf() : r(1.0f), g(1.0f), b(1.0f), a(1.0f) {}
  constexpr cColorf(float ar, float ag, float ab, float aa = 1.0f) : r(ar), g(ag), b(ab), a(aa) {}

  // each channel clamped into 0..1; alpha becomes 1
  void set(float ar, float ag, float ab) {
    r = Clamp(ar);
    g = Clamp(ag);
    b = Clamp(ab);
    a = 1.0f;
  }
  void set(float ar, float ag, float ab, float aa) {
    r = ar;
    g = ag;
    b = ab;
    a = aa;
  }
  // the four channels as an array, for OpenGL
  const float *data() const { return &r; }
  float *data() { return &r; }
  bool operator==(const cColorf &c) const { return r == c.r && g == c.g && b == c.b && a == c.a; }
  bool operator!=(const cColorf &c) const { return !(*this == c); }

 private:
  static float Clamp(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }
};

struct cColorb {
  uint8_t r, g, b, a;

  constexpr cColorb() : r(255), g(255), b(255), a(255) {}
  constexpr cColorb(uint8_t ar, uint8_t ag, uint8_t ab, uint8_t aa = 255) : r(ar), g(ag), b(ab), a(aa) {}
  void set(uint8_t ar, uint8_t ag, uint8_t ab, uint8_t aa = 255) {
    r = ar;
    g = ag;
    b = ab;
    a = aa;
  }
  const uint8_t *data() const { return &r; }
  bool operator==(const cColorb &c) const { return r == c.r && g == c.g && b == c.b && a == c.a; }
  bool operator!=(const cColorb &c) const { return !(*this == c); }
};

extern const cColorf KORA_COLOR_RED;
extern const cColorf KORA_COLOR_GREEN;
extern const cColorf KORA_COLOR_BLUE;
extern const cColorf KORA_COLOR_WHITE;
extern const cColorf KORA_COLOR_BLACK;
extern const cColorf KORA_COLOR_YELLOW;
extern const cColorf KORA_COLOR_AQUA;
extern const cColorf KORA_COLOR_PURPLE;
// the eight colours above, red first
extern const cColorf KORA_BASIC_COLORS[8];

#endif
