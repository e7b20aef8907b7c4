/* Live-scanner interface of libbelnor (GA/T 626.1-2010 shape).
 *
 * Every export returns int: 1 on success, a negative LIVESCAN code on failure
 * (see LIVESCAN_GetErrorInfo). Buffers belong to the caller and are sized by it.
 */
#ifndef BELNOR_LIVESCAN_H
#define BELNOR_LIVESCAN_H

#define LIVESCAN_API __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Image conversions ------------------------------------------------
 * RawImage: width*height grey bytes, top row first, no padding.
 * BmpImage: 1078-byte header (file header, info header, grey palette), then
 * rows bottom-up, each zero-padded to a multiple of 4 bytes.
 */

/* RawImage -> 8-bit BmpImage. bmpSize must be at least 1078 + padded row
 * length * height. Width and height must exceed 3 and width*height must stay
 * below 2304*2304. */
LIVESCAN_API int LIVESCAN_RawToBmp(const unsigned char *raw, int width, int height,
                                   unsigned char *bmp, int bmpSize);

/* 8-bit BmpImage -> RawImage. The width field must be a multiple of 4.
 * Width and height are reported through the optional pointers before the
 * raw buffer is checked, so rawSize 0 asks for the size (result -2). */
LIVESCAN_API int LIVESCAN_BmpToRaw(const unsigned char *bmp, int bmpSize,
                                   unsigned char *raw, int rawSize,
                                   int *width, int *height);

/* Writes a RawImage, or an 8-bit BmpImage of the same width and height, as a
 * BMP file. format must not be negative and has no other effect.
 * -105 when the file cannot be written. */
LIVESCAN_API int LIVESCAN_SaveToFile(const unsigned char *image, int width, int height,
                                     const char *path, int format);

#ifdef __cplusplus
}
#endif

#endif
