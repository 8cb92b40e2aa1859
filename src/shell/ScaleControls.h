#pragma once
#include "toolkit/form.h"

// Multiplies every control's position, size and font size by the factors
// (the font by their mean). A step a control refuses is skipped; the window
// itself is neither moved nor resized.
void ScaleControls(float factorX, float factorY, tk::Form& window);
