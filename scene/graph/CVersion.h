// Version of the scene framework (the device library's version, shared by the whole stack).
#ifndef SCENE_CVERSION_H
#define SCENE_CVERSION_H

// "major.minor.release" of the framework
const char *cGetFrameworkVersion();

#endif
