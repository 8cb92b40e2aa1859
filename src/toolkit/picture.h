#pragma once
#include <windows.h>

namespace tk {

// Loads a picture resource: a BITMAP, or a JPEG or GIF kept as RCDATA.
// nullptr when none loads.
HBITMAP LoadPicture(HINSTANCE instance, int id);
// A JPEG or GIF file's bytes as a 24-bit DIB section; nullptr when they are
// damaged or cut short.
HBITMAP DecodePicture(const void* data, DWORD size);

// Starts, on a second thread, what a form's load would otherwise wait for:
// the RCDATA pictures among `ids`, decoded in the order given, so that
// LoadPicture finds them ready, then the common controls library, which the
// first button brings in. Skipping it changes nothing but the time taken.
void PrefetchPictures(HINSTANCE instance, const int* ids, int count);
// Waits for the prefetching thread and drops whatever nobody took.
void EndPrefetch();

// The picture's size in pixels; {0, 0} for nullptr.
SIZE PictureSize(HBITMAP picture);

}  // namespace tk
