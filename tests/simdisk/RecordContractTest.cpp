// NTFS file records as the file system hands them out: the nearest lower record in use, the
// real record layout, mapping pairs with signed offsets, attribute lists with extension
// records and the MFT's own extensions. The records are read back with a decoder of their own.
#include "SimFixture.h"
#include "platform/LittleEndian.h"

#include <cstring>
#include <map>

namespace {

using le::Get;

struct ATTRIBUTE
{
    DWORD dwType;
    std::wstring strName;
    bool bNonResident;
    WORD wInstance;
    LONGLONG llLowVcn;
    std::vector<SIM_RUN> runs;
    std::vector<BYTE> value;
};

std::vector<SIM_RUN> DecodeRuns(const BYTE* p, LONGLONG llVcn)
{
    std::vector<SIM_RUN> runs;
    LONGLONG llLcn = 0;
    while (*p)
    {
        int nLength = *p & 0xF;
        int nOffset = *p >> 4;
        ++p;
        LONGLONG llLength = 0;
        for (int i = 0; i < nLength; ++i)
            llLength |= static_cast<LONGLONG>(p[i]) << (8 * i);
        p += nLength;
        LONGLONG llDelta = 0;
        for (int i = 0; i < nOffset; ++i)
            llDelta |= static_cast<LONGLONG>(p[i]) << (8 * i);
        if (nOffset && (p[nOffset - 1] & 0x80))
            llDelta -= 1ll << (8 * nOffset);
        p += nOffset;
        llLcn += llDelta;
        runs.push_back({llVcn, nOffset ? llLcn : -1, llLength});
        llVcn += llLength;
    }
    return runs;
}

std::vector<ATTRIBUTE> Attributes(const BYTE* pRecord)
{
    std::vector<ATTRIBUTE> attributes;
    for (DWORD dwAt = Get<WORD>(pRecord, 20); Get<DWORD>(pRecord, dwAt) != 0xFFFFFFFF; dwAt += Get<DWORD>(pRecord, dwAt + 4))
    {
        const BYTE* p = pRecord + dwAt;
        ATTRIBUTE attribute;
        attribute.dwType = Get<DWORD>(p, 0);
        attribute.strName.assign(reinterpret_cast<const wchar_t*>(p + Get<WORD>(p, 10)), p[9]);
        attribute.bNonResident = p[8] != 0;
        attribute.wInstance = Get<WORD>(p, 14);
        attribute.llLowVcn = attribute.bNonResident ? Get<LONGLONG>(p, 16) : 0;
        if (attribute.bNonResident)
            attribute.runs = DecodeRuns(p + Get<WORD>(p, 32), attribute.llLowVcn);
        else
            attribute.value.assign(p + Get<WORD>(p, 20), p + Get<WORD>(p, 20) + Get<DWORD>(p, 16));
        attributes.push_back(attribute);
    }
    return attributes;
}

class RecordContract : public CSimFixture
{
protected:
    NTSTATUS ReadRecord(LONGLONG llAsked, std::vector<BYTE>& record, LONGLONG* pllAnswered = nullptr)
    {
        std::vector<BYTE> out(12 + m_pVolume->BytesPerRecord() + 3);
        NTSTATUS status = FsControl(m_hVolume, FSCTL_GET_NTFS_FILE_RECORD, &llAsked, 8, out.data(),
                                    static_cast<ULONG>(out.size()));
        if (status == ntstatus::Success)
        {
            if (pllAnswered)
                *pllAnswered = Get<LONGLONG>(out.data(), 0);
            record.assign(out.begin() + 12, out.begin() + 12 + Get<DWORD>(out.data(), 8));
        }
        return status;
    }

