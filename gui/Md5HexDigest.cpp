#include "gui/Md5HexDigest.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstring>
#include <vector>

namespace
{
// The provider and the hash are released in the reverse order of their making.
class CCryptProvider
{
public:
    CCryptProvider() : m_hProvider(0)
    {
        if (!::CryptAcquireContextW(&m_hProvider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
            m_hProvider = 0;
    }
    ~CCryptProvider()
    {
        if (m_hProvider != 0)
            ::CryptReleaseContext(m_hProvider, 0);
    }
    CCryptProvider(const CCryptProvider&) = delete;
    CCryptProvider& operator=(const CCryptProvider&) = delete;
    HCRYPTPROV Get() const { return m_hProvider; }

private:
    HCRYPTPROV m_hProvider;
};

class CCryptHash
{
public:
    CCryptHash(HCRYPTPROV hProvider, ALG_ID nAlgorithm) : m_hHash(0)
    {
        if (hProvider == 0 || !::CryptCreateHash(hProvider, nAlgorithm, 0, 0, &m_hHash))
            m_hHash = 0;
    }
    ~CCryptHash()
    {
        if (m_hHash != 0)
            ::CryptDestroyHash(m_hHash);
    }
    CCryptHash(const CCryptHash&) = delete;
    CCryptHash& operator=(const CCryptHash&) = delete;
    HCRYPTHASH Get() const { return m_hHash; }

private:
    HCRYPTHASH m_hHash;
};

constexpr DWORD Md5Bytes = 16;
}

bool Md5HexDigest(const char* pszText, std::string& strDigest)
{
    strDigest.clear();
    if (pszText == nullptr)
        return false;
    CCryptProvider provider;
    CCryptHash hash(provider.Get(), CALG_MD5);
    if (hash.Get() == 0)
        return false;
    size_t nLength = std::strlen(pszText);
    if (nLength > MAXDWORD)
        return false;
    if (!::CryptHashData(hash.Get(), reinterpret_cast<const BYTE*>(pszText), static_cast<DWORD>(nLength), 0))
        return false;
    BYTE abDigest[Md5Bytes];
    DWORD dwBytes = sizeof(abDigest);
    if (!::CryptGetHashParam(hash.Get(), HP_HASHVAL, abDigest, &dwBytes, 0) || dwBytes != Md5Bytes)
        return false;
    static const char szDigits[] = "0123456789abcdef";
    for (BYTE b : abDigest)
    {
        strDigest += szDigits[b >> 4];
        strDigest += szDigits[b & 0x0F];
    }
    return true;
}

bool PasswordDigest(const CString& strPassword, CString& strDigest)
{
    strDigest.Empty();
    std::vector<char> narrow(1, '\0');
    if (!strPassword.IsEmpty())
    {
        int nBytes = ::WideCharToMultiByte(CP_ACP, 0, strPassword, strPassword.GetLength(), nullptr, 0, nullptr, nullptr);
        if (nBytes <= 0)
            return false;
        narrow.assign(static_cast<size_t>(nBytes) + 1, '\0');
        if (::WideCharToMultiByte(CP_ACP, 0, strPassword, strPassword.GetLength(), narrow.data(), nBytes, nullptr, nullptr) != nBytes)
            return false;
    }
    std::string strHex;
    if (!Md5HexDigest(narrow.data(), strHex))
        return false;
    for (char ch : strHex)
        strDigest += static_cast<wchar_t>(ch >= 'a' && ch <= 'f' ? ch - 'a' + 'A' : ch);
    return true;
}
