// CSimImages: the simulated volumes of the test build of the service, mounted from the
// image files named on its command line ("--image LETTER:=PATH", repeatable, before the
// service's own arguments) and saved back to them when the service has stopped.
#pragma once

#include "simdisk/SimSystem.h"

#include <string>
#include <vector>

class CSimImages
{
public:
    // Mounts every image argument and installs the simulator. pnFirstServiceArgument is
    // the index of the first argument that is not an image. False with a message.
    bool MountFromArguments(int argc, wchar_t** argv, int* pnFirstServiceArgument, std::wstring* pstrError);
    // The image arguments as they appeared, for a service command line.
    std::wstring GetArguments() const;
    // Takes the simulator out and writes every volume back. False when one could not be saved.
    bool SaveAll(std::wstring* pstrError);

private:
    struct stIMAGE
    {
        wchar_t cLetter;
        std::wstring strPath;
    };

    static bool ParseImage(const wchar_t* pszValue, stIMAGE* pImage);

    CSimSystem m_system;
    std::vector<stIMAGE> m_images;
};
