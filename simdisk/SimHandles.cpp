#include "simdisk/SimHandles.h"

#include "simdisk/SimVolume.h"

namespace {

// Share access counts executing as reading; generic rights stand for the specific ones they map to.
constexpr DWORD ReadAccess = GENERIC_READ | GENERIC_EXECUTE | GENERIC_ALL | FILE_READ_DATA | FILE_EXECUTE;
constexpr DWORD WriteAccess = GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA;
constexpr DWORD DeleteAccess = DELETE | GENERIC_ALL;

bool Conflicts(DWORD dwAccessA, DWORD dwShareB)
{
    return ((dwAccessA & ReadAccess) && !(dwShareB & FILE_SHARE_READ)) ||
           ((dwAccessA & WriteAccess) && !(dwShareB & FILE_SHARE_WRITE)) ||
           ((dwAccessA & DeleteAccess) && !(dwShareB & FILE_SHARE_DELETE));
}

// The stream an open stands for: its slot, or the file's default stream for an open by the
// file's name alone.
WORD StreamOfOpen(const CSimFile& file, WORD wSlot)
{
    if (wSlot != SIM_DEFAULT_STREAM)
        return wSlot;
    const CSimStream* pStream = file.IsDirectory() ? file.FindStream(ntfs::IndexAllocation, L"$I30")
                                                   : file.FindStream(ntfs::Data, L"");
    return pStream ? pStream->m_wSlot : SIM_DEFAULT_STREAM;
}

} // namespace

CSimHandles::~CSimHandles()
{
    for (const auto& entry : m_handles)
        ::CloseHandle(entry.first);
}

bool CSimHandles::HasDataAccess(DWORD dwAccess) { return (dwAccess & (ReadAccess | WriteAccess | DeleteAccess)) != 0; }

// Reads need the right to read data; executing alone does not give it.
bool CSimHandles::CanRead(DWORD dwAccess) { return (dwAccess & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA)) != 0; }

bool CSimHandles::HasReadOrWriteData(DWORD dwAccess)
{
    return (dwAccess & (ReadAccess | WriteAccess | GENERIC_EXECUTE)) != 0;
}

HANDLE CSimHandles::Open(const SIM_HANDLE& handle)
{
    HANDLE h = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!h)
        return INVALID_HANDLE_VALUE;
    m_handles[h] = std::make_unique<SIM_HANDLE>(handle);
    return h;
}

SIM_HANDLE* CSimHandles::Find(HANDLE h) const
{
    auto it = m_handles.find(h);
    return it == m_handles.end() ? nullptr : it->second.get();
}

SIM_HANDLE* CSimHandles::Find(HANDLE h, SIM_HANDLE_KIND eKind) const
{
    SIM_HANDLE* p = Find(h);
    return p && p->eKind == eKind ? p : nullptr;
}

void CSimHandles::Close(HANDLE h)
{
    auto it = m_handles.find(h);
    if (it == m_handles.end())
        return;
    m_handles.erase(it);
    ::CloseHandle(h);
}

bool CSimHandles::ShareAllows(const CSimVolume* pVolume, const CSimFile& file, WORD wSlot, DWORD dwAccess,
                              DWORD dwShare) const
{
    // Opens for attributes or synchronisation alone take no part in share access, and the
    // file system keeps share access for each stream of a file on its own.
    if (!HasDataAccess(dwAccess))
        return true;
    const WORD wStream = StreamOfOpen(file, wSlot);
    auto allows = [&](const SIM_HANDLE& other) {
        if (other.eKind != SIM_HANDLE_KIND::File || other.pVolume != pVolume ||
            (other.ullReference & 0xFFFFFFFFFFFFull) != file.m_ullId || !HasDataAccess(other.dwAccess) ||
            StreamOfOpen(file, other.wSlot) != wStream)
            return true;
        return !Conflicts(dwAccess, other.dwShare) && !Conflicts(other.dwAccess, dwShare);
    };
    for (const auto& entry : m_handles)
        if (!allows(*entry.second))
            return false;
    for (const SIM_HANDLE& holder : m_holders)
        if (!allows(holder))
            return false;
    return true;
}
