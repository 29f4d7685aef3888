#include "scene/forces/CGenericPotentialField.h"

#include "scene/graph/CTexture2D.h"

#include <GL/gl.h>

cGenericPotentialField::cGenericPotentialField()
    : m_twoPassBlend(true), m_blend(false), m_cullBack(true), m_tex(nullptr) {}

cVector3d cGenericPotentialField::computeForces(const cVector3d &position) {
  const cVector3d local = m_rot.transMul(position - m_pos);
  cVector3d f = computeLocalForce(local);
  for (cGenericObject *kid : m_kids) f += kid->computeForces(local);
  const cVector3d out = m_rot * f;
  m_lastFieldForce = out;
  return out;
}

void cGenericPotentialField::render(int pass) {
  if (m_blend && m_twoPassBlend) {
    // back faces first, then the front ones over them
    if (pass == RENDER_PASS_TRANSPARENT_FRONT) {
      glEnable(GL_CULL_FACE);
      glCullFace(GL_BACK);
      renderShape(pass);
    } else if (pass == RENDER_PASS_TRANSPARENT_BACK) {
      glEnable(GL_CULL_FACE);
      glCullFace(GL_FRONT);
      renderShape(pass);
    } else if (pass == RENDER_PASS_ALL) {
      glDisable(GL_CULL_FACE);
      renderShape(pass);
    }
  } else if (pass == RENDER_PASS_OPAQUE || pass == RENDER_PASS_ALL) {
    if (!m_blend && m_cullBack) {
      glEnable(GL_CULL_FACE);
      glCullFace(GL_BACK);
    } else {
      glDisable(GL_CULL_FACE);
    }
    renderShape(pass);
  }
  glDisable(GL_CULL_FACE);
  glCullFace(GL_BACK);
}

void cGenericPotentialField::beginShape() {
  if (m_blend) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDepthMask(GL_FALSE);
  } else {
    glDisable(GL_BLEND);
    glDepthMask(GL_TRUE);
  }
  m_surface.render();
  if (m_tex != nullptr) m_tex->render();
}

void cGenericPotentialField::endShape() {
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glDepthMask(GL_TRUE);
  glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
  glEnable(GL_COLOR_MATERIAL);
}
