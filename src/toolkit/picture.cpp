#include "toolkit/picture.h"

#include <ocidl.h>
#include <olectl.h>

#include <cstring>

namespace tk {
namespace {

bool IsJpeg(HINSTANCE instance, int id) {
    return id && FindResourceW(instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10) /*RT_RCDATA*/);
}

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

// Pictures decoded ahead by a second thread. Each slot's event is set once
// its picture is decoded (or failed to); the thread touches nothing else.
struct Prefetched {
    int id = 0;
    HBITMAP bitmap = nullptr;
    HANDLE done = nullptr;
};
constexpr int kMaxPrefetched = 32;
Prefetched prefetched[kMaxPrefetched];
int prefetchedCount = 0;
HINSTANCE prefetchInstance = nullptr;
HANDLE prefetcher = nullptr;

DWORD WINAPI PrefetchThread(void*) {
    // One apartment for all of them, not one each.
    HRESULT com = CoInitialize(nullptr);
    for (int i = 0; i < prefetchedCount; ++i) {
        prefetched[i].bitmap = DecodeJpeg(prefetchInstance, prefetched[i].id);
        SetEvent(prefetched[i].done);
    }
    if (SUCCEEDED(com)) CoUninitialize();
    // Loaded here, the library is ready when the first button wants it (the
    // program's manifest picks its version); after the pictures, because
    // while the main thread loads its own libraries it would only wait for
    // this one. It stays for the program's life.
    LoadLibraryW(L"comctl32.dll");
    return 0;
}

// A picture the second thread decoded, once it is ready; nullptr when it was
// not asked for or has been taken already.
HBITMAP TakePrefetched(int id) {
    for (int i = 0; i < prefetchedCount; ++i) {
        Prefetched& slot = prefetched[i];
        if (slot.id != id || !slot.done) continue;
        WaitForSingleObject(slot.done, INFINITE);
        CloseHandle(slot.done);
        slot.done = nullptr;
        HBITMAP bitmap = slot.bitmap;
        slot.bitmap = nullptr;
        return bitmap;
    }
    return nullptr;
}

}  // namespace

void PrefetchPictures(HINSTANCE instance, const int* ids, int count) {
    EndPrefetch();
    for (int i = 0; i < count && prefetchedCount < kMaxPrefetched; ++i) {
        if (!IsJpeg(instance, ids[i])) continue;
        HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!done) break;
        prefetched[prefetchedCount++] = {ids[i], nullptr, done};
    }
    if (!prefetchedCount) return;
    prefetchInstance = instance;
    prefetcher = CreateThread(nullptr, 0, PrefetchThread, nullptr, 0, nullptr);
    if (!prefetcher) EndPrefetch();  // no second thread: LoadPicture decodes them itself
}

void EndPrefetch() {
    if (prefetcher) {
        WaitForSingleObject(prefetcher, INFINITE);
        CloseHandle(prefetcher);
        prefetcher = nullptr;
    }
    for (int i = 0; i < prefetchedCount; ++i) {
        if (prefetched[i].bitmap) DeleteObject(prefetched[i].bitmap);
        if (prefetched[i].done) CloseHandle(prefetched[i].done);
        prefetched[i] = {};
    }
    prefetchedCount = 0;
}

HBITMAP LoadPicture(HINSTANCE instance, int id) {
    if (!id) return nullptr;
    if (HBITMAP ready = TakePrefetched(id)) return ready;
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
