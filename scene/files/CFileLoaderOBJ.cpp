#include "scene/files/CFileLoaderOBJ.h"

#include "scene/files/COBJModel.h"
#include "scene/graph/CTexture2D.h"
#include "scene/graph/CWorld.h"
#include "scene/mesh/CMesh.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace {

// into 0..1; not a number is 0
float Unit(float v) {
  if (!(v > 0.0f)) return 0.0f;
  return v > 1.0f ? 1.0f : v;
}

// the folder part of a path, empty when there is none
std::string Directory(const std::string &path) {
  const size_t sep = path.find_last_of("/\\");
  return sep == std::string::npos ? std::string() : path.substr(0, sep);
}

// the vertices of the child meshes by (child, position, normal, texture
// coordinate): one table for all children, so that many materials cost no more
// than one; per position a short chain of the combinations met so far
class VertexTable {
 public:
  explicit VertexTable(size_t positions) : m_head(positions, -1) {}

  // the vertex of child for the corner, made on first use
  unsigned int get(size_t child, cMesh &mesh, const cOBJModel &model, const cOBJCorner &c) {
    for (int e = m_head[c.m_position]; e >= 0; e = m_entries[e].next) {
      const Entry &x = m_entries[e];
      if (x.child == child && x.normal == c.m_normal && x.texCoord == c.m_texCoord) return x.vertex;
    }
    const unsigned int index = mesh.newVertex(model.m_positions[c.m_position]);
    cVertex &v = mesh.m_vertexSlots[index];
    if (c.m_normal >= 0) v.m_nrm = model.m_normals[c.m_normal];
    if (c.m_texCoord >= 0) v.m_uv = model.m_texCoords[c.m_texCoord];
    m_entries.push_back(Entry{child, c.m_normal, c.m_texCoord, index, m_head[c.m_position]});
    m_head[c.m_position] = static_cast<int>(m_entries.size() - 1);
    return index;
  }

 private:
  struct Entry {
    size_t child;
    int normal;
    int texCoord;
    unsigned int vertex;
    int next;
  };
  std::vector<int> m_head;
  std::vector<Entry> m_entries;
};

void ApplyMaterial(cMesh &child, const cMaterialInfo &m, cWorld *world, const std::string &modelPath,
                   std::vector<std::unique_ptr<cTexture2D>> &textures) {
  // textures belong to the world: without one there is nobody to keep them
  if (m.m_textureFlag > 0 && world != nullptr) {
    std::unique_ptr<cTexture2D> texture(new cTexture2D());
    bool loaded = texture->loadFromFile(m.m_texturePath.c_str());
    if (!loaded) loaded = texture->loadFromFile((Directory(modelPath) + "/" + m.m_texturePath).c_str());
    if (loaded) {
      child.setTexture(texture.get(), false);
      textures.push_back(std::move(texture));
    }
  }
  if (m.m_opacity < 1.0f) child.enableTransparency(true, false);
  const float alpha = Unit(m.m_opacity);
  cMaterial &s = child.m_surface;
  s.m_ambientColor.set(Unit(m.m_ambient[0]), Unit(m.m_ambient[1]), Unit(m.m_ambient[2]), alpha);
  s.m_diffuseColor.set(Unit(m.m_diffuse[0]), Unit(m.m_diffuse[1]), Unit(m.m_diffuse[2]), alpha);
  s.m_specularColor.set(Unit(m.m_specular[0]), Unit(m.m_specular[1]), Unit(m.m_specular[2]), alpha);
  s.m_emissionColor.set(Unit(m.m_emission[0]), Unit(m.m_emission[1]), Unit(m.m_emission[2]), alpha);
  s.setShininess(static_cast<unsigned int>(m.m_shininess));
}

}  // namespace

bool cBuildMeshFromOBJ(cMesh *mesh, const cOBJModel &model, const std::string &modelPath) {
  if (mesh == nullptr) return false;
  cWorld *world = mesh->getParentWorld();
  const bool withMaterials = !model.m_materials.empty();
  const bool withNormals = !model.m_normals.empty();
  bool transparent = false;

  // everything is built aside and handed over at the end
  std::vector<std::unique_ptr<cMesh>> children;
  std::vector<std::unique_ptr<cTexture2D>> textures;
  try {
    const size_t count = withMaterials ? model.m_materials.size() : 1;
    for (size_t i = 0; i < count; ++i) {
      children.emplace_back(mesh->createMesh());
      if (withMaterials) {
        ApplyMaterial(*children.back(), model.m_materials[i], world, modelPath, textures);
        transparent |= model.m_materials[i].m_opacity < 1.0f;
      }
    }

    VertexTable table(model.m_positions.size());
    for (const cFace &f : model.m_faces) {
      if (f.m_vertexCount < 3) continue;
      const size_t target = withMaterials && f.m_materialIndex >= 0 ? static_cast<size_t>(f.m_materialIndex) : 0;
      if (target >= count) continue;
      cMesh &child = *children[target];
      const cOBJCorner *c = &model.m_corners[f.m_firstCorner];
      const unsigned int v0 = table.get(target, child, model, c[0]);
      unsigned int prev = table.get(target, child, model, c[1]);
      // a fan around the first corner
      for (unsigned int k = 2; k < f.m_vertexCount; ++k) {
        const unsigned int next = table.get(target, child, model, c[k]);
        child.newTriangle(v0, prev, next);
        prev = next;
      }
    }
  } catch (const std::exception &) {
    // out of memory: the mesh stays as it was
    return false;
  }

  // nothing fails from here on
  mesh->clear();
  for (std::unique_ptr<cMesh> &child : children) mesh->addChild(child.release());
  for (std::unique_ptr<cTexture2D> &texture : textures) world->addTexture(texture.release());
  if (withMaterials) {
    mesh->useColors(false, true);
    mesh->useMaterial(true, true);
    mesh->enableTransparency(transparent, false);
  } else {
    mesh->setVertexColor(cColorb(255, 255, 255, 255), true);
    mesh->useColors(true, true);
    mesh->useMaterial(false, true);
    mesh->enableTransparency(false, true);
  }
  if (!withNormals) mesh->computeAllNormals(true);
  mesh->computeBoundaryBox(true);
  if (world != nullptr) world->computeGlobalPositions(true, cVector3d(0, 0, 0), cMatrix3d());
  return true;
}

bool cLoadFileOBJ(cMesh *mesh, const std::string &fileName) {
  if (mesh == nullptr) return false;
  cOBJModel model;
  if (!model.LoadModel(fileName.c_str())) return false;
  return cBuildMeshFromOBJ(mesh, model, fileName);
}
