#include "scene/forces/CProxyPointForceAlgo.h"

#include "scene/graph/CWorld.h"
#include "scene/math/CMaths.h"
#include "scene/mesh/CMesh.h"
#include "scene/mesh/CTriangle.h"

#include <cfloat>
#include <cmath>

namespace {

constexpr double kGoalEpsilon = 1e-9;

// the triangle's corners in world coordinates, through its mesh's global pose
void GlobalCorners(const cTriangle *t, cVector3d &v0, cVector3d &v1, cVector3d &v2) {
  const cMesh *m = t->getParent();
  const cMatrix3d &r = m->getGlobalRot();
  const cVector3d &p = m->getGlobalPos();
  v0 = r * m->m_vertexSlots[t->m_corner0].m_pos + p;
  v1 = r * m->m_vertexSlots[t->m_corner1].m_pos + p;
  v2 = r * m->m_vertexSlots[t->m_corner2].m_pos + p;
}

cVector3d FaceNormal(const cVector3d &v0, const cVector3d &v1, const cVector3d &v2) {
  return cNormalize((v1 - v0).cross(v2 - v0));
}

// the material of the owner of a triangle; meshes only carry one
const cMaterial &MaterialOf(const cTriangle *t) { return t->getParent()->m_surface; }

// where the proxy rests after its path from start along u hit a plane of normal
// n at hit: back along the path until one radius from the plane. A grazing path
// (u nearly in the plane) would be backed off far behind start, beyond surfaces
// never looked at; when that is more than a radius behind, the proxy rests one
// radius above the hit point instead
cVector3d BackOff(const cVector3d &start, const cVector3d &hit, const cVector3d &u, const cVector3d &n, double radius) {
  const double c = std::fabs(n.dot(u));
  if (c * (hit.distance(start) + radius) >= radius) return hit - u * (radius / c);
  const cVector3d side = n.dot(start - hit) < 0.0 ? -n : n;
  return hit + cNormalize(side) * radius;
}

}  // namespace

cProxyPointForceAlgo::cProxyPointForceAlgo()
    : m_sliding(true),
      m_frictionOn(true),
      m_forceStickTest(false),
      m_frictionConeOn(true),
      m_contactCount(0),
      m_constraintTriangles{nullptr, nullptr, nullptr},
      m_touchedObject(nullptr),
      m_proxySphereRadius(static_cast<double>(0.1f)),
      m_followObjectMotion(false) {}

cProxyPointForceAlgo::~cProxyPointForceAlgo() {}

void cProxyPointForceAlgo::initialize(cWorld *world, const cVector3d &initialGlobalPosition) {
  m_contactCount = 0;
  m_sliding = true;
  m_scene = world;
  m_goalPos = initialGlobalPosition;
  m_proxyPos = initialGlobalPosition;
  m_springForce.zero();
}

cVector3d cProxyPointForceAlgo::computeForces(const cVector3d &deviceGlobalPosition) {
  if (m_scene == nullptr) return cVector3d();
  m_goalPos = deviceGlobalPosition;
  if (m_followObjectMotion) correctProxyForObjectMotion();
  computeNextBestProxyPosition(m_goalPos);
  m_proxyPos = m_nextProxyPos;
  computeForce();
  updateDynamicContactState();
  return m_springForce;
}

int cProxyPointForceAlgo::getContacts(cTriangle *&t0, cTriangle *&t1, cTriangle *&t2) {
  t0 = m_contactCount > 0 ? m_constraintTriangles[0] : nullptr;
  t1 = m_contactCount > 1 ? m_constraintTriangles[1] : nullptr;
  t2 = m_contactCount > 2 ? m_constraintTriangles[2] : nullptr;
  return m_contactCount;
}

bool cProxyPointForceAlgo::goalAchieved(const cVector3d &proxy, const cVector3d &goal) const {
  return proxy.distance(goal) < kGoalEpsilon;
}

void cProxyPointForceAlgo::offsetGoalPosition(cVector3d &goal, const cVector3d &proxy) const {
  const cVector3d d = goal - proxy;
  const double len = d.length();
  // no direction to extend along: leave the goal where it is
  if (len <= 0.0) return;
  goal += d * (m_proxySphereRadius / len);
}

