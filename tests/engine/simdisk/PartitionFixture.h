// A volume object on a simulated volume, with a service stand-in that keeps every message the
// object sends, and the native entry points bound to the simulator for the test.
#pragma once

#include "engine/DefragPartition.h"
#include "engine/EventLock.h"
#include "engine/NativeFunctions.h"
#include "engine/PartitionOwner.h"
#include "base/UnicodeString.h"
#include "protocol/NetDefragClustermapModList.h"
#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragObject.h"
#include "protocol/NetDefragPartitionClustermap.h"
#include "protocol/NetDefragPartitionListEntry.h"
#include "simdisk/SimBuilder.h"
#include "tests/engine/NativeBinding.h"
#include "tests/simdisk/SimFixture.h"
#include "tests/base/StringText.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// What the service would send, kept by code and client.
class CRecordingOwner : public CPartitionOwner
{
public:
    struct SENT
    {
        int32_t nClient;   // -100 for a broadcast
        int32_t nCode;
        int32_t nState;    // of a list entry
        std::wstring strStatus;
        int32_t nCells;    // of a whole map
        bool bChanges;     // a change list with records
        int64_t allKinds[CClusterMap::KindCount]; // of a whole map with one-byte counters: sums per kind
        int32_t nProgress;  // of a list entry
    };

    bool SendObject(int32_t nClient, int32_t nCode, CNetDefragObject& object) override
    {
        return Keep(nClient, nCode, object);
    }
    bool BroadcastObject(int32_t nCode, CNetDefragObject& object) override { return Keep(-100, nCode, object); }
    void LogVolumeEvent(WORD wType, const wchar_t* pszText) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back({wType, pszText ? pszText : L""});
    }
    CEventLock& GetCheckLock() override { return m_checkLock; }

    struct EVENT
    {
        WORD wType;
        std::wstring strText;
    };
    std::vector<EVENT> Events()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }
    void ClearEvents()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.clear();
    }

    std::vector<SENT> Sent()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_sent;
    }
    int Count(int32_t nCode, int32_t nClient = 0)
    {
        int n = 0;
        for (const SENT& sent : Sent())
            n += sent.nCode == nCode && (nClient == 0 || sent.nClient == nClient);
        return n;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_sent.clear();
    }

    // Called for every broadcast list entry, on the sending thread.
    std::function<void(const CNetDefragPartitionListEntry&)> m_onEntry;

private:
    bool Keep(int32_t nClient, int32_t nCode, CNetDefragObject& object)
    {
        SENT sent = {nClient, nCode, -1, L"", -1, false, {}, -1};
        if (auto* pEntry = dynamic_cast<CNetDefragPartitionListEntry*>(&object))
        {
            sent.nState = pEntry->m_nState;
            sent.nProgress = pEntry->m_nProgress;
            sent.strStatus = Text(pEntry->m_strStatusText);
            if (m_onEntry)
                m_onEntry(*pEntry);
        }
        if (auto* pMap = dynamic_cast<CNetDefragPartitionClustermap*>(&object))
        {
            sent.nCells = pMap->GetCellCount();
            for (int32_t i = 0; pMap->GetBytesPerCell() == CClusterMap::KindCount && i < sent.nCells; ++i)
                for (int k = 0; k < CClusterMap::KindCount; ++k)
                    sent.allKinds[k] += pMap->GetCells()[i * CClusterMap::KindCount + k];
        }
        if (auto* pChanges = dynamic_cast<CNetDefragClustermapModList*>(&object))
            sent.bChanges = pChanges->HasRecords();
        std::lock_guard<std::mutex> lock(m_mutex);
        m_sent.push_back(sent);
        return true;
    }

    std::mutex m_mutex;
    std::vector<SENT> m_sent;
    std::vector<EVENT> m_events;
    CEventLock m_checkLock;
};

class CPartitionFixture : public CSimFixture
{
protected:
    void SetUp() override {}
    void TearDown() override
    {
        m_pPartition.reset();
        CSimFixture::TearDown();
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Varnefold");
        EXPECT_TRUE(nativetest::BindWithFmifs());
    }