    // The attributes of a record, with an attribute list followed into its extension records.
    std::vector<ATTRIBUTE> MergedAttributes(LONGLONG llRecord)
    {
        std::vector<BYTE> record;
        EXPECT_EQ(ntstatus::Success, ReadRecord(llRecord, record));
        std::vector<ATTRIBUTE> base = Attributes(record.data());
        const ATTRIBUTE* pList = nullptr;
        for (const ATTRIBUTE& attribute : base)
            if (attribute.dwType == ntfs::AttributeList)
                pList = &attribute;
        if (!pList)
            return base;
        std::vector<BYTE> list = pList->value;
        if (pList->bNonResident)
            list = ReadRuns(pList->runs, m_pVolume->File(static_cast<ULONGLONG>(llRecord))->FindStream(ntfs::AttributeList, L"")->m_llDataSize);
        std::vector<ATTRIBUTE> merged;
        for (size_t nAt = 0; nAt < list.size(); nAt += Get<WORD>(list.data(), nAt + 4))
        {
            const BYTE* p = list.data() + nAt;
            const ULONGLONG ullSegment = Get<ULONGLONG>(p, 16);
            std::vector<BYTE> holder;
            EXPECT_EQ(ntstatus::Success, ReadRecord(static_cast<LONGLONG>(ullSegment & 0xFFFFFFFFFFFFull), holder));
            if ((ullSegment & 0xFFFFFFFFFFFFull) != static_cast<ULONGLONG>(llRecord))
            {
                EXPECT_EQ(m_pVolume->File(static_cast<ULONGLONG>(llRecord))->Reference(), Get<ULONGLONG>(holder.data(), 32));
            }
            for (const ATTRIBUTE& attribute : Attributes(holder.data()))
                if (attribute.dwType == Get<DWORD>(p, 0) && attribute.wInstance == Get<WORD>(p, 24) &&
                    attribute.llLowVcn == Get<LONGLONG>(p, 8))
                    merged.push_back(attribute);
        }
        return merged;
    }

    std::vector<BYTE> ReadRuns(const std::vector<SIM_RUN>& runs, LONGLONG llBytes)
    {
        std::vector<BYTE> bytes;
        for (const SIM_RUN& run : runs)
        {
            LARGE_INTEGER liAt;
            liAt.QuadPart = run.llLcn * 4096;
            EXPECT_TRUE(sys::SetFilePointerEx(m_hVolume, liAt, nullptr, FILE_BEGIN));
            std::vector<BYTE> part(static_cast<size_t>(run.llLength) * 4096);
            DWORD dwRead = 0;
            EXPECT_TRUE(sys::ReadFile(m_hVolume, part.data(), static_cast<DWORD>(part.size()), &dwRead, nullptr));
            bytes.insert(bytes.end(), part.begin(), part.end());
        }
        bytes.resize(static_cast<size_t>(llBytes));
        return bytes;
    }

    static std::vector<SIM_RUN> JoinedRuns(const std::vector<ATTRIBUTE>& attributes, DWORD dwType, WORD* pwInstance)
    {
        std::vector<SIM_RUN> runs;
        for (const ATTRIBUTE& attribute : attributes)
            if (attribute.dwType == dwType && attribute.bNonResident)
            {
                EXPECT_EQ(runs.empty() ? 0 : runs.back().llVcn + runs.back().llLength, attribute.llLowVcn);
                if (!runs.empty())
                {
                    EXPECT_EQ(*pwInstance, attribute.wInstance) << "every piece of a stream has one instance";
                }
                *pwInstance = attribute.wInstance;
                runs.insert(runs.end(), attribute.runs.begin(), attribute.runs.end());
            }
        return runs;
    }

    void SetUp() override
    {
        CSimFixture::SetUp();
        m_hVolume = OpenVolume();
    }

