// The models that ship in resources/models, built from code: a molar and a dental
// burr. make-models writes them; the loader's tests compare the shipped files
// with what these build now.
#ifndef TOOLS_MODELS_MODELS_H
#define TOOLS_MODELS_MODELS_H

#include "tools/models/Writer3ds.h"

namespace models {

// a molar in file units (about 280 tall), crown up (+z), origin at its centre:
// object "tooth" (crown in material "enamel", roots in "cementum", one closed
// smooth surface) and object "gumline" (a ring around the neck, material "gum")
Scene MakeTooth();

// a dental burr in millimetres: tip at the origin, shank along +x, a fluted head
// at the tip; one object "fraise" in the metallic material "steel"
Scene MakeFraise();

}  // namespace models

#endif
