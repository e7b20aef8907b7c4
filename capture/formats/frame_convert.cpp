#include "frame_convert.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>

namespace belnor {

// Inverts and/or turns the frame upside down in place, in one pass.
void InvertAndFlip(uint8_t* image, int width, int height, bool invert, bool flip) {
  const size_t w = static_cast<size_t>(width);
  if (flip) {
    for (int top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
      uint8_t* a = image + static_cast<size_t>(top) * w;
      uint8_t* b = image + static_cast<size_t>(bottom) * w;
      if (invert) {
        for (size_t x = 0; x < w; ++x) {
          const uint8_t t = a[x];
          a[x] = static_cast<uint8_t>(~b[x]);
          b[x] = static_cast<uint8_t>(~t);
        }
      } else {
        std::swap_ranges(a, a + w, b);
      }
    }
    if (invert && height % 2 == 1) {
      uint8_t* middle = image + static_cast<size_t>(height / 2) * w;
      for (size_t x = 0; x < w; ++x) middle[x] = static_cast<uint8_t>(~middle[x]);
    }
  } else if (invert) {
    const size_t n = w * static_cast<size_t>(height);
    for (size_t i = 0; i < n; ++i) image[i] = static_cast<uint8_t>(~image[i]);
  }
}

void MirrorRows(uint8_t* image, int width, int height) {
  for (int y = 0; y < height; ++y) {
    uint8_t* row = image + static_cast<size_t>(y) * static_cast<size_t>(width);
    std::reverse(row, row + width);
  }
}

bool YuyvToGrey(const uint8_t* yuyv, size_t bytes, int width, int height, uint8_t* grey) {
  if (!yuyv || !grey || width <= 0 || height <= 0) return false;
  const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
  if (bytes / 2 < pixels) return false;
  for (size_t i = 0; i < pixels; ++i) grey[i] = yuyv[2 * i];
  return true;
}

namespace {

// The typical Huffman tables of the JPEG standard (Annex K.3). Motion-JPEG
// cameras usually leave them out of their frames.
const uint8_t kDcLumaBits[17] = {0, 0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
const uint8_t kDcChromaBits[17] = {0, 0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0};
const uint8_t kDcValues[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};

const uint8_t kAcLumaBits[17] = {0, 0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d};
const uint8_t kAcLumaValues[162] = {
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61,
    0x07, 0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52,
    0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25,
    0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45,
    0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64,
    0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83,
    0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99,
    0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6,
    0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3,
    0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8,
    0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};

const uint8_t kAcChromaBits[17] = {0, 0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77};
const uint8_t kAcChromaValues[162] = {
    0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61,
    0x71, 0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33,
    0x52, 0xf0, 0x15, 0x62, 0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18,
    0x19, 0x1a, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44,
    0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63,
    0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a,
    0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97,
    0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4,
    0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca,
    0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7,
    0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};

void SetMissingTable(j_decompress_ptr cinfo, JHUFF_TBL** slot, const uint8_t* bits,
                     const uint8_t* values, size_t count) {
  if (*slot) return;
  JHUFF_TBL* table = jpeg_alloc_huff_table(reinterpret_cast<j_common_ptr>(cinfo));
  std::memcpy(table->bits, bits, 17);
  std::memcpy(table->huffval, values, count);
  table->sent_table = FALSE;
  *slot = table;
}

void InsertStandardHuffmanTables(j_decompress_ptr cinfo) {
  SetMissingTable(cinfo, &cinfo->dc_huff_tbl_ptrs[0], kDcLumaBits, kDcValues, sizeof kDcValues);
  SetMissingTable(cinfo, &cinfo->dc_huff_tbl_ptrs[1], kDcChromaBits, kDcValues, sizeof kDcValues);
  SetMissingTable(cinfo, &cinfo->ac_huff_tbl_ptrs[0], kAcLumaBits, kAcLumaValues,
                  sizeof kAcLumaValues);
  SetMissingTable(cinfo, &cinfo->ac_huff_tbl_ptrs[1], kAcChromaBits, kAcChromaValues,
                  sizeof kAcChromaValues);
}

struct DecodeErrors {
  jpeg_error_mgr manager;
  std::jmp_buf escape;
};

[[noreturn]] void OnDecodeError(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<DecodeErrors*>(cinfo->err)->escape, 1);
}

// Warnings mean corrupt or missing data: count them, print nothing. Stray
// bytes between segments, which many cameras leave, do not harm the picture.
void OnDecodeMessage(j_common_ptr cinfo, int level) {
  if (level < 0 && cinfo->err->msg_code != JWRN_EXTRANEOUS_DATA) cinfo->err->num_warnings++;
}

// The part that libjpeg may leave by longjmp; it holds no objects with
// destructors.
bool Decode(jpeg_decompress_struct* cinfo, const uint8_t* jpeg, size_t bytes, int width,
            int height, uint8_t* grey, bool bottomUp) {
  jpeg_mem_src(cinfo, jpeg, static_cast<unsigned long>(bytes));
  if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK) return false;
  if (cinfo->image_width != static_cast<JDIMENSION>(width) ||
      cinfo->image_height != static_cast<JDIMENSION>(height))
    return false;
  InsertStandardHuffmanTables(cinfo);
  cinfo->out_color_space = JCS_GRAYSCALE;
  if (!jpeg_start_decompress(cinfo)) return false;
  if (cinfo->output_width != static_cast<JDIMENSION>(width) ||
      cinfo->output_height != static_cast<JDIMENSION>(height) || cinfo->output_components != 1)
    return false;
  // Several rows per call: the decoder produces whole blocks of rows.
  constexpr JDIMENSION kRowsPerCall = 16;
  JSAMPROW lines[kRowsPerCall];
  while (cinfo->output_scanline < cinfo->output_height) {
    const JDIMENSION first = cinfo->output_scanline;
    const JDIMENSION count = std::min(kRowsPerCall, cinfo->output_height - first);
    for (JDIMENSION i = 0; i < count; ++i) {
      const size_t row = first + i;
      const size_t target = bottomUp ? static_cast<size_t>(height) - 1 - row : row;
      lines[i] = grey + target * static_cast<size_t>(width);
    }
    if (jpeg_read_scanlines(cinfo, lines, count) == 0) return false;
  }
  jpeg_finish_decompress(cinfo);
  return cinfo->err->num_warnings == 0;
}

}  // namespace

bool MjpegToGrey(const uint8_t* jpeg, size_t bytes, int width, int height, uint8_t* grey,
                 bool bottomUp) {
  if (!jpeg || !grey || bytes < 4 || width <= 0 || height <= 0) return false;
  jpeg_decompress_struct cinfo;
  DecodeErrors errors;
  cinfo.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = OnDecodeError;
  errors.manager.emit_message = OnDecodeMessage;
  jpeg_create_decompress(&cinfo);
  volatile bool ok = false;
  if (setjmp(errors.escape) == 0) ok = Decode(&cinfo, jpeg, bytes, width, height, grey, bottomUp);
  jpeg_destroy_decompress(&cinfo);
  return ok;
}

}  // namespace belnor
