// The collision benchmark's work through a ray-tracing kernel, for comparison
// only: one thread, its default (medium) build quality, single-ray first hits on
// the same meshes and segments as the AABB tree.
#include "scene/mesh/CMesh.h"
#include "scene/mesh/CTriangle.h"
#include "scene/mesh/CVertex.h"
#include "support/CollisionCases.h"

#include <benchmark/benchmark.h>
#include <embree3/rtcore.h>

#include <vector>

namespace bench {

namespace {

struct Kernel {
  RTCDevice device = nullptr;
  std::vector<float> vertices;
  std::vector<unsigned int> indices;

  explicit Kernel(const cMesh &mesh) {
    device = rtcNewDevice("threads=1");
    for (const cVertex &v : mesh.m_vertexSlots) {
      vertices.push_back(static_cast<float>(v.m_pos.x));
      vertices.push_back(static_cast<float>(v.m_pos.y));
      vertices.push_back(static_cast<float>(v.m_pos.z));
    }
    for (const cTriangle &t : mesh.m_triangleSlots) {
      indices.push_back(t.m_corner0);
      indices.push_back(t.m_corner1);
      indices.push_back(t.m_corner2);
    }
  }
  ~Kernel() { rtcReleaseDevice(device); }

  // the scene over the mesh, built
  RTCScene build() const {
    RTCScene scene = rtcNewScene(device);
    rtcSetSceneBuildQuality(scene, RTC_BUILD_QUALITY_MEDIUM);
    RTCGeometry geom = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
    const size_t nv = vertices.size() / 3, nt = indices.size() / 3;
    float *vb = static_cast<float *>(
        rtcSetNewGeometryBuffer(geom, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3, 3 * sizeof(float), nv));
    unsigned int *ib = static_cast<unsigned int *>(
        rtcSetNewGeometryBuffer(geom, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3, 3 * sizeof(unsigned int), nt));
    std::copy(vertices.begin(), vertices.end(), vb);
    std::copy(indices.begin(), indices.end(), ib);
    rtcCommitGeometry(geom);
    rtcAttachGeometry(scene, geom);
    rtcReleaseGeometry(geom);
    rtcCommitScene(scene);
    return scene;
  }
};

}  // namespace

void BM_EmbreeBuild(benchmark::State &state, int level, CollisionWork work) {
  const CollisionCase &c = GetCollisionCase(level, work);
  const Kernel kernel(*c.mesh);
  for (auto _ : state) {
    RTCScene scene = kernel.build();
    benchmark::DoNotOptimize(scene);
    rtcReleaseScene(scene);
  }
  state.counters["triangles"] = static_cast<double>(kernel.indices.size() / 3);
}

void BM_EmbreeQuery(benchmark::State &state, int level, CollisionWork work) {
  const CollisionCase &c = GetCollisionCase(level, work);
  const Kernel kernel(*c.mesh);
  RTCScene scene = kernel.build();
  RTCIntersectContext context;
  rtcInitIntersectContext(&context);
  int i = 0;
  long hits = 0;
  for (auto _ : state) {
    const cVector3d &a = c.a[i], d = c.b[i] - c.a[i];
    RTCRayHit rh;
    rh.ray.org_x = static_cast<float>(a.x);
    rh.ray.org_y = static_cast<float>(a.y);
    rh.ray.org_z = static_cast<float>(a.z);
    rh.ray.dir_x = static_cast<float>(d.x);
    rh.ray.dir_y = static_cast<float>(d.y);
    rh.ray.dir_z = static_cast<float>(d.z);
    rh.ray.tnear = 0.0f;
    rh.ray.tfar = 1.0f;
    rh.ray.time = 0.0f;
    rh.ray.mask = 0xffffffffu;
    rh.ray.id = 0;
    rh.ray.flags = 0;
    rh.hit.geomID = RTC_INVALID_GEOMETRY_ID;
    rh.hit.instID[0] = RTC_INVALID_GEOMETRY_ID;
    rtcIntersect1(scene, &context, &rh);
    hits += rh.hit.geomID != RTC_INVALID_GEOMETRY_ID ? 1 : 0;
    benchmark::DoNotOptimize(rh);
    if (++i == CollisionCase::kSegments) i = 0;
  }
  rtcReleaseScene(scene);
  state.counters["hit_rate"] = state.iterations() > 0 ? static_cast<double>(hits) / state.iterations() : 0.0;
}

}  // namespace bench
