#pragma once

#include <QIcon>

namespace sp {

// The player's own icon, drawn rather than loaded: a film frame with a
// play mark, at 32 and 64 pixels.
QIcon MakeAppIcon();

}  // namespace sp
