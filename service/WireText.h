// Texts that go on the wire are cut to what a receiver accepts in one string.
#pragma once

#include "engine/UnicodeString.h"

void BoundWireText(CUnicodeString& str);
