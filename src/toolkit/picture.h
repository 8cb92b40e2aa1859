#pragma once
#include <windows.h>

namespace tk {

// Loads a picture resource: a BITMAP, or a JPEG kept as RCDATA and decoded by
// the system's own picture loader. nullptr when neither loads.
HBITMAP LoadPicture(HINSTANCE instance, int id);

// The picture's size in pixels; {0, 0} for nullptr.
SIZE PictureSize(HBITMAP picture);

}  // namespace tk