void cProxyPointForceAlgo::correctProxyForObjectMotion() {
  if (m_touchedObject == nullptr) return;
  const cVector3d local = m_touchedObjectPrevRot.transMul(m_proxyPos - m_touchedObjectPrevPos);
  m_proxyPos = m_touchedObject->getGlobalRot() * local + m_touchedObject->getGlobalPos();
}

void cProxyPointForceAlgo::updateDynamicContactState() {
  if (m_touchedObject == nullptr) return;
  m_touchedObjectPrevPos = m_touchedObject->getGlobalPos();
  m_touchedObjectPrevRot = m_touchedObject->getGlobalRot();
}

void cProxyPointForceAlgo::computeForce() {
  if (m_contactCount <= 0) {
    m_springForce.zero();
    return;
  }
  double k;
  if (m_contactCount == 1) {
    k = MaterialOf(m_constraintTriangles[0]).getStiffness();
  } else if (m_contactCount == 2) {
    k = (MaterialOf(m_constraintTriangles[0]).getStiffness() + MaterialOf(m_constraintTriangles[1]).getStiffness()) *
        0.5;
  } else {
    k = (MaterialOf(m_constraintTriangles[0]).getStiffness() + MaterialOf(m_constraintTriangles[1]).getStiffness() +
         MaterialOf(m_constraintTriangles[2]).getStiffness()) /
        3.0;
  }
  m_springForce = (m_proxyPos - m_goalPos) * k;
}

bool cProxyPointForceAlgo::StickByForce(const cTriangle *tri, const cVector3d &normal, const cVector3d &P,
                                        const cVector3d &G, cGenericObject *object) {
  // the spring force split along the constraint's normal: while the static cone
  // holds it, the proxy stays where it is
  const cMaterial &mat = MaterialOf(tri);
  const cVector3d F = (P - G) * mat.getStiffness();
  m_stickNormalForce = normal * (normal.dot(F) / normal.dot(normal));
  m_stickTangentForce = F - m_stickNormalForce;
  if (m_stickNormalForce.length() * mat.getStaticFriction() <= m_stickTangentForce.length()) return false;
  m_touchedObject = object;
  m_nextProxyPos = m_proxyPos;
  return true;
}

void cProxyPointForceAlgo::computeNextBestProxyPosition(cVector3d goal) {
  cVector3d P = m_proxyPos;
  const cVector3d G = goal;
  const double radius = m_proxySphereRadius;

  m_stickNormalForce.zero();
  m_stickTangentForce.zero();
  m_contactCount = 0;

  // ---- first constraint ----
  if (goalAchieved(P, G)) {
    m_contactCount = 0;
    m_touchedObject = nullptr;
    m_nextProxyPos = P;
    return;
  }

  cVector3d S1 = G;
  offsetGoalPosition(S1, P);
  cGenericObject *hitObject = nullptr;
  cTriangle *tri = nullptr;
  cVector3d C1;
  double dist = DBL_MAX;
  if (!m_scene->computeCollisionDetection(P, S1, hitObject, tri, C1, dist, false, 1)) {
    m_contactCount = 0;
    m_touchedObject = nullptr;
    m_sliding = false;
    m_nextProxyPos = G;
    return;
  }

  m_contactCount = 1;
  m_constraintTriangles[0] = tri;
  m_firstHitPoint = C1;
  cGenericObject *object = tri->getParent();
  cVector3d v0, v1, v2;
  GlobalCorners(tri, v0, v1, v2);
  cVector3d n1 = FaceNormal(v0, v1, v2);
  // face the side the proxy comes from
  if (n1.dot(cNormalize(P - G)) < 0.0) n1 = -n1;

  // back off along the approach so the centre sits one radius from the plane;
  // never behind where the proxy started, which a grazing approach would ask
  P = BackOff(P, C1, cNormalize(G - P), n1, radius);

  if (goalAchieved(P, G)) {
    m_nextProxyPos = P;
    m_touchedObject = object;
    return;
  }

  // the goal projected onto the plane, lifted one radius on the proxy's side
  const cVector3d m = FaceNormal(v0, v1, v2);
  const cVector3d g0 = G - v0;
  const cVector3d G1 = v0 + (g0 - m * m.dot(g0)) + n1 * radius;
  if (G1.distance(P) < kGoalEpsilon) {
    m_nextProxyPos = P;
    m_touchedObject = object;
    return;
  }

  if (m_forceStickTest && StickByForce(tri, n1, P, G, object)) return;

  // ---- second constraint ----
  cVector3d S2 = G1;
  offsetGoalPosition(S2, P);
  cVector3d C2;
  dist = DBL_MAX;
  if (!m_scene->computeCollisionDetection(P, S2, hitObject, tri, C2, dist, false, 2)) {
    testFrictionAndMoveProxy(G1, P, n1, object);
    return;
  }

  m_contactCount = 2;
  m_constraintTriangles[1] = tri;
  object = tri->getParent();
  GlobalCorners(tri, v0, v1, v2);
  cVector3d n2 = cComputeSurfaceNormal(v0, v1, v2);
  if (n2.dot(cNormalize(P - G)) < 0.0) n2 = -n2;
  P = BackOff(P, C2, cNormalize(G1 - P), n2, radius);

  if (goalAchieved(P, G1)) {
    m_nextProxyPos = P;
    m_touchedObject = object;
    return;
  }

  // slide along the line shared by both planes
  const cVector3d L = n1.cross(n2);
  if (L.x == 0.0 && L.y == 0.0 && L.z == 0.0) {
    m_nextProxyPos = P;
    m_touchedObject = object;
    return;
  }
  const cVector3d G2 = P + L * ((G - P).dot(L) / L.dot(L));
  if (G2.distance(P) < kGoalEpsilon) {
    m_nextProxyPos = P;
    m_touchedObject = object;
    return;
  }

  if (m_forceStickTest && StickByForce(tri, n2, P, G, object)) return;

  // ---- third constraint ----
  cVector3d S3 = G2;
  offsetGoalPosition(S3, P);
  cVector3d C3;
  dist = DBL_MAX;
  if (!m_scene->computeCollisionDetection(P, S3, hitObject, tri, C3, dist, false, 3)) {
    testFrictionAndMoveProxy(G2, P, (n1 + n2) * 0.5, object);
    return;
  }

  m_contactCount = 3;
  m_constraintTriangles[2] = tri;
  m_touchedObject = tri->getParent();
  GlobalCorners(tri, v0, v1, v2);
  const cVector3d n3 = cComputeSurfaceNormal(v0, v1, v2);
  m_nextProxyPos = BackOff(P, C3, cNormalize(G2 - P), n3, radius);
}

