# The updater's sources that use no Windows header: they build for Windows and,
# for the sanitizer run, for this machine.
set(vf_updater_portable_sources
    UpdateOptions.cpp
    UrlRules.cpp
    VersionCompare.cpp
    WhatsNewText.cpp
    XmlNode.cpp
    XmlReader.cpp)
