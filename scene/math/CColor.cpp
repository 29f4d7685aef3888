#include "scene/math/CColor.h"

// constant-initialised, so they exist before any other static code runs
const cColorf KORA_COLOR_RED(1.0f, 0.0f, 0.0f);
const cColorf KORA_COLOR_GREEN(0.0f, 1.0f, 0.0f);
const cColorf KORA_COLOR_BLUE(0.0f, 0.0f, 1.0f);
const cColorf KORA_COLOR_WHITE(1.0f, 1.0f, 1.0f);
const cColorf KORA_COLOR_BLACK(0.0f, 0.0f, 0.0f);
const cColorf KORA_COLOR_YELLOW(1.0f, 1.0f, 0.0f);
const cColorf KORA_COLOR_AQUA(0.0f, 1.0f, 1.0f);
const cColorf KORA_COLOR_PURPLE(1.0f, 0.0f, 1.0f);

const cColorf KORA_BASIC_COLORS[8] = {
    cColorf(1.0f, 0.0f, 0.0f), cColorf(0.0f, 1.0f, 0.0f), cColorf(0.0f, 0.0f, 1.0f), cColorf(1.0f, 1.0f, 1.0f),
    cColorf(0.0f, 0.0f, 0.0f), cColorf(1.0f, 1.0f, 0.0f), cColorf(0.0f, 1.0f, 1.0f), cColorf(1.0f, 0.0f, 1.0f),
};
