// How the cluster map draws its blocks, for the whole program: shaded or
// flat (the main frame's style decides it again), and how far a shaded
// block's gradient lightens its colour.
#pragma once

struct stMapDrawingSettings
{
    bool bShaded = true;
    int nShadeLighten = 120;
};

stMapDrawingSettings& MapDrawingSettings();
