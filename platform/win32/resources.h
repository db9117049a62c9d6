#pragma once

// Resource identifiers of selfplay.exe (shared with selfplay.rc).
#define kAppIconId 1
