# The program's sources that use no Windows header: they build for Windows and,
# for the sanitizer run, for this machine.
set(vf_gui_portable_sources
    ClusterMapCells.cpp
    ClusterMapLayout.cpp
    MapKinds.cpp
    MapLegendLayout.cpp
    Recommendation.cpp)
