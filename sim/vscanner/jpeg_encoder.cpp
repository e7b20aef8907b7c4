#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

#include "frame_renderer.h"

namespace vscanner {

namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

void OnJpegError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

} // namespace

bool EncodeJpeg(const uint8_t* grey, int width, int height, int quality, std::vector<uint8_t>* out) {
    jpeg_compress_struct info;
    ErrorManager error;
    info.err = jpeg_std_error(&error.base);
    error.base.error_exit = OnJpegError;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&info);
        std::free(buffer);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = 1;
    info.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    info.dct_method = JDCT_ISLOW;
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(grey + size_t(height - 1 - info.next_scanline) * size_t(width));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    out->insert(out->end(), buffer, buffer + size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return true;
}

} // namespace vscanner
