#include "scene/files/CMeshLoader.h"

#include "scene/files/CFileLoader3DS.h"
#include "scene/files/CFileLoaderOBJ.h"
#include "scene/mesh/CMesh.h"

#include <cctype>

std::string cMeshFileExtension(const std::string &fileName) {
  // a dot inside a directory name is not an extension
  const size_t sep = fileName.find_last_of("\\/");
  const size_t dot = fileName.find_last_of('.');
  if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) return std::string();
  std::string ext = fileName.substr(dot + 1);
  for (char &c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

bool cLoadMeshFromFile(cMesh *mesh, const std::string &fileName) {
  if (mesh == nullptr) return false;
  const std::string ext = cMeshFileExtension(fileName);
  if (ext == "obj") return cLoadFileOBJ(mesh, fileName);
  if (ext == "3ds") return cLoadFile3DS(mesh, fileName);
  return false;
}
