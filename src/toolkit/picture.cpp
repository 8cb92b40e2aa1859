#include "toolkit/picture.h"


// Decoded in the process (stb_image.c), not by the system's OLE picture
// loader, whose codec library stays resident and private once it has run.
#define STBI_NO_STDIO
#include "third_party/stb/stb_image.h"

namespace tk {

HBITMAP DecodePicture(const void* data, DWORD size) {
    if (!data || !size || size > 0x7FFFFFFF) return nullptr;
    int width = 0, height = 0, channels = 0;
    stbi_uc* rgb = stbi_load_from_memory(static_cast<const stbi_uc*>(data), static_cast<int>(size),
                                         &width, &height, &channels, 3);
    if (!rgb) return nullptr;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP result = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (result && bits) {
        // Rows of a DIB are whole DWORDs, and its pixels blue first.
        const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
        for (int y = 0; y < height; ++y) {
            const stbi_uc* from = rgb + static_cast<size_t>(y) * width * 3;
            BYTE* to = static_cast<BYTE*>(bits) + y * stride;
            for (int x = 0; x < width; ++x, from += 3, to += 3) {
                to[0] = from[2];
                to[1] = from[1];
                to[2] = from[0];
            }
        }
    }
    stbi_image_free(rgb);
    return result;
}

namespace {

bool IsEncoded(HINSTANCE instance, int id) {
    return id && FindResourceW(instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10) /*RT_RCDATA*/);
}

HBITMAP DecodeResource(HINSTANCE instance, int id) {
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10) /*RT_RCDATA*/);
    if (!found) return nullptr;
    DWORD size = SizeofResource(instance, found);
    const void* data = LockResource(LoadResource(instance, found));
    return data ? DecodePicture(data, size) : nullptr;
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
    for (int i = 0; i < prefetchedCount; ++i) {
        prefetched[i].bitmap = DecodeResource(prefetchInstance, prefetched[i].id);
        SetEvent(prefetched[i].done);
    }
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
        if (!IsEncoded(instance, ids[i])) continue;
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
    return DecodeResource(instance, id);
}

SIZE PictureSize(HBITMAP picture) {
    BITMAP info{};
    if (!picture || !GetObjectW(picture, sizeof info, &info)) return {0, 0};
    return {info.bmWidth, info.bmHeight < 0 ? -info.bmHeight : info.bmHeight};
}

}  // namespace tk
