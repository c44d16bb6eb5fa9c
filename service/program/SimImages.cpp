#include "SimImages.h"

#include "simdisk/SimImage.h"

#include <cwchar>
#include <cwctype>

bool CSimImages::ParseImage(const wchar_t* pszValue, stIMAGE* pImage)
{
    // "S:=C:\images\s.img"
    if (pszValue == nullptr || !std::iswalpha(pszValue[0]) || pszValue[1] != L':' || pszValue[2] != L'=' ||
        pszValue[3] == L'\0')
        return false;
    pImage->cLetter = static_cast<wchar_t>(std::towupper(pszValue[0]));
    // A service runs in another folder than the one it was installed from.
    wchar_t szFull[MAX_PATH + 1] = {};
    const DWORD dwLength = ::GetFullPathNameW(pszValue + 3, MAX_PATH + 1, szFull, nullptr);
    if (dwLength == 0 || dwLength > MAX_PATH)
        return false;
    pImage->strPath = szFull;
    return true;
}

bool CSimImages::MountFromArguments(int argc, wchar_t** argv, int* pnFirstServiceArgument, std::wstring* pstrError)
{
    int i = 1;
    for (; i < argc && std::wcscmp(argv[i], L"--image") == 0; i += 2)
    {
        stIMAGE stImage;
        if (i + 1 >= argc || !ParseImage(argv[i + 1], &stImage))
        {
            *pstrError = L"--image needs LETTER:=PATH";
            return false;
        }
        std::unique_ptr<CSimVolume> pVolume = CSimImage::Load(stImage.strPath, pstrError);
        if (!pVolume)
            return false;
        if (m_system.TryMount(std::move(pVolume), stImage.cLetter, pstrError) == nullptr)
            return false;
        m_images.push_back(stImage);
    }
    *pnFirstServiceArgument = i;
    m_system.Install();
    return true;
}

std::wstring CSimImages::GetArguments() const
{
    std::wstring strArguments;
    for (const stIMAGE& stImage : m_images)
    {
        strArguments += L" --image \"";
        strArguments += stImage.cLetter;
        strArguments += L":=" + stImage.strPath + L"\"";
    }
    return strArguments;
}

bool CSimImages::SaveAll(std::wstring* pstrError)
{
    m_system.Uninstall();
    bool bAll = true;
    for (const stIMAGE& stImage : m_images)
    {
        CSimVolume* pVolume = m_system.Volume(stImage.cLetter);
        std::wstring strError;
        if (pVolume == nullptr || !CSimImage::Save(*pVolume, stImage.strPath, &strError))
        {
            *pstrError += stImage.strPath + L": " + strError + L"\n";
            bAll = false;
        }
    }
    return bAll;
}
