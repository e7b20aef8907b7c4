// CTemplate: the 512-byte template of the FP interface, and the packing of the
// extractor's selection into the minutiae record it is made from.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cminutiae_record.h"
#include "minutiae_types.h"

namespace fplib {

constexpr size_t kTemplateSize = 512;
constexpr uint8_t kTemplateMagic = 'C';
constexpr int kUnsetPoint = 0xFFFF;  // reference coordinate above 0xFFFE: no point

// x1, y1, x2, y2; every caller presets all four to kUnsetPoint.
struct RefPoints {
  int x1 = kUnsetPoint, y1 = kUnsetPoint, x2 = kUnsetPoint, y2 = kUnsetPoint;
};

// Template quality 0..100 from a raw quality: round(3q / 7), half away from zero.
int templateQuality(int rawQuality);

// With a record: kind 1. Without: kind 2 when kindSelector <= 1, else kind 3
// (scanner byte 255). -1 for a null template, else 1.
int writeCTemplate(const RefPoints &refs, const uint8_t *record, int scannerCode, int fingerCode, uint8_t *tmpl,
                   int kindSelector);
uint8_t setTemplateCrc(const uint8_t *tmpl);
// 1, or -1 for a null pointer, a first byte other than 'C' or a zero count.
// The count is read as at most 100; the CRC is not checked.
int unpackCTemplate(const uint8_t *tmpl, uint8_t *record, int *count);

// Degrees 0..359 from 256 units; the sense of rotation is reversed.
int degreesFromAngle256(int angle);
// Stores the extractor's selection (kind 3, 7..100 minutiae inside the 256x360 image) into
// the record with the front end's quality; 0, or ALG_BAD_SIZE.
int packSelection(uint8_t *record, const minutiae::MinutiaeRecord &selection, int quality);

}  // namespace fplib
