#include "gui/MapDrawingSettings.h"

stMapDrawingSettings& MapDrawingSettings()
{
    static stMapDrawingSettings s_settings;
    return s_settings;
}