void cProxyPointForceAlgo::testFrictionAndMoveProxy(const cVector3d &goal, const cVector3d &proxy, cVector3d normal,
                                                    cGenericObject *parent) {
  const cMesh *mesh = dynamic_cast<const cMesh *>(parent);
  const bool friction = m_frictionOn && m_frictionConeOn && mesh != nullptr &&
                        (mesh->m_surface.getStaticFriction() != 0.0 || mesh->m_surface.getDynamicFriction() != 0.0);
  if (!friction) {
    m_nextProxyPos = goal;
    m_touchedObject = parent;
    return;
  }
  const double muStatic = mesh->m_surface.getStaticFriction();
  const double muDynamic = mesh->m_surface.getDynamicFriction();

  // penetration along the normal: e - (|n|^2 I - n n^T) e, taken as written so a
  // non-unit mean normal scales it
  const cVector3d e = m_goalPos - proxy;
  const double nn = normal.dot(normal);
  const cVector3d tangential = e * nn - normal * normal.dot(e);
  const double depth = (e - tangential).length();

  const double angleStatic = std::atan(muStatic);
  const double angleDynamic = std::atan(muDynamic);
  double cosine = cNormalize(proxy - m_goalPos).dot(normal);
  // rounding can carry the cosine just past 1 and make the angle undefined
  if (cosine > 1.0) cosine = 1.0;
  if (cosine < -1.0) cosine = -1.0;
  const double theta = std::acos(cosine);

  double mu;
  if (muDynamic > muStatic) {
    m_sliding = true;
    mu = muDynamic;
  } else if (!m_sliding) {
    if (theta > angleStatic) {
      m_sliding = true;
      mu = muDynamic;
    } else {
      mu = muStatic;
    }
  } else {
    if (theta < 0.6 * angleDynamic) {
      m_sliding = false;
      mu = muStatic;
    } else {
      mu = muDynamic;
    }
  }

  const double r = std::fabs(mu * depth);
  const double D = proxy.distance(goal);
  if (D >= kGoalEpsilon && D > r) {
    m_nextProxyPos = goal + (proxy - goal) * (r / D);
  } else {
    m_nextProxyPos = proxy;
  }
  m_touchedObject = parent;
}
