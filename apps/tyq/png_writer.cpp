#include "png_writer.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>

#include "output_file.h"

namespace tyq_tool {

namespace {

// libpng reports failures by longjmp; nothing with a destructor lives
// between the setjmp and the calls that may jump.
// libpng's own line on standard error would come before ours and say less.
void quietFailure(png_structp png, png_const_charp) {
  png_longjmp(png, 1);
}

bool encode(std::FILE* file, int width, int height, const std::vector<uint8_t>& rgb) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, quietFailure, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) {
    png_write_row(png, rgb.data() + static_cast<size_t>(y) * width * 3);
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool writePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb,
              std::string& error) {
  OutputFile output(path);
  std::FILE* file = output.open(error);
  if (!file) return false;
  errno = 0;
  if (!encode(file, width, height, rgb)) {
    // The failed write through stdio leaves the system's reason in errno.
    const int err = errno;
    error =
        "unable to write " + path + (err != 0 ? " (" + std::string(std::strerror(err)) + ")" : "");
    return false;
  }
  return output.commit(error);
}

}  // namespace tyq_tool
