#include "pictures/colour_table.h"

namespace vrk::pictures {

Rgb colourRgb(int number) {
    return rgbFromBgr(colourValue(number));
}

}  // namespace vrk::pictures
