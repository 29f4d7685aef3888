#include "scene/forces/CShapeBlock.h"

#include <GL/gl.h>

#include <cmath>

cShapeBlock::cShapeBlock(const double &sizeX, const double &sizeY, const double &sizeZ)
    : m_edges(std::fabs(sizeX), std::fabs(sizeY), std::fabs(sizeZ)) {
  m_surface.m_ambientColor.set(0.3f, 0.3f, 0.3f, 1.0f);
  m_surface.m_diffuseColor.set(0.1f, 0.7f, 0.8f, 1.0f);
  m_surface.m_specularColor.set(1.0f, 1.0f, 1.0f, 1.0f);
  m_surface.setShininess(100);
  updateBoundaryBox();
}

cVector3d cShapeBlock::computeLocalForce(const cVector3d &p) {
  const cVector3d h = m_edges * 0.5;
  if (!(p.x > -h.x && p.x < h.x && p.y > -h.y && p.y < h.y && p.z > -h.z && p.z < h.z)) return cVector3d();

  // faces in the order -x, +x, -y, +y, -z, +z; the earlier face wins a tie
  const float depth[6] = {
      static_cast<float>(std::fabs(-h.x - p.x)), static_cast<float>(std::fabs(h.x - p.x)),
      static_cast<float>(std::fabs(-h.y - p.y)), static_cast<float>(std::fabs(h.y - p.y)),
      static_cast<float>(std::fabs(-h.z - p.z)), static_cast<float>(std::fabs(h.z - p.z)),
  };
  float best = 99999.0f;
  int face = 0;
  for (int i = 0; i < 6; ++i) {
    if (depth[i] < best) {
      best = depth[i];
      face = i;
    }
  }
  const double f = static_cast<double>(best) * m_surface.getStiffness();
  cVector3d out;
  out[face / 2] = (face % 2 == 0) ? -f : f;
  return out;
}

void cShapeBlock::renderShape(int pass) {
  if (m_blend) {
    if (pass == RENDER_PASS_TRANSPARENT_BACK) {
      glEnable(GL_CULL_FACE);
      glCullFace(GL_FRONT);
    } else if (pass == RENDER_PASS_TRANSPARENT_FRONT) {
      glEnable(GL_CULL_FACE);
      glCullFace(GL_BACK);
    } else if (pass == RENDER_PASS_ALL) {
      glDisable(GL_CULL_FACE);
    }
  }
  beginShape();
  const double x = 0.5 * m_edges.x, y = 0.5 * m_edges.y, z = 0.5 * m_edges.z;
  glBegin(GL_QUADS);
  // each face counter-clockwise seen from outside
  glNormal3d(1, 0, 0);
  glTexCoord2d(0, 0);
  glVertex3d(x, -y, -z);
  glTexCoord2d(1, 0);
  glVertex3d(x, y, -z);
  glTexCoord2d(1, 1);
  glVertex3d(x, y, z);
  glTexCoord2d(0, 1);
  glVertex3d(x, -y, z);

  glNormal3d(-1, 0, 0);
  glTexCoord2d(0, 0);
  glVertex3d(-x, y, -z);
  glTexCoord2d(1, 0);
  glVertex3d(-x, -y, -z);
  glTexCoord2d(1, 1);
  glVertex3d(-x, -y, z);
  glTexCoord2d(0, 1);
  glVertex3d(-x, y, z);

  glNormal3d(0, 1, 0);
  glTexCoord2d(0, 0);
  glVertex3d(x, y, -z);
  glTexCoord2d(1, 0);
  glVertex3d(-x, y, -z);
  glTexCoord2d(1, 1);
  glVertex3d(-x, y, z);
  glTexCoord2d(0, 1);
  glVertex3d(x, y, z);

  glNormal3d(0, -1, 0);
  glTexCoord2d(0, 0);
  glVertex3d(-x, -y, -z);
  glTexCoord2d(1, 0);
  glVertex3d(x, -y, -z);
  glTexCoord2d(1, 1);
  glVertex3d(x, -y, z);
  glTexCoord2d(0, 1);
  glVertex3d(-x, -y, z);

  glNormal3d(0, 0, 1);
  glTexCoord2d(0, 0);
  glVertex3d(-x, -y, z);
  glTexCoord2d(1, 0);
  glVertex3d(x, -y, z);
  glTexCoord2d(1, 1);
  glVertex3d(x, y, z);
  glTexCoord2d(0, 1);
  glVertex3d(-x, y, z);

  glNormal3d(0, 0, -1);
  glTexCoord2d(0, 0);
  glVertex3d(-x, y, -z);
  glTexCoord2d(1, 0);
  glVertex3d(x, y, -z);
  glTexCoord2d(1, 1);
  glVertex3d(x, -y, -z);
  glTexCoord2d(0, 1);
  glVertex3d(-x, -y, -z);
  glEnd();
  endShape();
}

void cShapeBlock::updateBoundaryBox() {
  m_boxLo = m_edges * -0.5;
  m_boxHi = m_edges * 0.5;
}

void cShapeBlock::scaleObject(const cVector3d &factors) {
  m_edges = m_edges.elementMul(factors);
  updateBoundaryBox();
}
