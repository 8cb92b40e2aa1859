#include "toolkit/picture.h"

// Decoded in the process (stb_image.c), not by the system's OLE picture
// loader, whose codec library stays resident and private once it has run.
#define STBI_NO_STDIO
#include "third_party/stb/stb_image.h"

namespace tk {
namespace {

// The colours of a picture that has 256 or fewer, each with its index.
class Palette {
public:
    // False once a 257th colour turns up.
    bool Add(const stbi_uc* rgb) {
        size_t slot = Find(rgb);
        if (used_[slot]) return true;
        if (count_ == 256) return false;
        used_[slot] = true;
        keys_[slot] = Key(rgb);
        index_[slot] = static_cast<BYTE>(count_);
        colours_[count_++] = {rgb[2], rgb[1], rgb[0], 0};
        return true;
    }
    BYTE IndexOf(const stbi_uc* rgb) const { return index_[Find(rgb)]; }
    const RGBQUAD* Colours() const { return colours_; }
    int Count() const { return count_; }

private:
    static constexpr size_t kSlots = 1024;  // never more than a quarter full
    static DWORD Key(const stbi_uc* rgb) { return rgb[0] << 16 | rgb[1] << 8 | rgb[2]; }
    size_t Find(const stbi_uc* rgb) const {
        const DWORD key = Key(rgb);
        size_t slot = (key * 2654435761u) % kSlots;
        while (used_[slot] && keys_[slot] != key) slot = (slot + 1) % kSlots;
        return slot;
    }

    DWORD keys_[kSlots];
    BYTE index_[kSlots];
    bool used_[kSlots] = {};
    RGBQUAD colours_[256];
    int count_ = 0;
};

// A top-down DIB section with `palette`'s colours (8 bits a pixel) or none
// (24); nullptr when the system has no room.
HBITMAP MakeDib(int width, int height, const Palette* palette, BYTE*& bits) {
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[256];
    } info{};
    info.header = {sizeof info.header, width, -height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    if (palette) {
        info.header.biBitCount = 8;
        info.header.biClrUsed = static_cast<DWORD>(palette->Count());
        for (int i = 0; i < palette->Count(); ++i) info.colours[i] = palette->Colours()[i];
    }
    void* memory = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                   &memory, nullptr, 0);
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
    // The lettered faces keep their palette, as a third of the memory; the
    // screen shows the same colours.
    Palette palette;
    bool paletted = true;
    const size_t count = static_cast<size_t>(width) * height;
    for (size_t i = 0; i < count && paletted; ++i) paletted = palette.Add(rgb + i * 3);
    BYTE* bits = nullptr;
    HBITMAP result = MakeDib(width, height, paletted ? &palette : nullptr, bits);
    if (result) {
        // Rows of a DIB are whole DWORDs, and its colours blue first.
        const size_t rowBytes = static_cast<size_t>(width) * (paletted ? 1 : 3);
        const size_t stride = (rowBytes + 3) & ~size_t{3};
        for (int y = 0; y < height; ++y) {
            const stbi_uc* from = rgb + static_cast<size_t>(y) * width * 3;
            BYTE* to = bits + y * stride;
            for (int x = 0; x < width; ++x, from += 3) {
                if (paletted) {
                    *to++ = palette.IndexOf(from);
                } else {
                    *to++ = from[2];
                    *to++ = from[1];
                    *to++ = from[0];
                }
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
