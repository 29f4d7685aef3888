#include "scene/mesh/CVertex.h"

cVertex::cVertex(double x, double y, double z, unsigned int slot)
    : m_pos(x, y, z),
      m_worldPos(x, y, z),
      m_nrm(0.0, 0.0, 1.0),
      m_uv(0.0, 0.0, 0.0),
      m_rgba(255, 255, 255, 255),
      m_slot(slot),
      m_inUse(true),
      m_faceCount(0) {}
