// Reads a Wavefront OBJ file and its MTL material libraries into arrays:
// positions, normals, texture coordinates, faces (corners as indices into those
// arrays, checked on reading), materials and group names.
#ifndef SCENE_COBJMODEL_H
#define SCENE_COBJMODEL_H

#include "scene/math/CVector3d.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// how many of each kind of line the file had
struct cOBJFileInfo {
  unsigned int m_vertexCount = 0;
  unsigned int m_texCoordCount = 0;
  unsigned int m_normalCount = 0;
  unsigned int m_faceCount = 0;
  unsigned int m_materialCount = 0;
};

// one corner of a face: 0-based indices, -1 where the file gives none
struct cOBJCorner {
  int m_position = -1;
  int m_texCoord = -1;
  int m_normal = -1;
};

// one face: m_vertexCount corners from m_firstCorner in the model's corner array
struct cFace {
  unsigned int m_vertexCount = 0;
  unsigned int m_firstCorner = 0;
  // the material current when the face was read, 0 when none
  int m_materialIndex = 0;
  // groups read so far minus one
  int m_groupIndex = -1;
};

struct cMaterialInfo {
  std::string m_name;
  std::string m_texturePath;
  // 1 once a diffuse map is given
  int m_textureFlag = -1;
  float m_diffuse[3] = {0.8f, 0.8f, 0.8f};
  float m_ambient[3] = {0.8f, 0.8f, 0.8f};
  float m_specular[3] = {0.3f, 0.3f, 0.3f};
  float m_emission[3] = {0.0f, 0.0f, 0.0f};
  // 1 is opaque: "d" gives it, "Tr" gives its complement
  float m_opacity = 1.0f;
  // 0..128, from "Ns" on its 0..1000 scale
  int m_shininess = 0;
};

class cOBJModel {
 public:
  // false when the file cannot be read; unknown lines, faces with indices outside
  // the arrays and unreadable material libraries are skipped
  bool LoadModel(const char *path);
  // the same from text in memory; libraries are looked up in directory (with its
  // trailing separator)
  bool LoadFromMemory(const char *data, size_t size, const std::string &directory);
  // adds the materials of one library's text; texture paths are prefixed with directory
  void ReadMaterialLibrary(const char *data, size_t size, const std::string &directory);

  // the text of a material library by its path; reads the file unless replaced
  std::function<bool(const std::string &path, std::string &text)> m_libraryReader;

  std::vector<cVector3d> m_positions;
  std::vector<cVector3d> m_normals;
  std::vector<cVector3d> m_texCoords;
  std::vector<cFace> m_faces;
  std::vector<cOBJCorner> m_corners;
  std::vector<cMaterialInfo> m_materials;
  std::vector<std::string> m_groups;
  cOBJFileInfo m_info;

 private:
  void clear();
  bool readFace(const char *p, const char *end, int material);
};

// the whole file, or false
bool cReadWholeFile(const std::string &path, std::string &text);

#endif
