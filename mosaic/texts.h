// Error and description texts in English and Chinese.
#ifndef QUISAL_TEXTS_H
#define QUISAL_TEXTS_H

namespace quisal {

// True when LANG begins with zh_CN (any case); read on every call.
bool UseChinese();

// Text of a known code, or null for a code without one.
const char *ErrorText(int code, bool chinese);

const char *DescriptionText(bool chinese);

}  // namespace quisal

#endif
