#include "guitoolkit/MenuBackground.h"

void UpdateMenuBackground(HMENU)
{
    // No theme paints yet, so every menu keeps the system's background.
}
