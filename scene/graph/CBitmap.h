// A 2-D image drawn in a camera's overlay scene at its position in window pixels.
#ifndef SCENE_CBITMAP_H
#define SCENE_CBITMAP_H

#include "scene/files/CImageLoader.h"
#include "scene/graph/CGenericObject.h"

class cBitmap : public cGenericObject {
 public:
  cBitmap();
  ~cBitmap() override;

  // pixel zoom, horizontal and vertical
  void setZoomHV(float h, float v);
  float getZoomH() const { return m_scaleX; }
  float getZoomV() const { return m_scaleY; }
  // draws only while a camera draws an overlay scene
  void render(int pass) override;

  cImageLoader m_picture;
  float m_scaleX;
  float m_scaleY;
  // alpha blending
  bool m_blend;
};

#endif