    HANDLE m_hVolume = INVALID_HANDLE_VALUE;
};

TEST_F(RecordContract, AnswerIsTheNearestLowerRecordInUse)
{
    CSimFile* pFile = m_pVolume->CreateFile(L"a.txt", 10);
    const LONGLONG llFirst = static_cast<LONGLONG>(pFile->m_ullId);
    m_pVolume->SetStaleMftBit(static_cast<ULONGLONG>(llFirst + 10));
    const struct
    {
        LONGLONG llAsked;
        LONGLONG llAnswered;
    } cases[] = {{0, 0}, {5, 5}, {13, 11}, {40, 27}, {llFirst, llFirst}, {llFirst + 10, llFirst}, {10000000, llFirst}};
    std::vector<BYTE> record;
    for (const auto& c : cases)
    {
        LONGLONG llAnswered = -2;
        ASSERT_EQ(ntstatus::Success, ReadRecord(c.llAsked, record, &llAnswered)) << c.llAsked;
        EXPECT_EQ(c.llAnswered, llAnswered) << "asked " << c.llAsked;
        EXPECT_EQ(static_cast<DWORD>(c.llAnswered), Get<DWORD>(record.data(), 44));
    }
    // The output structure (16 bytes with its one-byte buffer) and the rest of a record.
    BYTE out[1039];
    LONGLONG llAsked = 0;
    EXPECT_EQ(ntstatus::BufferTooSmall, FsControl(m_hVolume, FSCTL_GET_NTFS_FILE_RECORD, &llAsked, 8, out, 1038));
    EXPECT_EQ(ntstatus::Success, FsControl(m_hVolume, FSCTL_GET_NTFS_FILE_RECORD, &llAsked, 8, out, 1039));
    EXPECT_EQ(ntstatus::InvalidParameter, FsControl(m_hVolume, FSCTL_GET_NTFS_FILE_RECORD, &llAsked, 7, out, 1039));
}

TEST_F(RecordContract, RecordHeaderAndNames)
{
    CSimFile* pDir = m_pVolume->CreateDirectory(L"Program Files");
    pDir->m_strShortName = L"PROGRA~1";
    pDir->m_dwFlags |= SimFileDosNameFirst;
    m_pVolume->Relayout(*pDir);
    std::vector<BYTE> record;
    ASSERT_EQ(ntstatus::Success, ReadRecord(static_cast<LONGLONG>(pDir->m_ullId), record));
    EXPECT_EQ(0, std::memcmp(record.data(), "FILE", 4));
    EXPECT_EQ(0x38, Get<WORD>(record.data(), 20));
    EXPECT_EQ(3, Get<WORD>(record.data(), 22)) << "in use, directory";
    EXPECT_EQ(0u, Get<ULONGLONG>(record.data(), 32));
    std::vector<ATTRIBUTE> attributes = Attributes(record.data());
    ASSERT_GE(attributes.size(), 4u);
    EXPECT_EQ(ntfs::StandardInformation, attributes[0].dwType);
    ASSERT_EQ(ntfs::FileName, attributes[1].dwType);
    EXPECT_EQ(2, attributes[1].value[65]) << "the DOS name comes first";
    EXPECT_EQ(1, attributes[2].value[65]);
    EXPECT_EQ(5u, Get<ULONGLONG>(attributes[2].value.data(), 0) & 0xFFFFFFFFFFFFull);
    EXPECT_EQ(L"Program Files", std::wstring(reinterpret_cast<const wchar_t*>(attributes[2].value.data() + 66), attributes[2].value[64]));
    EXPECT_EQ(ntfs::IndexRoot, attributes[3].dwType);
    EXPECT_EQ(L"$I30", attributes[3].strName);    // A long name without a DOS name carries the namespace the volume is set to.
    m_pVolume->CreateFile(L"lone.txt", 10);
    for (BYTE byNamespace : {BYTE(1), BYTE(3), BYTE(0)})
    {
        m_pVolume->m_byLoneNameSpace = byNamespace;
        ASSERT_EQ(ntstatus::Success, ReadRecord(static_cast<LONGLONG>(m_pVolume->Lookup(L"lone.txt")->m_ullId), record));
        attributes = Attributes(record.data());
        ASSERT_EQ(ntfs::FileName, attributes[1].dwType);
        EXPECT_EQ(byNamespace, attributes[1].value[65]);
    }
}

TEST_F(RecordContract, VolumeInformationCarriesTheDirtyBit)
{
    std::vector<BYTE> record;
    for (bool bDirty : {false, true})
    {
        m_pVolume->m_bDirty = bDirty;
        ASSERT_EQ(ntstatus::Success, ReadRecord(3, record));
        bool bFound = false;
        for (const ATTRIBUTE& attribute : Attributes(record.data()))
            if (attribute.dwType == ntfs::VolumeInformation)
            {
                bFound = true;
                EXPECT_EQ(3, attribute.value[8]);
                EXPECT_EQ(bDirty ? 1 : 0, Get<WORD>(attribute.value.data(), 10) & 1);
            }
        EXPECT_TRUE(bFound);
    }
}

TEST_F(RecordContract, MappingPairsHoldBackwardRunsAndSparseGaps)
{
    CSimFile* pFile = m_pVolume->CreateFile(L"back.bin", 0);
    CSimStream& data = *pFile->FindStream(ntfs::Data, L"");
    data.m_wFlags = ntfs::FlagSparse;
    m_pVolume->PlaceRun(*pFile, data, 600000, 3);
    m_pVolume->PlaceRun(*pFile, data, 300100, 2);
    m_pVolume->PlaceRun(*pFile, data, SIM_SPARSE_LCN, 70000);
    m_pVolume->PlaceRun(*pFile, data, 300090, 1);
    m_pVolume->SetDataSize(data, 70006ll * 4096);
    m_pVolume->Relayout(*pFile);
    WORD wInstance = 0;
    std::vector<SIM_RUN> runs = JoinedRuns(MergedAttributes(static_cast<LONGLONG>(pFile->m_ullId)), ntfs::Data, &wInstance);
    const CSimStream& model = *pFile->FindStream(ntfs::Data, L"");
    ASSERT_EQ(model.m_runs.size(), runs.size());
    for (size_t i = 0; i < runs.size(); ++i)
        EXPECT_EQ(model.m_runs[i].llLcn, runs[i].llLcn) << "run " << i;
    ExpectVerified();
}

TEST_F(RecordContract, HeavilyFragmentedFileSpreadsOverExtensionRecords)
{
    CSimFile* pFile = m_pVolume->CreateFile(L"heavy.bin", 4096ll * 6000, Fragmented(3000, 100));
    ASSERT_GE(pFile->m_extensions.size(), 3u);
    std::vector<BYTE> record;
    ASSERT_EQ(ntstatus::Success, ReadRecord(static_cast<LONGLONG>(pFile->m_ullId), record));
    std::vector<ATTRIBUTE> base = Attributes(record.data());
    ASSERT_EQ(ntfs::AttributeList, base[1].dwType);
    std::vector<ATTRIBUTE> merged = MergedAttributes(static_cast<LONGLONG>(pFile->m_ullId));
    WORD wInstance = 0;
    std::vector<SIM_RUN> runs = JoinedRuns(merged, ntfs::Data, &wInstance);
    const CSimStream& model = *pFile->FindStream(ntfs::Data, L"");
    ASSERT_EQ(model.m_runs.size(), runs.size());
    EXPECT_EQ(3000u, runs.size());
    for (size_t i = 0; i < runs.size(); ++i)
        ASSERT_EQ(model.m_runs[i].llLcn, runs[i].llLcn) << "run " << i;
    std::vector<BYTE> extension;
    ASSERT_EQ(ntstatus::Success, ReadRecord(static_cast<LONGLONG>(pFile->m_extensions[0] & 0xFFFFFFFFFFFFull), extension));
    EXPECT_EQ(pFile->Reference(), Get<ULONGLONG>(extension.data(), 32));
    ExpectVerified();
}

TEST_F(RecordContract, ListShrinksAwayWhenTheFileIsDefragmented)
{
    CSimFile* pFile = m_pVolume->CreateFile(L"heavy.bin", 4096ll * 2000, Fragmented(1000, 100));
    ASSERT_FALSE(pFile->m_extensions.empty());
    ASSERT_EQ(ntstatus::Success, Move(m_hVolume, Open(L"S:\\heavy.bin"), 0, 400000, 2000));
    EXPECT_TRUE(pFile->m_extensions.empty());
    EXPECT_EQ(nullptr, pFile->FindStream(ntfs::AttributeList, L""));
    ExpectVerified();
}

TEST_F(RecordContract, FragmentedMftKeepsItsExtensionsInTheReservedRecords)
{
    SIM_FORMAT format;
    format.llTotalClusters = 200000;
    format.llMftRecords = 40000;
    format.nMftPieces = 600;
    MountAndInstall(format, L'M');
    m_hVolume = Open(L"\\\\.\\M:", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0);
    const CSimFile* pMft = m_pVolume->File(ntfs::RecordMft);
    ASSERT_FALSE(pMft->m_extensions.empty());
    for (ULONGLONG ullExtension : pMft->m_extensions)
    {
        const ULONGLONG ullRecord = ullExtension & 0xFFFFFFFFFFFFull;
        EXPECT_GE(ullRecord, 16u);
        EXPECT_LT(ullRecord, 24u);
        std::vector<BYTE> record;
        ASSERT_EQ(ntstatus::Success, ReadRecord(static_cast<LONGLONG>(ullRecord), record));
        EXPECT_EQ(0x0001000000000000ull, Get<ULONGLONG>(record.data(), 32)) << "base record 0, sequence 1";
    }
    WORD wInstance = 0;
    EXPECT_EQ(600u, JoinedRuns(MergedAttributes(0), ntfs::Data, &wInstance).size());
    ExpectVerified();
}

TEST_F(RecordContract, EveryRecordFitsItsSizeWhateverTheNames)
{
    // A long name leaves less room for a value kept in the record; the file system then keeps
    // the value in clusters.
    CSimFile* pFile = m_pVolume->CreateFile(std::wstring(255, L'f'), 100);
    for (int i = 0; i < 3; ++i)
        ASSERT_NE(nullptr, m_pVolume->CreateStream(pFile->m_strName, std::wstring(255, static_cast<wchar_t>(L'a' + i)), 500));
    std::vector<LONGLONG> numbers{static_cast<LONGLONG>(pFile->m_ullId)};
    for (ULONGLONG ullExtension : pFile->m_extensions)
        numbers.push_back(static_cast<LONGLONG>(ullExtension & 0xFFFFFFFFFFFFull));
    for (LONGLONG llRecord : numbers)
    {
        std::vector<BYTE> out(12 + 1024 + 512, 0xCC);
        ASSERT_EQ(ntstatus::Success, FsControl(m_hVolume, FSCTL_GET_NTFS_FILE_RECORD, &llRecord, 8, out.data(),
                                               static_cast<ULONG>(out.size())));
        EXPECT_LE(Get<DWORD>(out.data(), 12 + 24), 1024u) << "bytes in use of record " << llRecord;
        EXPECT_EQ(std::vector<BYTE>(512, 0xCC), std::vector<BYTE>(out.begin() + 12 + 1024, out.end()))
            << "nothing is written past record " << llRecord;
    }
    ExpectVerified();
}

TEST_F(RecordContract, LargeRecordsStartTheirAttributesLater)
{
    SIM_FORMAT format;
    format.llTotalClusters = 100000;
    format.dwBytesPerRecord = 4096;
    MountAndInstall(format, L'L');
    m_hVolume = Open(L"\\\\.\\L:", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0);
    std::vector<BYTE> record;
    ASSERT_EQ(ntstatus::Success, ReadRecord(0, record));
    EXPECT_EQ(4096u, record.size());
    EXPECT_EQ(0x48, Get<WORD>(record.data(), 20));
    EXPECT_EQ(9, Get<WORD>(record.data(), 6));
    ExpectVerified();
}

} // namespace
