#include "toolkit/picture.h"

#include <ocidl.h>
#include <olectl.h>

#include <cstring>

namespace tk {
namespace {

HBITMAP DecodeJpeg(HINSTANCE instance, int id) {
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10) /*RT_RCDATA*/);
    if (!found) return nullptr;
    DWORD size = SizeofResource(instance, found);
    const void* data = LockResource(LoadResource(instance, found));
    if (!data || !size) return nullptr;

    HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!copy) return nullptr;
    std::memcpy(GlobalLock(copy), data, size);
    GlobalUnlock(copy);

    // Wine decodes through COM; Windows does not need it, but neither minds.
    HRESULT com = CoInitialize(nullptr);
    HBITMAP result = nullptr;
    IStream* stream = nullptr;
    if (SUCCEEDED(CreateStreamOnHGlobal(copy, TRUE, &stream))) {
        IPicture* picture = nullptr;
        if (SUCCEEDED(OleLoadPicture(stream, static_cast<LONG>(size), FALSE, IID_IPicture,
                                     reinterpret_cast<void**>(&picture)))) {
            OLE_HANDLE handle = 0;
            short type = PICTYPE_UNINITIALIZED;
            if (SUCCEEDED(picture->get_Type(&type)) && type == PICTYPE_BITMAP &&
                SUCCEEDED(picture->get_Handle(&handle)))
                // The picture object owns its bitmap; keep a copy of our own.
                result = static_cast<HBITMAP>(
                    CopyImage(reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle)),
                              IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
            picture->Release();
        }
        stream->Release();
    } else {
        GlobalFree(copy);
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return result;
}

}  // namespace

HBITMAP LoadPicture(HINSTANCE instance, int id) {
    if (!id) return nullptr;
    if (FindResourceW(instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(2) /*RT_BITMAP*/))
        return static_cast<HBITMAP>(
            LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    return DecodeJpeg(instance, id);
}

SIZE PictureSize(HBITMAP picture) {
    BITMAP info{};
    if (!picture || !GetObjectW(picture, sizeof info, &info)) return {0, 0};
    return {info.bmWidth, info.bmHeight < 0 ? -info.bmHeight : info.bmHeight};
}

}  // namespace tk
