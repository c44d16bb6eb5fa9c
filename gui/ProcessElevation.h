// Whether this process may change the start-up entry under HKLM.
#pragma once

// True when the process token reports elevation, and on systems before
// Vista, which know no elevation; false when the token cannot be asked.
bool IsProcessElevated();
