// Markers, table records and the per-stream decoding context of WSQ streams.
#pragma once

#include <cstdint>
#include <vector>

namespace wsq {

constexpr uint16_t SOI_WSQ = 0xFFA0;
constexpr uint16_t EOI_WSQ = 0xFFA1;
constexpr uint16_t SOF_WSQ = 0xFFA2;
constexpr uint16_t SOB_WSQ = 0xFFA3;
constexpr uint16_t DTT_WSQ = 0xFFA4;
constexpr uint16_t DQT_WSQ = 0xFFA5;
constexpr uint16_t DHT_WSQ = 0xFFA6;
constexpr uint16_t COM_WSQ = 0xFFA8;

// Marker classes of getc_marker_wsq.
enum MarkerClass { kSoiClass = 0, kTblsNSof = 1, kTblsNSob = 2, kAnyWsq = 3 };

constexpr int kNumSubbands = 64;
constexpr int kCodedSubbands = 60;
constexpr int kHuffSlots = 8;
constexpr int kMaxHuffBits = 16;
constexpr int kMaxHuffCounts = 256;             // code points of real symbols
constexpr int kMaxHuffValues = kMaxHuffCounts + 1;  // plus the reserved one
constexpr int kMaxFilterTaps = 255;

// Decoder side of a DTT: the synthesis filters built from the analysis taps.
struct TransformTable {
  std::vector<float> lofilt;  // synthesis low-pass
  std::vector<float> hifilt;  // synthesis high-pass
  bool loDefined = false;
  bool hiDefined = false;
};

struct QuantizationTable {
  float binCenter = 0.0f;
  float q[kNumSubbands] = {};
  float z[kNumSubbands] = {};
  bool defined = false;
};

struct HuffmanSlot {
  bool defined = false;
  uint8_t bits[kMaxHuffBits] = {};  // number of codes of lengths 1..16
  uint8_t values[kMaxHuffValues + 1] = {};
  int numValues = 0;
};

struct FrameHeader {
  uint8_t black = 0;
  uint8_t white = 0;
  uint16_t width = 0;
  uint16_t height = 0;
  float mShift = 0.0f;
  float rScale = 0.0f;
  uint8_t wsqEncoder = 0;
  uint16_t software = 0;
};

// Encoder side of the bit allocation and the quantiser.
struct QuantizerParams {
  float r = 0.0f;                   // target bit rate, bits per pixel
  float qbss[kNumSubbands] = {};    // relative steps q_k
  float q[kNumSubbands] = {};
  float z[kNumSubbands] = {};
  float var[kNumSubbands] = {};
};

// Everything one stream defines; a fresh one per decode or query, so a
// stream can never use another stream's tables.
struct DecodeContext {
  TransformTable dtt;
  QuantizationTable dqt;
  HuffmanSlot huff[kHuffSlots];
  FrameHeader frame;
};

}  // namespace wsq
