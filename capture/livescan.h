/* Live-scanner interface of libbelnor (GA/T 626.1-2010 shape).
 *
 * Every export returns int: 1 on success, a negative LIVESCAN code on failure
 * (see LIVESCAN_GetErrorInfo). Buffers belong to the caller and are sized by it.
 * Nothing is thrown across the interface: running out of memory gives -2
 * (Init, SetImgAttr, GetFPBmpData, GetPreviewData, SaveToFile), or the
 * export's own failure result.
 */
#ifndef BELNOR_LIVESCAN_H
#define BELNOR_LIVESCAN_H

#define LIVESCAN_API __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Records passed across the interface ------------------------------ */

#pragma pack(push, 1)
/* Image attributes: 10 bytes, no padding (WB is unaligned), passed by value. */
typedef struct ImgAttr {
  unsigned char bAutoAdjust; /* automatic brightness/contrast tracking */
  unsigned char bClearBk;    /* clear the background around the finger */
  unsigned char bAutoPos;    /* automatic window placement */
  unsigned char Bright;      /* 0..255 */
  unsigned char Contrast;    /* 0..255 */
  unsigned short WB;         /* white balance, 2800..6500 kelvin (0 in a stored
                                record: automatic) */
  unsigned char Gain;        /* 1..16 */
  signed char Exposure;      /* power of two, -10..-5 */
  unsigned char Gamma;       /* 0..255 */
} ImgAttr;

/* Product information as stored in the scanner (24 bytes). */
typedef struct ProductInfo {
  char Serial[16]; /* letters and digits, not zero-terminated */
  unsigned short Year;
  unsigned char Month;
  unsigned char Day;
  unsigned short Operater;
  unsigned short Reserved;
} ProductInfo;
#pragma pack(pop)

/* ---- Device life ------------------------------------------------------
 * One scanner per process. Init opens it and streams until Close.
 */

/* Opens the scanner chosen with LIVESCAN_SetActiveDev (-1: the first found).
 * 1, or -4 (no device / open failed), -102 (access refused), -107 (no frame
 * within 3 s; the library stays open and may deliver frames later).
 * libuvc 0.0.6 prints "attempt to claim already-claimed interface 1" on
 * standard error whenever streaming starts: its stream negotiation and its
 * stream start each claim the streaming interface for themselves. The
 * interface is claimed from the USB device once; the line is harmless. */
LIVESCAN_API int LIVESCAN_Init(void);

/* As LIVESCAN_Init with an explicit device index (-1..8); 1 at once when open.
 * A call made while another thread's init runs waits for it and returns its
 * result. */
LIVESCAN_API int LIVESCAN_InitEx(int index);

/* Switches the scanner off and releases it. Always 1. A host that exits or
 * unloads the library without it is closed then. Fetches on other threads,
 * the one waiting for a frame and those waiting for their turn, give up with
 * -5, and so do fetches called while Close runs.
 * Init, Close, the fetches and LIVESCAN_SetCaptWindow use the scanner one
 * at a time, in the order they were called. */
LIVESCAN_API int LIVESCAN_Close(void);

/* Number of attached scanners of the supported models. */
LIVESCAN_API int LIVESCAN_GetDevCount(void);

/* Chooses the device index LIVESCAN_Init opens: -1..8, only while closed (-7). */
LIVESCAN_API int LIVESCAN_SetActiveDev(int index);

/* Channel 0..8. They start and stop nothing: the scanner streams from Init. */
LIVESCAN_API int LIVESCAN_BeginCapture(int channel);
LIVESCAN_API int LIVESCAN_EndCapture(int channel);

/* One processed frame of the capture window, of the size LIVESCAN_GetCaptWindow
 * reports (width*height bytes, RawImage), whatever size was asked for.
 * raw must hold the frame of the window in force at the call. Fetches take
 * turns with window changes: when another thread has set a window before
 * this fetch's turn, the frame is of that window if it needs no more bytes,
 * and otherwise nothing is written and the result is -101 at once.
 * -1 (null buffer, channel), -5 (not open, or closed meanwhile), -101 (no
 * frame): each request for a frame waits up to 3 s, and requests are repeated
 * until 2 s have passed since the call (time spent waiting for the calls
 * before it included), so a scanner that sends nothing gives -101 after about
 * 3 s of its turn, 5 s at most. */
LIVESCAN_API int LIVESCAN_GetFPRawData(int channel, unsigned char *raw);

/* One frame as an 8-bit BmpImage of 1078 + padded row length * height bytes.
 * A window of 256 x 256 up to 399 x 399 comes whole (result 1); one larger
 * than 399 in either dimension is cut to 400 x 400 around the finger (3, or
 * 2 when no finger was found). -1 for a window that gives no BMP: one
 * narrower or lower than 256, or one whose 400 x 400 cut does not fit it.
 * bmp must hold the BMP of the window in force at the call; as with
 * LIVESCAN_GetFPRawData, a window set since then whose BMP is larger is not
 * written (-101 at once), and a BMP that fits is of the new window.
 * -5 (not open), or the fetch's error. */
LIVESCAN_API int LIVESCAN_GetFPBmpData(int channel, unsigned char *bmp);

/* Type 5 only (-3 otherwise), with a 1600 x 1500 window (-101 otherwise):
 * one frame halved to 800 x 750, each pixel the mean of a 2 x 2 block. */