    void Mount(SIM_FS eFs, LONGLONG llClusters, wchar_t cLetter = L'S', DWORD dwBytesPerCluster = 4096,
               int nMftPieces = 1)
    {
        SIM_FORMAT format;
        format.eFs = eFs;
        format.llTotalClusters = llClusters;
        format.dwBytesPerCluster = dwBytesPerCluster;
        format.nMftPieces = nMftPieces;
        // Volumes of one test must differ in their GUID names.
        wchar_t szGuid[48] = {};
        swprintf(szGuid, 48, L"{5A3C1E07-0000-4000-8000-%012X}", static_cast<unsigned>(++m_nMounted));
        format.strGuid = szGuid;
        MountAndInstall(format, cLetter);
        ASSERT_TRUE(native::BindNativeFunctions());
    }

    // A volume laid out by the builder, mounted at S:.
    void MountBuilt(const SIM_BUILD& build)
    {
        std::wstring strError;
        std::unique_ptr<CSimVolume> pVolume = CSimBuilder::Build(build, &strError);
        ASSERT_TRUE(pVolume) << std::string(strError.begin(), strError.end());
        m_system.Uninstall();
        m_pVolume = &m_system.Mount(std::move(pVolume), L'S');
        m_system.Install();
        ASSERT_TRUE(native::BindNativeFunctions());
    }

    // A volume object on the mounted volume, initialised.
    CDefragPartition& Partition(bool bInitialize = true)
    {
        m_pPartition = std::make_unique<CDefragPartition>(CUnicodeString(m_pVolume->GuidPath().c_str()), &m_owner);
        if (bInitialize)
        {
            EXPECT_TRUE(m_pPartition->Initialize());
        }
        return *m_pPartition;
    }

    static void SetSetting(const wchar_t* pszName, DWORD dwValue)
    {
        HKEY hKey = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Varnefold", 0, nullptr, 0,
                                                   KEY_ALL_ACCESS, nullptr, &hKey, nullptr));
        ::RegSetValueExW(hKey, pszName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValue), sizeof(dwValue));
        ::RegCloseKey(hKey);
    }

    std::wstring Path(const std::wstring& strRelative) const { return L"S:\\" + strRelative; }

    // The system's boot layout list, in the Prefetch folder below Windows at the root.
    void WriteLayoutList(const std::vector<std::wstring>& lines)
    {
        std::wstring strText;
        for (const std::wstring& strLine : lines)
            strText += strLine + L"\r\n";
        std::vector<BYTE> bytes(reinterpret_cast<const BYTE*>(strText.data()),
                                reinterpret_cast<const BYTE*>(strText.data() + strText.size()));
        for (const wchar_t* pszDirectory : {L"Windows", L"Windows\\Prefetch"})
            if (!m_pVolume->Lookup(pszDirectory))
                m_pVolume->CreateDirectory(pszDirectory);
        if (!m_pVolume->Lookup(L"Windows\\Prefetch\\Layout.ini"))
            m_pVolume->CreateFile(L"Windows\\Prefetch\\Layout.ini", 0);
        ASSERT_TRUE(m_pVolume->SetContent(L"Windows\\Prefetch\\Layout.ini", bytes));
    }

    std::vector<SIM_RUN> RunsOf(const std::wstring& strRelative)
    {
        CSimLock lock(m_system);
        CSimFile* pFile = m_pVolume->Lookup(strRelative);
        return pFile && pFile->DefaultStream() ? pFile->DefaultStream()->m_runs : std::vector<SIM_RUN>();
    }

    // True when the file's allocated clusters follow each other from the LCN.
    bool IsContiguousAt(const std::wstring& strRelative, LONGLONG llLcn)
    {
        LONGLONG llNext = llLcn;
        for (const SIM_RUN& run : RunsOf(strRelative))
        {
            if (run.llLcn == SIM_SPARSE_LCN)
                continue;
            if (run.llLcn != llNext)
                return false;
            llNext += run.llLength;
        }
        return llNext > llLcn;
    }

    CRecordingOwner m_owner;
    std::unique_ptr<CDefragPartition> m_pPartition;
    int m_nMounted = 0;
};
