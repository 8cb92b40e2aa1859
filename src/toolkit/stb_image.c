// The picture decoder, built for what the program carries: JPEG and GIF from
// memory, nothing else. Its interface is third_party/stb/stb_image.h.
#define STBI_ONLY_JPEG
#define STBI_ONLY_GIF
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_FAILURE_STRINGS
// Two threads may decode at once; nobody reads the failure reason they share.
#define STBI_NO_THREAD_LOCALS
#define STB_IMAGE_IMPLEMENTATION
#include "third_party/stb/stb_image.h"
