#pragma once

#include <QColor>

#include "platform/bitmap.h"

namespace sp {

// A framework colour is 0x00BBGGRR.
inline QColor ToQColor(Color c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

}  // namespace sp
