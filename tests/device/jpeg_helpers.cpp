#include "jpeg_helpers.h"

#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace belnor_test {

std::vector<uint8_t> EncodeJpeg(const std::vector<uint8_t>& grey, int width, int height,
                                bool colour, int quality) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &out, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = colour ? 3 : 1;
  cinfo.in_color_space = colour ? JCS_YCbCr : JCS_GRAYSCALE;
  jpeg_set_defaults(&cinfo);
  if (colour) {
    jpeg_set_colorspace(&cinfo, JCS_YCbCr);
    cinfo.comp_info[0].h_samp_factor = 2;
    cinfo.comp_info[0].v_samp_factor = 1;
  }
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<uint8_t> row(static_cast<size_t>(width) * (colour ? 3 : 1));
  while (cinfo.next_scanline < cinfo.image_height) {
    const uint8_t* src = grey.data() + static_cast<size_t>(cinfo.next_scanline) * width;
    if (colour) {
      for (int x = 0; x < width; ++x) {
        row[3 * x] = src[x];
        row[3 * x + 1] = 128;
        row[3 * x + 2] = 128;
      }
    } else {
      std::copy(src, src + width, row.begin());
    }
    JSAMPROW line = row.data();
    jpeg_write_scanlines(&cinfo, &line, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::vector<uint8_t> result(out, out + size);
  std::free(out);
  return result;
}

std::vector<uint8_t> StripHuffmanTables(const std::vector<uint8_t>& jpeg) {
  std::vector<uint8_t> out(jpeg.begin(), jpeg.begin() + 2);  // SOI
  size_t at = 2;
  while (at + 4 <= jpeg.size()) {
    const uint8_t marker = jpeg[at + 1];
    if (marker == 0xDA) break;  // scan data follows: keep the rest
    const size_t length = (static_cast<size_t>(jpeg[at + 2]) << 8) | jpeg[at + 3];
    if (marker != 0xC4) out.insert(out.end(), jpeg.begin() + at, jpeg.begin() + at + 2 + length);
    at += 2 + length;
  }
  out.insert(out.end(), jpeg.begin() + at, jpeg.end());
  return out;
}

std::vector<uint8_t> Gradient(int width, int height) {
  std::vector<uint8_t> image(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      image[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>((x * 255) / width / 2 + (y * 255) / height / 2);
  return image;
}

}  // namespace belnor_test
