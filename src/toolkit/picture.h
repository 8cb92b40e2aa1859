#pragma once
#include <windows.h>

namespace tk {

// Loads a picture resource: a BITMAP, or a JPEG kept as RCDATA.
// nullptr when none loads.
HBITMAP LoadPicture(HINSTANCE instance, int id);
// A JPEG file's bytes as a 24-bit DIB section; nullptr when they are damaged
// or cut short.
HBITMAP DecodePicture(const void* data, DWORD size);

// The picture's size in pixels; {0, 0} for nullptr.
SIZE PictureSize(HBITMAP picture);

}  // namespace tk
