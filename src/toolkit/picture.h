#pragma once
#include <windows.h>

namespace tk {

// Loads a picture resource: a BITMAP, or a JPEG or GIF kept as RCDATA.
// nullptr when none loads.
HBITMAP LoadPicture(HINSTANCE instance, int id);
// A JPEG or GIF file's bytes as a DIB section, 8 bits a pixel for 256 colours
// or fewer, else 24; nullptr when they are damaged or cut short.
HBITMAP DecodePicture(const void* data, DWORD size);

// The picture's size in pixels; {0, 0} for nullptr.
SIZE PictureSize(HBITMAP picture);

}  // namespace tk
