// Helpers of the protocol tests: payloads written by hand, messages built and
// read the way the programs do it, and a payload placed right in front of an
// inaccessible page so that any read past its end faults.
#pragma once

#include "base/UnicodeString.h"
#include "protocol/NetDefragBuffer.h"
#include "protocol/NetDefragObject.h"
#include "protocol/NetDefragPacketHeader.h"

#include <windows.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace prototest {

using Bytes = std::vector<BYTE>;

inline Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Hex digits in pairs; spaces and '|' separate groups for reading.
inline Bytes Hex(const char* pszHex)
{
    Bytes bytes;
    std::string strDigits;
    for (const char* p = pszHex; *p != '\0'; ++p)
        if (isxdigit(static_cast<unsigned char>(*p)))
            strDigits += *p;
    for (size_t i = 0; i + 1 < strDigits.size(); i += 2)
        bytes.push_back(static_cast<BYTE>(std::stoi(strDigits.substr(i, 2), nullptr, 16)));
    return bytes;
}

inline std::wstring Text(const CUnicodeString& str)
{
    return str.GetBuffer() != nullptr ? std::wstring(str.GetBuffer(), str.GetLength()) : std::wstring();
}

// Little-endian payload written field by field, for payloads no sender makes.
class CPayload
{
public:
    CPayload& I32(int32_t n) { return Put(&n, sizeof n); }
    CPayload& I64(int64_t n) { return Put(&n, sizeof n); }
    CPayload& Raw(const Bytes& bytes) { return Put(bytes.data(), bytes.size()); }
    CPayload& Fill(size_t nCount, BYTE b) { m_bytes.insert(m_bytes.end(), nCount, b); return *this; }
    CPayload& Str(const wchar_t* pszText)
    {
        int32_t nBytes = static_cast<int32_t>(2 * wcslen(pszText));
        I32(nBytes);
        return Put(pszText, nBytes);
    }
    CPayload& Header(int32_t nCommand, int32_t nVersion = 5) { return I32(nVersion).I32(0).I32(nCommand); }
    const Bytes& Get() const { return m_bytes; }

private:
    CPayload& Put(const void* p, size_t n)
    {
        const BYTE* pb = static_cast<const BYTE*>(p);
        m_bytes.insert(m_bytes.end(), pb, pb + n);
        return *this;
    }
    Bytes m_bytes;
};

// A message as a sender builds it: growth step 16, header, object; the
// payload is the whole allocated buffer. nWritten receives the bytes of fields.
inline Bytes BuildMessage(int32_t nCommand, CNetDefragObject* pObject, size_t* pnWritten = nullptr)
{
    CNetDefragBuffer ar(true, 0, 16);
    CNetDefragPacketHeader header;
    header.SetCommand(nCommand);
    header.Serialize(ar);
    if (pObject != nullptr)
        pObject->Serialize(ar);
    if (pnWritten != nullptr)
        *pnWritten = ar.GetCurrent() - ar.GetBuffer();
    return Bytes(ar.GetBuffer(), ar.GetBuffer() + ar.GetSize());
}

// Makes an object of type T filled by fnFill, each time it is called.
template <class T> std::function<std::unique_ptr<CNetDefragObject>()> Maker(std::function<void(T&)> fnFill)
{
    return [fnFill] {
        auto p = std::make_unique<T>();
        fnFill(*p);
        return std::unique_ptr<CNetDefragObject>(std::move(p));
    };
}

// Read/write pages with one PAGE_NOACCESS page behind them; a payload is
// copied so that its last byte is the last readable one.
class CGuardedPayload
{
public:
    explicit CGuardedPayload(size_t nMaxPayload)
    {
        SYSTEM_INFO stInfo;
        ::GetSystemInfo(&stInfo);
        m_nPage = stInfo.dwPageSize;
        m_nData = (nMaxPayload + m_nPage - 1) / m_nPage * m_nPage;
        m_pRegion = static_cast<BYTE*>(::VirtualAlloc(nullptr, m_nData + m_nPage, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        DWORD dwOld = 0;
        m_bReady = m_pRegion != nullptr && ::VirtualProtect(m_pRegion + m_nData, m_nPage, PAGE_NOACCESS, &dwOld);
    }
    ~CGuardedPayload()
    {
        if (m_pRegion != nullptr)
            ::VirtualFree(m_pRegion, 0, MEM_RELEASE);
    }
    CGuardedPayload(const CGuardedPayload&) = delete;
    CGuardedPayload& operator=(const CGuardedPayload&) = delete;

    // True when the page behind the data really refuses access.
    bool IsGuarded() const
    {
        MEMORY_BASIC_INFORMATION stInfo;
        return m_bReady && ::VirtualQuery(m_pRegion + m_nData, &stInfo, sizeof stInfo) == sizeof stInfo &&
               stInfo.Protect == PAGE_NOACCESS;
    }

    // Null when the payload is larger than the pages.
    const BYTE* Place(const Bytes& payload)
    {
        if (!m_bReady || payload.size() > m_nData)
            return nullptr;
        BYTE* p = m_pRegion + m_nData - payload.size();
        if (!payload.empty())
            memcpy(p, payload.data(), payload.size());
        return p;
    }

private:
    size_t m_nPage = 0;
    size_t m_nData = 0;
    BYTE* m_pRegion = nullptr;
    bool m_bReady = false;
};

}
