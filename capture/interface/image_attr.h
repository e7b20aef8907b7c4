// Image attribute calls used inside the library (the device spine applies the
// stored settings at init; the frame pipeline steps brightness and contrast).
#pragma once

#include "livescan.h"
#include "settings_record.h"

// Applies (and with bSave stores) an attribute set.
extern "C" int LIVESCAN_SetImgAttr(int channel, int bSave, ImgAttr attr);

namespace belnor {

// The camera-control routines behind LIVESCAN_SetImgAttr/GetImgAttr: the
// LIVESCAN code of the camera's answer; -5 without a device, -1 for a bad
// channel or value.
int SetGainAttr(int channel, int gain);
int GetGainAttr(int channel, int* gain);
int SetExposureAttr(int channel, int exposure);  // accepts -10..-2
int GetExposureAttr(int channel, int* exposure);  // fails on an exposure of 0
int SetGammaAttr(int channel, int gamma);
int GetGammaAttr(int channel, int* gamma);

// g_Settings as a whole, under the attribute lock.
SettingsRecord LoadSettings();
void StoreSettings(const SettingsRecord& settings);

// Applies the attributes of a stored record that init accepted, as
// LIVESCAN_SetImgAttr does without saving, whatever its WB: WB is only kept,
// never sent, and init has already given the camera its white balance (0 is
// automatic). The same refusals otherwise.
int ApplyStoredImgAttr(const ImgAttr& attr);

// The attribute switches the frame worker reads every frame, kept apart
// from g_ImgAttr so that reading them never waits: refreshed by
// LIVESCAN_SetImgAttr and at init.
constexpr unsigned kAttrAutoAdjust = 1, kAttrClearBackground = 2, kAttrAutoPosition = 4;
void PublishAttrFlags(const ImgAttr& attr);
unsigned LoadAttrFlags();

}  // namespace belnor
