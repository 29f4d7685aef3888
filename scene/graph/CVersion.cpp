#include "scene/graph/CVersion.h"

const char *cGetFrameworkVersion() { return "3.2.2"; }
