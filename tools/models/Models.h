// The models that ship in resources/models, built from code: a molar, a dental
// burr and a thin slab. make-models writes them; the loader's tests compare the shipped files
// with what these build now.
#ifndef TOOLS_MODELS_MODELS_H
#define TOOLS_MODELS_MODELS_H

#include "tools/models/Writer3ds.h"
#include "tools/models/WriterObj.h"

namespace models {

// a molar in file units (about 280 tall), crown up (+z), origin at its centre:
// object "tooth" (crown in material "enamel", roots in "cementum", one closed
// smooth surface) and object "gumline" (a ring around the neck, material "gum")
Scene MakeTooth();

// a dental burr in millimetres: tip at the origin, shank along +x, a fluted head
// at the tip; one object "fraise" in the metallic material "steel"
Scene MakeFraise();

// the skin of the dynamics demo's sheet, in scene units: a thin slab over
// x -0.45..0.45, y -0.43..0.47, z -0.01..0.01, its faces finely divided so it
// bends with the skeleton; one object "box" in material "skin"
Scene MakeBox();

// the audio demo's turntable: groups "plinth", "platter" and "arm" in materials of
// those names, origin at the centre of the platter's underside, z up
ObjScene MakeTurntable();

}  // namespace models

#endif
