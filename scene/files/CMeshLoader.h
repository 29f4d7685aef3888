// Loads a model file into a mesh, choosing the reader by the file's extension.
#ifndef SCENE_CMESHLOADER_H
#define SCENE_CMESHLOADER_H

#include <string>

class cMesh;

// false, the mesh untouched, for an extension no reader handles (or none)
bool cLoadMeshFromFile(cMesh *mesh, const std::string &fileName);

// the lower-cased text after the last '.' that follows the last backslash;
// empty when there is no such dot
std::string cMeshFileExtension(const std::string &fileName);

#endif
