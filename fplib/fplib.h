/* libminutia: fingerprint templates, matching, quality and compression for
   8-bit grey images of 256 x 360 pixels (rows top first, 92160 bytes).
   Step log: each line goes to standard output and is appended to the file "d:\vantrel.txt" in the working directory.
   Matching and extraction may run on several threads at once; FP_End while any call still runs is the host's to avoid. */
#ifndef FPLIB_FPLIB_H
#define FPLIB_FPLIB_H

#define FP_API __attribute__((visibility("default")))

#define FP_OK 1
#define FP_ERR_PARAM (-1)
/* Out of memory: FP_FeatureExtract (the template then holds the no-feature
   template), FP_GetQualityScore and FP_GetQualityScore2 (quality 0), and the
   WSQ calls. */
#define FP_ERR_MEMORY (-2)
#define FP_ERR_FAIL (-9)
#define FP_ERR_TEMPLATE (-102)

#define FP_IMAGE_WIDTH 256
#define FP_IMAGE_HEIGHT 360
#define FP_IMAGE_SIZE 92160
#define FP_TEMPLATE_SIZE 512
#define FP_COMPRESSED_SIZE 20480

#ifdef __cplusplus
extern "C" {
#endif

/* Called during extraction with the image and its quality 0..100; a value
   written back becomes the extraction's quality. */
typedef void (*OnGetQualityScore)(unsigned char *image, unsigned char *quality);

FP_API int FP_GetVersion(char *version);
FP_API int FP_Begin(void);
FP_API int FP_End(void);
FP_API int FP_FeatureExtract(int scannerCode, int fingerCode, unsigned char *image, unsigned char *tmpl);
/* Returns 1 with score 0..1; FP_ERR_MEMORY with score 0 when memory runs out. */
FP_API int FP_FeatureMatch(unsigned char *tmpl1, unsigned char *tmpl2, float *score);
/* FP_FeatureMatch of tmpl against the template extracted from image. An
   image without features (uniform grey, noise) gives the no-feature template,
   whose match answers -1 with score 0. FP_ERR_FAIL before FP_Begin or for an
   image that FP_FeatureExtract refuses (one that starts like a BMP file);
   FP_ERR_MEMORY with score 0 when memory runs out, in the extraction as in
   the match. */
FP_API int FP_ImageMatch(unsigned char *image, unsigned char *tmpl, float *score);
/* Tells a BMP file from a raw image by its first bytes: a raw image that starts like an 8-bit BMP header is read as one. */
FP_API int FP_GetQualityScore(unsigned char *image, unsigned char *quality);
FP_API int FP_GetQualityScore2(unsigned char *image, unsigned char *quality);
FP_API int FP_SetOnGetQualityScore(OnGetQualityScore callback);
FP_API int FP_Compress(int scannerCode, int kind, int fingerCode, unsigned char *image, int ratio,
                       unsigned char *out, char *message);
FP_API int FP_Decompress(unsigned char *in, unsigned char *image, char *message);
FP_API int FP_GenFeatureFromEmpty1(int scannerCode, int fingerCode, unsigned char *tmpl);
FP_API int FP_GenFeatureFromEmpty2(int fingerCode, unsigned char *tmpl);

#ifdef __cplusplus
}
#endif

#endif
