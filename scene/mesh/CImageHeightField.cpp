#include "scene/mesh/CImageHeightField.h"

#include "scene/files/CImageLoader.h"
#include "scene/graph/CTexture2D.h"
#include "scene/graph/CWorld.h"
#include "scene/mesh/CMesh.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// the three bytes of a white pixel
constexpr double kWhite = 765.0;
// the relief's frame and normals, when shown
constexpr double kFrameSize = 0.2;
constexpr double kFrameThickness = 1.0;
constexpr double kNormalsLength = 0.01;

bool Usable(const cImageLoader &image) {
  const long w = image.getWidth(), h = image.getHeight();
  return image.isInitialized() && image.getFormat() == GL_RGBA && image.getData() != nullptr &&
         w >= cImageHeightField::kMinSide && h >= cImageHeightField::kMinSide && w <= cImageHeightField::kMaxPixels / h;
}

}  // namespace

bool cImageHeightField::buildGeometry(cMesh *mesh, const cImageLoader &image, double height, double size) {
  if (mesh == nullptr || !Usable(image) || !std::isfinite(height) || !(size > 0.0) || !std::isfinite(size))
    return false;
  const int w = image.getWidth(), h = image.getHeight();
  const double s = 1.0 / std::max(w, h);

  // slots freed earlier are reused first, so the indices are kept rather than assumed
  std::vector<unsigned int> index(static_cast<size_t>(w) * static_cast<size_t>(h));
  for (int i = 0; i < h; ++i)
    for (int j = 0; j < w; ++j) {
      const cColorb c = image.getPixelColor(j, i);
      const double rise = (double(c.r) + double(c.g) + double(c.b)) * height / kWhite;
      const unsigned int v = mesh->newVertex(rise, s * j - s * w / 2.0, s * i - s * h / 2.0);
      mesh->getVertex(v)->m_uv.set(double(j) / w, double(i) / h, 0.0);
      index[static_cast<size_t>(i) * w + j] = v;
    }
  for (int i = 0; i + 1 < h; ++i)
    for (int j = 0; j + 1 < w; ++j) {
      const unsigned int a = index[static_cast<size_t>(i) * w + j], b = index[static_cast<size_t>(i) * w + j + 1];
      const unsigned int c = index[static_cast<size_t>(i + 1) * w + j],
                         d = index[static_cast<size_t>(i + 1) * w + j + 1];
      mesh->newTriangle(a, b, c);
      mesh->newTriangle(c, b, d);
    }
  mesh->computeAllNormals(true);
  mesh->computeBoundaryBox(true);

  // at least two pixels each way make the y-z extent positive
  const cVector3d extent = mesh->getBoundaryMax() - mesh->getBoundaryMin();
  const double largest = std::max(extent.x, std::max(extent.y, extent.z));
  mesh->scale(size / largest, true);
  mesh->computeBoundaryBox(true);
  return true;
}

bool cImageHeightField::create(cMesh *mesh, const char *path, double height, double size) {
  if (mesh == nullptr || path == nullptr || mesh->getParentWorld() == nullptr) return false;
  cWorld *world = mesh->getParentWorld();
  cTexture2D *texture = world->newTexture();
  if (texture == nullptr) return false;
  if (!texture->loadFromFile(path) || !buildGeometry(mesh, texture->m_picture, height, size)) {
    world->deleteTexture(texture);
    return false;
  }
  // soft pictures stay soft when the texture is magnified on a large relief
  texture->setMagnificationFunction(GL_LINEAR);
  texture->setMinifyingFunction(GL_LINEAR_MIPMAP_LINEAR);
  mesh->setTexture(texture, false);
  mesh->useTexture(true, true);

  mesh->createAABBCollisionDetector(true, false);
  mesh->setFrameSize(kFrameSize, kFrameThickness, false);
  mesh->setNormalsProperties(kNormalsLength, cColorf(1.0f, 0.0f, 0.0f, 1.0f), true);
  mesh->useCulling(false, true);
  mesh->computeGlobalPositions(false);
  mesh->setFriction(0.0, 0.0, false);
  mesh->useDisplayList(true, true);
  return true;
}