LIVESCAN_API int LIVESCAN_GetPreviewData(int channel, unsigned char *buffer);

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
 * Which of the two it is, is told by the first bytes alone: a RawImage that
 * starts with a matching 8-bit BMP header is taken as a BmpImage.
 * -105 when the file cannot be written. */
LIVESCAN_API int LIVESCAN_SaveToFile(const unsigned char *image, int width, int height,
                                     const char *path, int format);

/* ---- Interface texts and capabilities -------------------------------- */

/* Copies the (Chinese) text of a result code into text, which must hold
 * 256 bytes. Unknown codes give the text of -6 and the result -6. */
LIVESCAN_API int LIVESCAN_GetErrorInfo(int code, char *text);
/* Interface version: 100. */
LIVESCAN_API int LIVESCAN_GetVersion(void);
/* Writes "QX7.00" with its terminating zero (7 bytes). */
LIVESCAN_API int LIVESCAN_Get_Version(char *text);
/* Writes the 80-byte description text; a null pointer is accepted. */
LIVESCAN_API int LIVESCAN_GetDesc(char *text);
LIVESCAN_API int LIVESCAN_IsSupportCaptWindow(int channel);
LIVESCAN_API int LIVESCAN_IsSupportSetup(void);
LIVESCAN_API int LIVESCAN_Setup(void);
LIVESCAN_API int LIVESCAN_GetChannelCount(void);
LIVESCAN_API int LIVESCAN_IsSupportPreview(void);
LIVESCAN_API int LIVESCAN_GetPreviewImageSize(int channel, int *width, int *height);

/* ---- Capture window -------------------------------------------------- */

LIVESCAN_API int LIVESCAN_GetMaxImageSize(int channel, int *width, int *height);
LIVESCAN_API int LIVESCAN_GetCaptWindow(int channel, int *x, int *y, int *width, int *height);
/* -1 for a window the scanner cannot deliver at that size and origin, or
 * one beyond the corrected image of the scanner's calibration. Type 2 has
 * one window, 256 x 360, for any request of at least that size (-1 below
 * it), or the 1280 x 720 sensor frame when exactly that is asked for; frames
 * then have the size LIVESCAN_GetCaptWindow reports, not the size asked. */
LIVESCAN_API int LIVESCAN_SetCaptWindow(int channel, int x, int y, int width, int height);

/* ---- Image attributes ------------------------------------------------ */

LIVESCAN_API int LIVESCAN_SetBright(int channel, int value);
LIVESCAN_API int LIVESCAN_SetContrast(int channel, int value);
LIVESCAN_API int LIVESCAN_GetBright(int channel, int *value);
LIVESCAN_API int LIVESCAN_GetContrast(int channel, int *value);
/* bSave stores the attributes in the scanner's flash; -3 for a scanner
 * without a flash write path. */
LIVESCAN_API int LIVESCAN_SetImgAttr(int channel, int bSave, ImgAttr attr);
/* bStored reads the stored record (repaired with defaults) instead of the
 * camera. */
LIVESCAN_API int LIVESCAN_GetImgAttr(int channel, ImgAttr *attr, int bStored);

/* ---- Scanner records and lamps --------------------------------------- */

/* 1 with the product information, -101 when no valid serial is stored.
 * Works before initialisation too (opens the scanner briefly). */
LIVESCAN_API int LIVESCAN_GetProductInfo(int channel, ProductInfo *info);
/* 1 when the serial is valid, else 0. */
LIVESCAN_API int CAM_GetProductInfo(ProductInfo *info, int unused);
/* Reads length bytes of the vendor flash area at address. */
LIVESCAN_API int ReadVendorData(int channel, void *buffer, unsigned address, unsigned length);
/* Size of the user area in bytes. */
LIVESCAN_API int LIVESCAN_GetUserSpace(void);
/* Finger-position lamps 0..2: read != 0 reads them into lamps, else sets
 * them from lamps (non-zero = on). */
LIVESCAN_API int LIVESCAN_AccessLamp(int channel, unsigned char *lamps, int read);

/* ---- Minutiae templates ----------------------------------------------- */

/* Extracts an FTemplate (at most 606 bytes; feature must hold that many)
 * from an 8-bit BMP of 256..640 x 360..640 pixels (extraction itself takes
 * widths 256, 400, 640 and heights 360, 400, 640). bmpSize must cover the
 * 1078-byte header and width x height pixel bytes (rows without padding).
 * Returns the template quality 0..100; 0 also when nothing was written;
 * -2 when memory ran out. */
LIVESCAN_API int LIVESCAN_FeatureExtractMem(const unsigned char *bmp, int bmpSize,
                                            unsigned char *feature);
/* Compares two FTemplates (each buffer must hold 606 bytes; only the first
 * byte and the count are checked). score gets 0..1. Returns 1, or -1 for a
 * null pointer or a template not starting with 'F', or -2 (score 0) when
 * memory ran out.
 * Scores saturate: every raw score of 615 and above gives 1.0.
 * Two templates that both hold 10 or fewer minutiae score 0, even alike. */
LIVESCAN_API int LIVESCAN_FeatureMatchMem(const unsigned char *feature1,
                                          const unsigned char *feature2, float *score);

#ifdef __cplusplus
}
#endif

#endif
