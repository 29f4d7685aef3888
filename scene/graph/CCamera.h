// The viewpoint: renders a world into the current viewport (mono or stereo, one
// pass or three for transparency, user clip planes, a 2-D overlay behind and one
// in front) and picks the object under a window pixel.
#ifndef SCENE_CCAMERA_H
#define SCENE_CCAMERA_H

#include "scene/graph/CGenericObject.h"

class cWorld;

// image index of renderView: mono (also -1000), left eye; any other value is the right eye
constexpr int CAMERA_RENDER_MONO = 0;
constexpr int CAMERA_RENDER_LEFT_EYE = -1;
constexpr int CAMERA_RENDER_RIGHT_EYE = 1;

// one user clip plane: enabled -1 leaves OpenGL alone, 0 disables, 1 enables
struct cClippingPlane {
  int enabled = -1;
  double peqn[4] = {0.0, 0.0, 0.0, 0.0};
};

class cCamera : public cGenericObject {
 public:
  // at the origin looking at (-1, 0, 0) with up (0, 0, 1)
  explicit cCamera(cWorld *world);
  ~cCamera() override;

  // false, nothing changed, when position and lookAt coincide or up is null or
  // parallel to the viewing direction
  virtual bool set(const cVector3d &position, const cVector3d &lookAt, const cVector3d &up);
  virtual void renderView(int windowWidth, int windowHeight, int imageIndex = CAMERA_RENDER_MONO);
  // the object under window pixel (x, y), y counted from the top; distance
  // receives the distance to the hit point
  virtual bool select(int windowX, int windowY, int windowWidth, int windowHeight, cGenericObject *&object,
                      cTriangle *&triangle, cVector3d &point, double &distance, bool visibleOnly);
  virtual void enableMultipassTransparency(bool enabled) { m_twoPassBlend = enabled; }
  bool getMultipassTransparency() const { return m_twoPassBlend; }

  // the world, the overlays and the children once, even when reached again
  void onDisplayReset(bool recursive) override;

  // clamped to 0..180 degrees
  void setFieldViewAngle(double degrees);
  double getFieldViewAngle() const { return m_fovDeg; }
  // applied only when 0 < near < far
  void setClippingPlanes(double nearClip, double farClip);
  double getNearClippingPlane() const { return m_nearClip; }
  double getFarClippingPlane() const { return m_farClip; }
  // far and near from the size of the world's boundary box
  void adjustClippingPlanes();
  // at least 1e-9
  void setStereoFocalLength(double distance);
  double getStereoFocalLength() const { return m_zeroParallax; }
  void setStereoEyeSeparation(double distance) { m_eyeGap = distance; }
  double getStereoEyeSeparation() const { return m_eyeGap; }
  // index above 5 is ignored; the equation is copied when given
  void enableClipPlane(const unsigned int &index, const int &enable, const double *equation = nullptr);

  cWorld *getParentWorld() const { return m_homeWorld; }
  // true while an overlay scene is being drawn (bitmaps draw only then)
  static bool isDrawingOverlay();

  // 2-D scenes in window pixels, drawn after and before the world
  cGenericObject m_frontOverlay;
  cGenericObject m_backOverlay;
  double m_projGL[16];
  cWorld *m_homeWorld;
  double m_nearClip;
  double m_farClip;
  cClippingPlane m_clipPlanes[6];
  // vertical, degrees
  double m_fovDeg;
  double m_zeroParallax;
  double m_eyeGap;
  bool m_twoPassBlend;
  bool m_inReset;

 protected:
  void renderOverlay(cGenericObject &root, int windowWidth, int windowHeight);
};

#endif
