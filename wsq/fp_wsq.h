// The codec's adapters with small result codes, as the libraries call it.
#pragma once

#include <cstdint>

// 1 copied (*capacity := length), 2 bad arguments, 4 encoder failed,
// 5 stream longer than *capacity (nothing copied). depth 8, ppi 500.
int fp_wsq_encode(const uint8_t *pixels, int pixelCount, int width, int height, uint8_t *out, int *capacity,
                  float bitRate);
// Header-only query: 0, or -1 on any decoder failure.
int fp_wsq_info(const uint8_t *stream, int length, int *width, int *height, int *ppi);
// 1 copied width*height bytes, 2 decoder failure, 3 capacity below width*height.
int fp_wsq_decode(const uint8_t *stream, int length, uint8_t *out, int capacity);
// As fp_wsq_decode, also reporting the size; out may be NULL (size only).
int fp_wsq_decode_dims(const uint8_t *stream, int length, uint8_t *out, int capacity, int *width, int *height);
