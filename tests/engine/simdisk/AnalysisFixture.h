// Analyses and reports of a volume object on a simulated volume: a service stand-in that also
// keeps each report as it would travel, read back from the wire.
#pragma once

#include "PartitionFixture.h"

#include "protocol/NetDefragBuffer.h"
#include "protocol/NetDefragPartitionClusterExplorerResponse.h"
#include "protocol/NetDefragPartitionFragFiles.h"
#include "protocol/NetDefragPartitionInfo.h"
#include "simdisk/SimBuilder.h"

#include <map>

class CReportOwner : public CRecordingOwner
{
public:
    bool SendObject(int32_t nClient, int32_t nCode, CNetDefragObject& object) override
    {
        CNetDefragBuffer ar(true);
        object.Serialize(ar);
        {
            std::lock_guard<std::mutex> lock(m_wireMutex);
            m_wire[nCode].assign(ar.GetBuffer(), ar.GetBuffer() + ar.GetUsed() - 1);
        }
        return CRecordingOwner::SendObject(nClient, nCode, object);
    }

    // The last report of this code as its receiver reads it; false when none was sent.
    bool Last(int32_t nCode, CNetDefragObject& object)
    {
        std::lock_guard<std::mutex> lock(m_wireMutex);
        auto it = m_wire.find(nCode);
        if (it == m_wire.end())
            return false;
        CNetDefragBuffer ar(false);
        ar.Attach(it->second.data(), static_cast<UINT>(it->second.size()));
        object.Serialize(ar);
        return true;
    }
    void Forget()
    {
        std::lock_guard<std::mutex> lock(m_wireMutex);
        m_wire.clear();
        Clear();
    }

private:
    std::mutex m_wireMutex;
    std::map<int32_t, std::vector<BYTE>> m_wire;
};

struct RANGE_ENTRY
{
    std::wstring strName;
    int64_t llFirst;
    int64_t llLast;
    int32_t nKind;
    bool operator==(const RANGE_ENTRY& o) const
    {
        return strName == o.strName && llFirst == o.llFirst && llLast == o.llLast && nKind == o.nKind;
    }
};

inline std::ostream& operator<<(std::ostream& os, const RANGE_ENTRY& e)
{
    return os << std::string(e.strName.begin(), e.strName.end()) << " [" << e.llFirst << ", " << e.llLast << "] kind "
              << e.nKind;
}

class CAnalysisFixture : public CPartitionFixture
{
protected:
    void MountWith(SIM_FS eFs, LONGLONG llClusters, int nMftPieces = 1)
    {
        Mount(eFs, llClusters, L'S', 4096, nMftPieces);
        SetSetting(L"UseIOGuard", 0);
    }

    // Every read of this MFT record fails as a failing device does.
    void FailRecordRead(LONGLONG llRecord)
    {
        SIM_FAULT fault;
        fault.dwCode = FSCTL_GET_NTFS_FILE_RECORD;
        fault.llRecord = llRecord;
        fault.status = static_cast<NTSTATUS>(0xC0000185);
        m_system.Faults().Add(fault);
    }

    // A volume object on the mounted volume that reports to m_reports.
    CDefragPartition& ReportingPartition()
    {
        m_pPartition = std::make_unique<CDefragPartition>(CUnicodeString(m_pVolume->GuidPath().c_str()), &m_reports);
        EXPECT_TRUE(m_pPartition->Initialize());
        m_pPartition->SetClientConnected(true);
        return *m_pPartition;
    }

    struct FIGURES
    {
        int32_t nExamined;
        int32_t nWithClusters;
        int32_t nFragmented;
        int64_t llFragmentedClusters;
    };
    static FIGURES Figures(const CDefragPartition& partition)
    {
        return {partition.m_nFilesExamined, partition.m_nFilesWithClusters, partition.m_nFragmentedEntries,
                partition.m_llFragmentedClusters};
    }

    // The fragmented-files report: relative name to fragment count.
    std::map<std::wstring, int32_t> FragmentedFiles(CDefragPartition& partition)
    {
        std::map<std::wstring, int32_t> files;
        partition.SendFragmentedFiles(7);
        CNetDefragPartitionFragFiles reply;
        if (!m_reports.Last(RESPONSE_FRAG_FILES, reply))
            return files;
        FRAG_FILES_RESPONSE_ENTRY stEntry;
        while (reply.GetNext(stEntry))
            files[Text(stEntry.strFileName)] = stEntry.nFragments;
        return files;
    }

    static std::vector<RANGE_ENTRY> Entries(CNetDefragPartitionClusterExplorerResponse& reply)
    {
        std::vector<RANGE_ENTRY> entries;
        while (const CLUSTEREXPLORER_RESPONSE_ENTRY* p = reply.GetNext())
            entries.push_back({Text(p->strFileName), p->llFirstCluster, p->llLastCluster, p->nKind});
        return entries;
    }

    LONGLONG ClustersOf(const std::vector<SIM_RUN>& runs)
    {
        LONGLONG ll = 0;
        for (const SIM_RUN& run : runs)
            ll += run.llLcn == SIM_SPARSE_LCN ? 0 : run.llLength;
        return ll;
    }

    CReportOwner m_reports;
};
