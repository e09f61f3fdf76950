// The code of the stb libraries the plots use (Debian's libstb-dev): TrueType rasterizing and the
// PNG writer, compiled once here.
#define STB_TRUETYPE_IMPLEMENTATION
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>
#include <stb/stb_truetype.h>
