// The picture decoder, built for what the program carries: JPEG from memory,
// nothing else. Its interface is third_party/stb/stb_image.h.
#include <windows.h>
#include <string.h>

// Its working memory comes from the system one block at a time and goes back
// whole, instead of staying committed in the C library's heap after start-up.
static void* DecoderAlloc(size_t size) {
    return VirtualAlloc(NULL, size ? size : 1, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}
static void DecoderFree(void* block) {
    if (block) VirtualFree(block, 0, MEM_RELEASE);
}
#define STBI_MALLOC(size) DecoderAlloc(size)
#define STBI_FREE(block) DecoderFree(block)
// The JPEG decoder never grows a block; the decoder's interface asks for one.
#define STBI_REALLOC_SIZED(block, oldSize, newSize) \
    ((void)(block), (void)(oldSize), (void)(newSize), (void*)0)

#define STBI_ONLY_JPEG
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_FAILURE_STRINGS
// Nobody reads the failure reason; kept per thread it would need the
// thread-local emulation.
#define STBI_NO_THREAD_LOCALS
#define STB_IMAGE_IMPLEMENTATION
#include "third_party/stb/stb_image.h"
