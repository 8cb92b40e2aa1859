#include "toolkit/picture.h"

// Decoded in the process (stb_image.c), not by the system's OLE picture
// loader, whose codec library stays resident and private once it has run.
#define STBI_NO_STDIO
#include "third_party/stb/stb_image.h"

namespace tk {
namespace {

// A top-down 24-bit DIB section; nullptr when the system has no room.
HBITMAP MakeDib(int width, int height, BYTE*& bits) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* memory = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &memory, nullptr, 0);
    if (dib && !memory) {
        DeleteObject(dib);
        dib = nullptr;
    }
    bits = static_cast<BYTE*>(memory);
    return dib;
}

}  // namespace

HBITMAP DecodePicture(const void* data, DWORD size) {
    if (!data || !size || size > 0x7FFFFFFF) return nullptr;
    int width = 0, height = 0, channels = 0;
    stbi_uc* rgb = stbi_load_from_memory(static_cast<const stbi_uc*>(data), static_cast<int>(size),
                                         &width, &height, &channels, 3);
    if (!rgb) return nullptr;
    BYTE* bits = nullptr;
    HBITMAP result = MakeDib(width, height, bits);
    if (result) {
        // Rows of a DIB are whole DWORDs, and its colours blue first.
        const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
        for (int y = 0; y < height; ++y) {
            const stbi_uc* from = rgb + static_cast<size_t>(y) * width * 3;
            BYTE* to = bits + y * stride;
            for (int x = 0; x < width; ++x, from += 3) {
                *to++ = from[2];
                *to++ = from[1];
                *to++ = from[0];
            }
        }
    }
    stbi_image_free(rgb);
    return result;
}

HBITMAP LoadPicture(HINSTANCE instance, int id) {
    if (!id) return nullptr;
    if (FindResourceW(instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(2) /*RT_BITMAP*/))
        return static_cast<HBITMAP>(
            LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10) /*RT_RCDATA*/);
    if (!found) return nullptr;
    return DecodePicture(LockResource(LoadResource(instance, found)),
                         SizeofResource(instance, found));
}

SIZE PictureSize(HBITMAP picture) {
    BITMAP info{};
    if (!picture || !GetObjectW(picture, sizeof info, &info)) return {0, 0};
    return {info.bmWidth, info.bmHeight < 0 ? -info.bmHeight : info.bmHeight};
}

}  // namespace tk
