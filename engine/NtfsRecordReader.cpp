#include "engine/NtfsRecordReader.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "engine/NativeFunctions.h"
#include "base/UnicodeString.h"
#include "platform/LittleEndian.h"
#include "platform/sys.h"

namespace {

// Offsets within a file record.
constexpr DWORD RecordSequence = 16;
constexpr DWORD RecordFirstAttribute = 20;
constexpr DWORD RecordFlags = 22;
constexpr DWORD RecordBaseReference = 32;
constexpr DWORD RecordBaseSequence = 38;
constexpr DWORD RecordAttributeCount = 40;
constexpr DWORD RecordHeaderBytes = 42;   // every field above, in every NTFS version
constexpr DWORD MergedHeaderBytes = 56;

constexpr WORD FlagInUse = 0x1;
constexpr WORD FlagDirectory = 0x2;

// Offsets within an attribute.
constexpr DWORD AttrLength = 4;
constexpr DWORD AttrNonResident = 8;
constexpr DWORD AttrNameLength = 9;
constexpr DWORD AttrNameOffset = 10;
constexpr DWORD AttrInstance = 14;
constexpr DWORD AttrValueLength = 16;
constexpr DWORD AttrValueOffset = 20;
constexpr DWORD AttrLowestVcn = 16;
constexpr DWORD AttrHighestVcn = 24;
constexpr DWORD AttrMappingPairs = 32;
constexpr DWORD AttrDataSize = 48;
constexpr DWORD AttrInitializedSize = 56;
constexpr DWORD ResidentHeaderBytes = 24;
constexpr DWORD NonResidentHeaderBytes = 64;

constexpr DWORD TypeStandardInformation = 0x10;
constexpr DWORD TypeAttributeList = 0x20;
constexpr DWORD TypeFileName = 0x30;
constexpr DWORD TypeSecurityDescriptor = 0x50;
constexpr DWORD TypeVolumeInformation = 0x70;
constexpr DWORD TypeData = 0x80;
constexpr DWORD TypeIndexAllocation = 0xA0;
constexpr DWORD TypeBitmap = 0xB0;
constexpr DWORD TypeEnd = 0xFFFFFFFF;

// Offsets within an attribute-list entry.
constexpr DWORD EntryLength = 4;
constexpr DWORD EntrySegment = 16;
constexpr DWORD EntryInstance = 24;
constexpr DWORD EntryHeaderBytes = 26;

// Offsets within attribute values.
constexpr DWORD FileNameLength = 64;
constexpr DWORD FileNameSpace = 65;
constexpr DWORD FileNameText = 66;
constexpr BYTE NamespaceDos = 2;
constexpr DWORD StandardModificationTime = 8;
constexpr DWORD VolumeMajor = 8;
constexpr DWORD VolumeMinor = 9;
constexpr DWORD VolumeFlags = 10;
constexpr DWORD VolumeValueBytes = 12;

// NTFS refuses an attribute list beyond 256 KiB, so a longer one is damage.
constexpr LONGLONG MaxListBytes = 256 * 1024;
constexpr size_t MaxMergedBytes = 64 * 1024 * 1024;
constexpr int MaxMergePasses = 4;
constexpr LONGLONG MaxChunkBytes = 64 * 1024 * 1024;
constexpr ULONGLONG SegmentNumberMask = 0x0000FFFFFFFFFFFFull;

const BYTE* Bytes(const NTFS_FILE_RECORD_OUTPUT_BUFFER* pRecord)
{
    return pRecord->FileRecordBuffer;
}

bool IsFileRecord(const NTFS_FILE_RECORD_OUTPUT_BUFFER* pRecord)
{
    return pRecord != nullptr && pRecord->FileRecordLength >= RecordHeaderBytes && Bytes(pRecord)[0] == 'F';
}

WORD RecordFlagsOf(const NTFS_FILE_RECORD_OUTPUT_BUFFER* pRecord)
{
    return le::Get<WORD>(Bytes(pRecord), RecordFlags);
}

bool IsInUseDirectory(const NTFS_FILE_RECORD_OUTPUT_BUFFER* pRecord)
{
    return IsFileRecord(pRecord) && RecordFlagsOf(pRecord) == (FlagInUse | FlagDirectory);
}

bool IsInUseBaseRecord(const NTFS_FILE_RECORD_OUTPUT_BUFFER* pRecord)
{
    return IsFileRecord(pRecord) && (RecordFlagsOf(pRecord) & FlagInUse) != 0 &&
           static_cast<DWORD>(le::Get<ULONGLONG>(Bytes(pRecord), RecordBaseReference)) == 0;
}

// The length of the attribute at dwAt when its header, name, value and mapping pairs lie
// within it and it lies within the record; 0 when anything sticks out.
DWORD CheckedAttributeLength(const BYTE* pBytes, DWORD dwLength, DWORD dwAt)
{
    if (dwAt > dwLength || dwLength - dwAt < ResidentHeaderBytes)
        return 0;
    const BYTE* pAttribute = pBytes + dwAt;
    DWORD dwSize = le::Get<DWORD>(pAttribute, AttrLength);
    BYTE byNonResident = pAttribute[AttrNonResident];
    DWORD dwHeader = byNonResident != 0 ? NonResidentHeaderBytes : ResidentHeaderBytes;
    if (byNonResident > 1 || dwSize < dwHeader || dwSize > dwLength - dwAt)
        return 0;
    BYTE byNameLength = pAttribute[AttrNameLength];
    if (byNameLength != 0 && le::Get<WORD>(pAttribute, AttrNameOffset) + 2u * byNameLength > dwSize)
        return 0;
    if (byNonResident == 0)
    {
        ULONGLONG ullValueEnd = le::Get<WORD>(pAttribute, AttrValueOffset) +
                                static_cast<ULONGLONG>(le::Get<DWORD>(pAttribute, AttrValueLength));
        return ullValueEnd <= dwSize ? dwSize : 0;
    }
    WORD wPairs = le::Get<WORD>(pAttribute, AttrMappingPairs);
    if (wPairs < NonResidentHeaderBytes || wPairs > dwSize || le::Get<LONGLONG>(pAttribute, AttrLowestVcn) < 0)
        return 0;
    return dwSize;
}

// The attribute after pAfter (null: the first) in a record. Null at the end marker, and also
// where an attribute does not fit, which *pbBad then tells.
const BYTE* StepAttribute(const NTFS_FILE_RECORD_OUTPUT_BUFFER* pRecord, const BYTE* pAfter, bool* pbBad)
{
    if (pbBad != nullptr)
        *pbBad = true;
    if (!IsFileRecord(pRecord))
        return nullptr;
    const BYTE* pBytes = Bytes(pRecord);
    DWORD dwLength = pRecord->FileRecordLength;
    DWORD dwAt = le::Get<WORD>(pBytes, RecordFirstAttribute);
    if (pAfter != nullptr)
    {
        if (pAfter < pBytes + dwAt || pAfter >= pBytes + dwLength)
            return nullptr;
        DWORD dwCurrent = static_cast<DWORD>(pAfter - pBytes);
        DWORD dwSize = CheckedAttributeLength(pBytes, dwLength, dwCurrent);
        if (dwSize == 0)
            return nullptr;
        dwAt = dwCurrent + dwSize;
    }
    if (dwAt < RecordHeaderBytes || dwAt > dwLength || dwLength - dwAt < sizeof(DWORD))
        return nullptr;
    if (le::Get<DWORD>(pBytes, dwAt) == TypeEnd)
    {
        if (pbBad != nullptr)
            *pbBad = false;
        return nullptr;
    }
    if (CheckedAttributeLength(pBytes, dwLength, dwAt) == 0)
        return nullptr;
    if (pbBad != nullptr)
        *pbBad = false;
    return pBytes + dwAt;
}

// An extension record names its base by number and by the base's sequence number, which
// changes whenever the base record is used for another file: a list that names someone
// else's record, or a record left over from an earlier file, must not be merged.
bool IsExtensionOf(const NTFS_FILE_RECORD_OUTPUT_BUFFER* pExtension, const NTFS_FILE_RECORD_OUTPUT_BUFFER* pBase)
{
    ULONGLONG ullReference = le::Get<ULONGLONG>(Bytes(pExtension), RecordBaseReference);
    return (ullReference & SegmentNumberMask) == static_cast<ULONGLONG>(pBase->FileReferenceNumber.QuadPart) &&
           le::Get<WORD>(Bytes(pExtension), RecordBaseSequence) == le::Get<WORD>(Bytes(pBase), RecordSequence);
}

const BYTE* FindAttribute(const NTFS_FILE_RECORD_OUTPUT_BUFFER* pRecord, DWORD dwType)
{
    for (const BYTE* p = StepAttribute(pRecord, nullptr, nullptr); p != nullptr;
         p = StepAttribute(pRecord, p, nullptr))
    {
        if (le::Get<DWORD>(p, 0) == dwType)
            return p;
    }
    return nullptr;
}

DWORD TypeOf(const BYTE* pAttribute) { return le::Get<DWORD>(pAttribute, 0); }
bool IsResident(const BYTE* pAttribute) { return pAttribute[AttrNonResident] == 0; }
bool IsNamed(const BYTE* pAttribute) { return pAttribute[AttrNameLength] != 0; }

const BYTE* ResidentValue(const BYTE* pAttribute, DWORD& dwLength)
{
    dwLength = le::Get<DWORD>(pAttribute, AttrValueLength);
    return pAttribute + le::Get<WORD>(pAttribute, AttrValueOffset);
}

bool SameName(const BYTE* pA, const BYTE* pB)
{
    int nA = 0;
    int nB = 0;
    const wchar_t* pszA = CNtfsRecordReader::GetAttributeName(pA, nA);
    const wchar_t* pszB = CNtfsRecordReader::GetAttributeName(pB, nB);
    return nA == nB && (nA == 0 || wmemcmp(pszA, pszB, nA) == 0);
}

// Little-endian integer of 1 to 8 bytes; a signed one is sign-extended from its top byte.
ULONGLONG ReadUnsigned(const BYTE* p, int nBytes)
{
    ULONGLONG ullValue = 0;
    for (int i = nBytes - 1; i >= 0; --i)
        ullValue = (ullValue << 8) | p[i];
    return ullValue;
}

LONGLONG ReadSigned(const BYTE* p, int nBytes)
{
    ULONGLONG ullValue = ReadUnsigned(p, nBytes);
    if (nBytes < 8 && (p[nBytes - 1] & 0x80) != 0)
        ullValue |= ~0ull << (8 * nBytes);
    return static_cast<LONGLONG>(ullValue);
}

LONGLONG CeilDiv(LONGLONG llValue, LONGLONG llUnit)
{
    return llValue / llUnit + (llValue % llUnit != 0 ? 1 : 0);
}

// Names in records are counted, not terminated. Both parts stay within the string's length
// limit here: a path is bounded far below it.
void AssignJoined(CUnicodeString& strOut, const wchar_t* pszHead, int nHead, const wchar_t* pszTail, int nTail)
{
    wchar_t* pszBuffer = strOut.GetBufferSetLength(nHead + nTail);
    if (nHead > 0)
        wmemcpy(pszBuffer, pszHead, nHead);
    if (nTail > 0)
        wmemcpy(pszBuffer + nHead, pszTail, nTail);
}

void AppendText(CUnicodeString& strOut, const wchar_t* pszText, int nLength)
{
    if (nLength == 0)
        return;
    CUnicodeString strHead(strOut);
    AssignJoined(strOut, strHead.GetBuffer(), strHead.GetLength(), pszText, nLength);
}

const wchar_t* StreamSuffix(DWORD dwType)
{
    switch (dwType)
    {
    case 0x10: return L":$STANDARD_INFORMATION";
    case 0x20: return L":$ATTRIBUTE_LIST";
    case 0x30: return L":$FILE_NAME";
    case 0x40: return L":$OBJECT_ID";
    case 0x50: return L":$SECURITY_DESCRIPTOR";
    case 0x60: return L":$VOLUME_NAME";
    case 0x70: return L":$VOLUME_INFORMATION";
    case 0x80: return L":$DATA";
    case 0x90: return L":$INDEX_ROOT";
    case 0xA0: return L":$INDEX_ALLOCATION";
    case 0xB0: return L":$BITMAP";
    case 0xC0: return L":$REPARSE_POINT";
    case 0xD0: return L":$EA_INFORMATION";
    case 0xE0: return L":$EA";
    case 0x100: return L":$LOGGED_UTILITY_STREAM";
    default: return L"";
    }
}

// The $FILE_NAME after pAfter (null: the first) that is not a DOS-only name; a file has one
// of these for each of its hard links.
const BYTE* NextUsableName(const NTFS_FILE_RECORD_OUTPUT_BUFFER* pRecord, const BYTE* pAfter, const wchar_t*& pszName,
                           int& nLength, LONGLONG& llParent)
{
    for (const BYTE* p = StepAttribute(pRecord, pAfter, nullptr); p != nullptr; p = StepAttribute(pRecord, p, nullptr))
    {
        if (TypeOf(p) != TypeFileName || !IsResident(p))
            continue;
        DWORD dwLength = 0;
        const BYTE* pValue = ResidentValue(p, dwLength);
        if (dwLength < FileNameText || pValue[FileNameSpace] == NamespaceDos || pValue[FileNameLength] == 0 ||
            FileNameText + 2u * pValue[FileNameLength] > dwLength)
            continue;
        nLength = pValue[FileNameLength];
        llParent = static_cast<DWORD>(le::Get<ULONGLONG>(pValue, 0));
        pszName = reinterpret_cast<const wchar_t*>(pValue + FileNameText);
        return p;
    }
    return nullptr;
}

// NTFS compares names through its upper-case table, which the system's ordinal compare
// without case follows.
bool EqualNoCase(const wchar_t* pszA, int nA, const wchar_t* pszB, int nB)
{
    return nA == nB && CUnicodeString::CompareOrdinalNoCase(pszA, nA, pszB, nB) == 0;
}

} // namespace

CNtfsRecordReader::CNtfsRecordReader(HANDLE hVolume, DWORD dwBytesPerRecord, DWORD dwBytesPerCluster)
    : m_hVolume(hVolume), m_dwBytesPerRecord(dwBytesPerRecord), m_dwBytesPerCluster(dwBytesPerCluster),
      m_llChunkFirstCluster(0), m_dwChunkBits(0), m_dwRecordBufferSize(0), m_bRecordDamaged(false),
      m_bDirty(false)
{
}

CNtfsRecordReader::~CNtfsRecordReader()
{
    ClearNames();
}

CNtfsRecordReader::FETCH CNtfsRecordReader::FetchRecord(LONGLONG llRecord, NTFS_FILE_RECORD_OUTPUT_BUFFER* pBuffer,
                                                        DWORD dwSize)
{
    const DWORD dwHeader = offsetof(NTFS_FILE_RECORD_OUTPUT_BUFFER, FileRecordBuffer);
    if (llRecord < 0 || pBuffer == nullptr || dwSize <= dwHeader)
        return FETCH::Failed;
    NTFS_FILE_RECORD_INPUT_BUFFER stInput = {};
    stInput.FileReferenceNumber.QuadPart = llRecord;
    DWORD dwReturned = 0;
    if (!sys::DeviceIoControl(m_hVolume, FSCTL_GET_NTFS_FILE_RECORD, &stInput, sizeof(stInput), pBuffer, dwSize,
                              &dwReturned, nullptr) ||
        dwReturned < dwHeader || dwReturned > dwSize)
        return FETCH::Failed;
    pBuffer->FileRecordLength = std::min(pBuffer->FileRecordLength, dwReturned - dwHeader);
    if (pBuffer->FileReferenceNumber.QuadPart != llRecord)
    {
        pBuffer->FileReferenceNumber.QuadPart = NoRecord;
        return FETCH::NotInUse;
    }
    return FETCH::Read;
}

bool CNtfsRecordReader::ReadFileRecord(LONGLONG llRecord, NTFS_FILE_RECORD_OUTPUT_BUFFER* pBuffer, DWORD dwSize)
{
    return FetchRecord(llRecord, pBuffer, dwSize) == FETCH::Read;
}

bool CNtfsRecordReader::ReadClusters(LONGLONG llLcn, DWORD dwCount, void* pBuffer)
{
    if (llLcn < 0 || m_dwBytesPerCluster == 0 || llLcn > MAXLONGLONG / m_dwBytesPerCluster ||
        dwCount > MAXDWORD / m_dwBytesPerCluster)
        return false;
    LARGE_INTEGER liOffset;
    liOffset.QuadPart = llLcn * m_dwBytesPerCluster;
    DWORD dwBytes = dwCount * m_dwBytesPerCluster;
    DWORD dwRead = 0;
    return sys::SetFilePointerEx(m_hVolume, liOffset, nullptr, FILE_BEGIN) &&
           sys::ReadFile(m_hVolume, pBuffer, dwBytes, &dwRead, nullptr) && dwRead == dwBytes;
}

NTFS_FILE_RECORD_OUTPUT_BUFFER* CNtfsRecordReader::Loaded() const
{
    return reinterpret_cast<NTFS_FILE_RECORD_OUTPUT_BUFFER*>(m_pRecord.get());
}

const NTFS_FILE_RECORD_OUTPUT_BUFFER* CNtfsRecordReader::GetRecord() const
{
    return Loaded();
}

LONGLONG CNtfsRecordReader::GetRecordNumber() const
{
    return m_pRecord ? Loaded()->FileReferenceNumber.QuadPart : NoRecord;
}

bool CNtfsRecordReader::IsLoaded(LONGLONG llRecord) const
{
    return llRecord >= 0 && GetRecordNumber() == llRecord;
}

// Reads into the record buffer and judges what was read: a record whose attributes or run
// lists do not hold together is marked damaged.
CNtfsRecordReader::FETCH CNtfsRecordReader::FetchLoadedRecord(LONGLONG llRecord)
{
    DWORD dwWanted = m_dwBytesPerRecord + 15;
    if (!m_pRecord || m_dwRecordBufferSize < dwWanted)
    {
        m_pRecord.reset(new BYTE[dwWanted]);
        m_dwRecordBufferSize = dwWanted;
    }
    m_bRecordDamaged = false;
    FETCH eResult = FetchRecord(llRecord, Loaded(), m_dwRecordBufferSize);
    if (eResult == FETCH::Failed)
    {
        Loaded()->FileReferenceNumber.QuadPart = NoRecord;
        Loaded()->FileRecordLength = 0;
    }
    if (eResult == FETCH::Read)
        m_bRecordDamaged = !HoldsTogether();
    return eResult;
}

// Every attribute of the loaded record fits, the end marker is there, and every run list
// decodes within its attribute.
bool CNtfsRecordReader::HoldsTogether() const
{
    bool bBad = false;
    for (const BYTE* p = StepAttribute(Loaded(), nullptr, &bBad); p != nullptr; p = StepAttribute(Loaded(), p, &bBad))
    {
        DATA_RUN_CURSOR cursor = {};
        RUN run;
        int nStatus = RunAllocated;
        while (!IsResident(p) && (nStatus == RunAllocated || nStatus == RunSparse))
            nStatus = DecodeRun(p, cursor, run);
        if (nStatus == RunMalformed)
            return false;
    }
    return !bBad;
}

bool CNtfsRecordReader::LoadRecord(LONGLONG llRecord)
{
    if (FetchLoadedRecord(llRecord) != FETCH::Read)
        return false;
    if (IsInUseBaseRecord(Loaded()) && HasAttributeList(Loaded()))
        return MergeAttributeList() != FETCH::Failed;
    return true;
}

const BYTE* CNtfsRecordReader::NextAttribute(const BYTE* pAfter, bool bSkipResident) const
{
    if (!m_pRecord)
        return nullptr;
    const BYTE* p = StepAttribute(Loaded(), pAfter, nullptr);
    while (p != nullptr && bSkipResident && IsResident(p))
        p = StepAttribute(Loaded(), p, nullptr);
    return p;
}

int CNtfsRecordReader::GetAttributeIndex(const BYTE* pAttribute) const
{
    int nIndex = 0;
    for (const BYTE* p = NextAttribute(nullptr, false); p != nullptr; p = NextAttribute(p, false), ++nIndex)
    {
        if (p == pAttribute)
            return nIndex;
    }
    return -1;
}

const BYTE* CNtfsRecordReader::AttributeAt(int nPosition) const
{
    const BYTE* p = NextAttribute(nullptr, false);
    for (int i = 0; p != nullptr && i < nPosition; ++i)
        p = NextAttribute(p, false);
    return p;
}

const wchar_t* CNtfsRecordReader::GetAttributeName(const BYTE* pAttribute, int& nLength)
{
    nLength = pAttribute != nullptr ? pAttribute[AttrNameLength] : 0;
    if (nLength == 0)
        return nullptr;
    return reinterpret_cast<const wchar_t*>(pAttribute + le::Get<WORD>(pAttribute, AttrNameOffset));
}

LONGLONG CNtfsRecordReader::GetClusterCount(LONGLONG llRecord, const BYTE* pAttribute) const
{
    if (!IsLoaded(llRecord) || pAttribute == nullptr || IsResident(pAttribute) || m_dwBytesPerCluster == 0)
        return 0;
    LONGLONG llSize = le::Get<LONGLONG>(pAttribute, AttrDataSize);
    return llSize > 0 ? CeilDiv(llSize, m_dwBytesPerCluster) : 0;
}

bool CNtfsRecordReader::IsDirectoryRecord(const NTFS_FILE_RECORD_OUTPUT_BUFFER* pRecord)
{
    if (!IsFileRecord(pRecord))
        return false;
    WORD wFlags = RecordFlagsOf(pRecord);
    return wFlags == FlagDirectory || wFlags == (FlagInUse | FlagDirectory);
}

bool CNtfsRecordReader::HasAttributeList(const NTFS_FILE_RECORD_OUTPUT_BUFFER* pRecord)
{
    return FindAttribute(pRecord, TypeAttributeList) != nullptr;
}

LONGLONG CNtfsRecordReader::GetModificationTime(const NTFS_FILE_RECORD_OUTPUT_BUFFER* pRecord)
{
    const BYTE* pAttribute = FindAttribute(pRecord, TypeStandardInformation);
    DWORD dwLength = 0;
    const BYTE* pValue = pAttribute != nullptr && IsResident(pAttribute) ? ResidentValue(pAttribute, dwLength) : nullptr;
    if (pValue == nullptr || dwLength < StandardModificationTime + sizeof(LONGLONG))
        return NoTime;
    return le::Get<LONGLONG>(pValue, StandardModificationTime);
}

const wchar_t* CNtfsRecordReader::GetFileName(const NTFS_FILE_RECORD_OUTPUT_BUFFER* pRecord, int& nLength,
                                              LONGLONG& llParent)
{
    const wchar_t* pszName = nullptr;
    return NextUsableName(pRecord, nullptr, pszName, nLength, llParent) != nullptr ? pszName : nullptr;
}

// One run of an attribute's mapping pairs. A sparse run leaves the base LCN alone, as NTFS
// does; a run list that leaves the attribute, or leads before cluster 0, is malformed.
int CNtfsRecordReader::DecodeRun(const BYTE* pAttribute, DATA_RUN_CURSOR& cursor, RUN& run) const
{
    DWORD dwSize = le::Get<DWORD>(pAttribute, AttrLength);
    if (cursor.dwOffset == 0)
    {
        cursor.dwOffset = le::Get<WORD>(pAttribute, AttrMappingPairs);
        cursor.llNextVcn = le::Get<LONGLONG>(pAttribute, AttrLowestVcn);
        cursor.llLcn = 0;
    }
    if (cursor.llNextVcn > le::Get<LONGLONG>(pAttribute, AttrHighestVcn))
        return RunEnd;
    if (cursor.dwOffset >= dwSize)
        return RunMalformed;
    const BYTE* pRun = pAttribute + cursor.dwOffset;
    if (pRun[0] == 0)
        return RunEnd;
    int nLengthBytes = pRun[0] & 0x0F;
    int nOffsetBytes = pRun[0] >> 4;
    if (nLengthBytes == 0 || nLengthBytes > 8 || nOffsetBytes > 8 ||
        dwSize - cursor.dwOffset - 1 < static_cast<DWORD>(nLengthBytes + nOffsetBytes))
        return RunMalformed;
    LONGLONG llLength = static_cast<LONGLONG>(ReadUnsigned(pRun + 1, nLengthBytes));
    if (llLength <= 0 || cursor.llNextVcn > MAXLONGLONG - llLength)
        return RunMalformed;
    int nStatus = RunSparse;
    run.llLcn = -1;
    if (nOffsetBytes != 0)
    {
        LONGLONG llLcn = 0;
        if (__builtin_add_overflow(cursor.llLcn, ReadSigned(pRun + 1 + nLengthBytes, nOffsetBytes), &llLcn) ||
            llLcn < 0)
            return RunMalformed;
        cursor.llLcn = llLcn;
        run.llLcn = llLcn;
        nStatus = RunAllocated;
    }
    run.llVcn = cursor.llNextVcn;
    run.llLength = llLength;
    cursor.llNextVcn += llLength;
    cursor.dwOffset += 1 + nLengthBytes + nOffsetBytes;
    return nStatus;
}

// A stream split over several attribute records repeats its type and name, and each piece
// starts at the VCN after the previous one's last.
bool CNtfsRecordReader::ContinuesInNext(const BYTE* pAttribute) const
{
    const BYTE* pNext = NextAttribute(pAttribute, true);
    return pNext != nullptr && TypeOf(pNext) == TypeOf(pAttribute) && SameName(pNext, pAttribute) &&
           le::Get<LONGLONG>(pAttribute, AttrHighestVcn) < MAXLONGLONG &&
           le::Get<LONGLONG>(pNext, AttrLowestVcn) == le::Get<LONGLONG>(pAttribute, AttrHighestVcn) + 1;
}

bool CNtfsRecordReader::NextDataRun(LONGLONG llRecord, const BYTE* pAttribute, DATA_RUN_CURSOR& cursor,
                                    LONGLONG& llLcn, LONGLONG& llLength, LONGLONG& llVcn, int& nStatus) const
{
    nStatus = RunEnd;
    // The attribute is checked against the loaded record before its first run; from then on the
    // cursor stands for it, and a walk of the record's attributes for every run would cost
    // more than decoding the run.
    if (cursor.dwOffset == 0 && (!IsLoaded(llRecord) || GetAttributeIndex(pAttribute) < 0 || IsResident(pAttribute)))
        return false;
    RUN run;
    nStatus = DecodeRun(pAttribute, cursor, run);
    if (nStatus == RunAllocated || nStatus == RunSparse)
    {
        llLcn = run.llLcn;
        llLength = run.llLength;
        llVcn = run.llVcn;
        return true;
    }
    if (nStatus == RunEnd && ContinuesInNext(pAttribute))
        nStatus = RunContinues;
    return false;
}

// A list is read from its clusters up to its initialized size.
CNtfsRecordReader::READ CNtfsRecordReader::ReadNonResidentList(const BYTE* pAttribute, std::vector<BYTE>& list)
{
    LONGLONG llInitialized = le::Get<LONGLONG>(pAttribute, AttrInitializedSize);
    if (llInitialized < 0 || llInitialized > MaxListBytes || le::Get<LONGLONG>(pAttribute, AttrLowestVcn) != 0 ||
        m_dwBytesPerCluster == 0)
        return READ::Damaged;
    LONGLONG llClusters = CeilDiv(llInitialized, m_dwBytesPerCluster);
    list.assign(static_cast<size_t>(llClusters * m_dwBytesPerCluster), 0);
    DATA_RUN_CURSOR cursor = {};
    RUN run;
    LONGLONG llCovered = 0;
    int nStatus;
    while ((nStatus = DecodeRun(pAttribute, cursor, run)) == RunAllocated || nStatus == RunSparse)
    {
        if (run.llVcn != llCovered || llCovered >= llClusters)
            break;
        LONGLONG llTake = std::min(run.llLength, llClusters - llCovered);
        if (nStatus == RunAllocated &&
            !ReadClusters(run.llLcn, static_cast<DWORD>(llTake), list.data() + llCovered * m_dwBytesPerCluster))
            return READ::Failed;
        llCovered += llTake;
    }
    if (nStatus == RunMalformed || llCovered < llClusters)
        return READ::Damaged;
    list.resize(static_cast<size_t>(llInitialized));
    return READ::Ok;
}

// The record that holds a list entry's attribute: the base record itself, or an extension
// record, read once for each run of entries that name it.
CNtfsRecordReader::READ CNtfsRecordReader::ReadListHolder(LONGLONG llHolder, const std::vector<BYTE>& base,
                                                          const NTFS_FILE_RECORD_OUTPUT_BUFFER*& pHolder)
{
    auto pBase = reinterpret_cast<const NTFS_FILE_RECORD_OUTPUT_BUFFER*>(base.data());
    if (llHolder == pBase->FileReferenceNumber.QuadPart)
    {
        pHolder = pBase;
        return READ::Ok;
    }
    auto pScratch = reinterpret_cast<NTFS_FILE_RECORD_OUTPUT_BUFFER*>(m_scratch.data());
    if (pHolder == pScratch && pScratch->FileReferenceNumber.QuadPart == llHolder)
        return READ::Ok;
    FETCH eFetch = FetchRecord(llHolder, pScratch, static_cast<DWORD>(m_scratch.size()));
    if (eFetch == FETCH::Failed)
        return READ::Failed;
    pHolder = pScratch;
    return eFetch == FETCH::Read && IsFileRecord(pScratch) && (RecordFlagsOf(pScratch) & FlagInUse) != 0 &&
                   IsExtensionOf(pScratch, pBase)
               ? READ::Ok
               : READ::Damaged;
}

// One merge: the base record's header followed by every attribute the list names, in list
// order. An entry whose attribute cannot be found ends the merge with what was found. The
// list attribute itself is not among them, so the clusters of a non-resident list belong to
// no stream of a walk: the analysis meets them as used in the volume bitmap, in no file.
CNtfsRecordReader::READ CNtfsRecordReader::MergeOnce()
{
    const DWORD dwHeader = offsetof(NTFS_FILE_RECORD_OUTPUT_BUFFER, FileRecordBuffer);
    std::vector<BYTE> base(m_pRecord.get(), m_pRecord.get() + dwHeader + Loaded()->FileRecordLength);
    auto pBase = reinterpret_cast<const NTFS_FILE_RECORD_OUTPUT_BUFFER*>(base.data());
    const BYTE* pListAttribute = FindAttribute(pBase, TypeAttributeList);
    if (pListAttribute == nullptr || pBase->FileRecordLength < MergedHeaderBytes)
        return READ::Damaged;
    std::vector<BYTE> stored;
    const BYTE* pList = nullptr;
    DWORD dwListLength = 0;
    if (IsResident(pListAttribute))
        pList = ResidentValue(pListAttribute, dwListLength);
    else
    {
        READ eRead = ReadNonResidentList(pListAttribute, stored);
        if (eRead != READ::Ok)
            return eRead;
        pList = stored.data();
        dwListLength = static_cast<DWORD>(stored.size());
    }
    m_scratch.resize(m_dwBytesPerRecord + 15);

    std::vector<BYTE> merged(Bytes(pBase), Bytes(pBase) + MergedHeaderBytes);
    le::Put<WORD>(merged.data(), RecordFirstAttribute, MergedHeaderBytes);
    READ eResult = READ::Ok;
    int nAttributes = 0;
    const NTFS_FILE_RECORD_OUTPUT_BUFFER* pHolder = nullptr;
    for (DWORD dwAt = 0; dwAt + EntryHeaderBytes <= dwListLength && le::Get<DWORD>(pList, dwAt) != TypeEnd;)
    {
        const BYTE* pEntry = pList + dwAt;
        WORD wEntryLength = le::Get<WORD>(pEntry, EntryLength);
        if (wEntryLength < EntryHeaderBytes || wEntryLength > dwListLength - dwAt)
        {
            eResult = READ::Damaged;
            break;
        }
        LONGLONG llHolder = static_cast<LONGLONG>(le::Get<ULONGLONG>(pEntry, EntrySegment) & SegmentNumberMask);
        eResult = ReadListHolder(llHolder, base, pHolder);
        if (eResult != READ::Ok)
            break;
        const BYTE* pFound = StepAttribute(pHolder, nullptr, nullptr);
        while (pFound != nullptr && (TypeOf(pFound) != TypeOf(pEntry) ||
                                     le::Get<WORD>(pFound, AttrInstance) != le::Get<WORD>(pEntry, EntryInstance)))
            pFound = StepAttribute(pHolder, pFound, nullptr);
        DWORD dwSize = pFound != nullptr ? le::Get<DWORD>(pFound, AttrLength) : 0;
        if (pFound == nullptr || merged.size() + dwSize > MaxMergedBytes)
        {
            eResult = READ::Damaged;
            break;
        }
        merged.insert(merged.end(), pFound, pFound + dwSize);
        ++nAttributes;
        dwAt += wEntryLength;
    }
    if (eResult == READ::Failed)
        return eResult;
    TakeMergedRecord(merged, nAttributes);
    return eResult;
}

void CNtfsRecordReader::TakeMergedRecord(std::vector<BYTE>& merged, int nAttributes)
{
    const DWORD dwHeader = offsetof(NTFS_FILE_RECORD_OUTPUT_BUFFER, FileRecordBuffer);
    static const BYTE abEnd[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
    merged.insert(merged.end(), abEnd, abEnd + sizeof(abEnd));
    le::Put<WORD>(merged.data(), RecordAttributeCount, static_cast<WORD>(nAttributes + 1));

    LONGLONG llRecord = GetRecordNumber();
    DWORD dwLength = static_cast<DWORD>(merged.size());
    DWORD dwSize = std::max(dwLength + 16, m_dwRecordBufferSize);
    if (dwSize > m_dwRecordBufferSize)
    {
        m_pRecord.reset(new BYTE[dwSize]);
        m_dwRecordBufferSize = dwSize;
    }
    Loaded()->FileReferenceNumber.QuadPart = llRecord;
    Loaded()->FileRecordLength = dwLength;
    memcpy(m_pRecord.get() + dwHeader, merged.data(), dwLength);
    m_bRecordDamaged = m_bRecordDamaged || !HoldsTogether();
}

// Merging repeats while the result still holds a list; a list that keeps coming back is damage.
CNtfsRecordReader::FETCH CNtfsRecordReader::MergeAttributeList()
{
    for (int nPass = 0; nPass < MaxMergePasses && HasAttributeList(Loaded()); ++nPass)
    {
        READ eRead = MergeOnce();
        if (eRead == READ::Failed)
            return FETCH::Failed;
        if (eRead == READ::Damaged)
        {
            m_bRecordDamaged = true;
            return FETCH::Read;
        }
    }
    m_bRecordDamaged = m_bRecordDamaged || HasAttributeList(Loaded());
    return FETCH::Read;
}

bool CNtfsRecordReader::GetVolumeInformation(BYTE& byMajor, BYTE& byMinor, WORD& wFlags)
{
    const LONGLONG llVolumeRecord = 3;
    if (!LoadRecord(llVolumeRecord))
        return false;
    const BYTE* pAttribute = FindAttribute(Loaded(), TypeVolumeInformation);
    DWORD dwLength = 0;
    const BYTE* pValue = pAttribute != nullptr && IsResident(pAttribute) ? ResidentValue(pAttribute, dwLength) : nullptr;
    if (pValue == nullptr || dwLength < VolumeValueBytes)
        return false;
    byMajor = pValue[VolumeMajor];
    byMinor = pValue[VolumeMinor];
    wFlags = le::Get<WORD>(pValue, VolumeFlags);
    return true;
}

bool CNtfsRecordReader::IsVolumeDirty()
{
    BYTE byMajor = 0;
    BYTE byMinor = 0;
    WORD wFlags = 0;
    m_bDirty = !GetVolumeInformation(byMajor, byMinor, wFlags) || (wFlags & 0x1) != 0;
    return m_bDirty;
}

void CNtfsRecordReader::DropChunk()
{
    m_llChunkFirstCluster = 0;
    m_dwChunkBits = 0;
    m_chunk.clear();
}

// Reads the bitmap bits of one run that stand for records of the MFT: up to the bitmap's
// initialized size and no further than the MFT's last record. What lies behind counts as clear.
CNtfsRecordReader::CHUNK CNtfsRecordReader::ReadChunk(const RUN& run, LONGLONG llBitmapBytes, LONGLONG llRecords)
{
    // A bitmap has a bit for every record: a run without clusters is no bitmap, and the
    // walk must not take it for a span of records not in use.
    if (run.llLcn < 0)
        return CHUNK::Failed;
    LONGLONG llStartByte = run.llVcn * m_dwBytesPerCluster;
    LONGLONG llWanted = llBitmapBytes - llStartByte;
    LONGLONG llClusters = std::min(run.llLength, CeilDiv(llWanted, m_dwBytesPerCluster));
    // Compared by division: the product of a hostile length and the cluster size can wrap.
    if (llClusters > MaxChunkBytes / m_dwBytesPerCluster)
        return CHUNK::Failed;
    DWORD dwBytes = static_cast<DWORD>(llClusters * m_dwBytesPerCluster);
    DWORD dwValid = static_cast<DWORD>(std::min<LONGLONG>(dwBytes, llWanted));
    m_chunk.assign(CeilDiv(dwBytes, sizeof(ULONG)), 0xECECECEC);
    BYTE* pBits = reinterpret_cast<BYTE*>(m_chunk.data());
    if (!ReadClusters(run.llLcn, static_cast<DWORD>(llClusters), pBits))
        return CHUNK::Failed;
    memset(pBits + dwValid, 0, m_chunk.size() * sizeof(ULONG) - dwValid);
    DWORD dwBits = static_cast<DWORD>(std::min<LONGLONG>(dwValid * 8LL, llRecords - llStartByte * 8));
    for (DWORD dwBit = dwBits; dwBit < dwValid * 8; ++dwBit)
        pBits[dwBit / 8] &= static_cast<BYTE>(~(1u << (dwBit % 8)));
    m_llChunkFirstCluster = run.llVcn;
    m_dwChunkBits = dwBits;
    return CHUNK::Loaded;
}

// The number of records the MFT holds: the size of its unnamed $DATA, whose first piece
// carries the stream's sizes. 0 when the loaded record 0 has no such stream.
LONGLONG CNtfsRecordReader::CountMftRecords() const
{
    for (const BYTE* p = NextAttribute(nullptr, true); p != nullptr; p = NextAttribute(p, true))
    {
        if (TypeOf(p) == TypeData && !IsNamed(p) && le::Get<LONGLONG>(p, AttrLowestVcn) == 0)
        {
            LONGLONG llSize = le::Get<LONGLONG>(p, AttrDataSize);
            return llSize > 0 ? llSize / m_dwBytesPerRecord : 0;
        }
    }
    return 0;
}

// The chunk that covers a record, from the runs of the MFT's own unnamed $BITMAP. A record
// behind the bitmap's initialized size or behind the MFT's last record is the end; a bitmap
// that cannot be read, is resident, sparse or has no run where a record should be is a
// failure, and so is an MFT without a size.
CNtfsRecordReader::CHUNK CNtfsRecordReader::LoadChunk(LONGLONG llRecord)
{
    DropChunk();
    if (m_dwBytesPerCluster == 0 || m_dwBytesPerRecord == 0 || !LoadRecord(0))
        return CHUNK::Failed;
    const BYTE* pBitmap = NextAttribute(nullptr, false);
    while (pBitmap != nullptr && (TypeOf(pBitmap) != TypeBitmap || IsNamed(pBitmap)))
        pBitmap = NextAttribute(pBitmap, false);
    LONGLONG llRecords = CountMftRecords();
    if (pBitmap == nullptr || IsResident(pBitmap) || llRecords == 0)
        return CHUNK::Failed;
    // The initialized size comes from the record as it is; the MFT's own size bounds it.
    LONGLONG llBitmapBytes = std::min(le::Get<LONGLONG>(pBitmap, AttrInitializedSize), CeilDiv(llRecords, 8));
    if (llRecord / 8 >= llBitmapBytes || llRecord >= llRecords)
        return CHUNK::End;
    LONGLONG llCluster = llRecord / 8 / m_dwBytesPerCluster;
    for (const BYTE* p = pBitmap; p != nullptr; p = NextAttribute(p, true))
    {
        if (TypeOf(p) != TypeBitmap || IsNamed(p))
            continue;
        DATA_RUN_CURSOR cursor = {};
        RUN run;
        int nStatus;
        while ((nStatus = DecodeRun(p, cursor, run)) == RunAllocated || nStatus == RunSparse)
        {
            if (run.llVcn <= llCluster && llCluster - run.llVcn < run.llLength)
                return ReadChunk(run, llBitmapBytes, llRecords);
        }
        if (nStatus == RunMalformed)
            return CHUNK::Failed;
    }
    return CHUNK::Failed;
}

LONGLONG CNtfsRecordReader::FindNextInUseRecord(LONGLONG llFrom, bool& bFailed)
{
    bFailed = false;
    for (;;)
    {
        LONGLONG llFirst = m_llChunkFirstCluster * m_dwBytesPerCluster * 8;
        if (m_dwChunkBits == 0 || llFrom < llFirst || llFrom - llFirst >= m_dwChunkBits)
        {
            CHUNK eChunk = LoadChunk(llFrom);
            llFirst = m_llChunkFirstCluster * m_dwBytesPerCluster * 8;
            bFailed = eChunk == CHUNK::Failed ||
                      (eChunk == CHUNK::Loaded && (llFrom < llFirst || llFrom - llFirst >= m_dwChunkBits));
            if (eChunk != CHUNK::Loaded || bFailed)
            {
                DropChunk();
                return NoRecord;
            }
        }
        native::RTL_BITMAP stBitmap;
        native::RtlInitializeBitMap(&stBitmap, m_chunk.data(), m_dwChunkBits);
        ULONG ulHint = static_cast<ULONG>(llFrom - llFirst);
        // The search wraps to the chunk's start; a hit before the hint is no hit.
        ULONG ulFound = native::RtlFindSetBits(&stBitmap, 1, ulHint);
        if (ulFound != native::NoBitFound && ulFound >= ulHint)
            return llFirst + ulFound;
        llFrom = llFirst + m_dwChunkBits;
    }
}

LONGLONG CNtfsRecordReader::BeginEnumeration()
{
    ClearNames();
    if (LoadChunk(0) != CHUNK::Loaded)
    {
        m_bDirty = true;
        return NoRecord;
    }
    return NextRecord(NoRecord);
}

LONGLONG CNtfsRecordReader::NextRecord(LONGLONG llAfter)
{
    LONGLONG llFrom = std::max<LONGLONG>(llAfter, NoRecord) + 1;
    for (;;)
    {
        bool bFailed = false;
        LONGLONG llRecord = FindNextInUseRecord(llFrom, bFailed);
        if (llRecord == NoRecord)
        {
            m_bDirty = m_bDirty || bFailed;
            return NoRecord;
        }
        llFrom = llRecord + 1;
        FETCH eFetch = FetchLoadedRecord(llRecord);
        if (eFetch == FETCH::Failed)
        {
            m_bDirty = true;
            return NoRecord;
        }
        if (eFetch == FETCH::NotInUse || !IsInUseBaseRecord(Loaded()))
            continue;
        if (IsInUseDirectory(Loaded()))
            CacheDirectory(llRecord, Loaded());
        if (HasAttributeList(Loaded()) && MergeAttributeList() == FETCH::Failed)
        {
            m_bDirty = true;
            return NoRecord;
        }
        return llRecord;
    }
}

// The MFT's own extension records name record 0 as their base, with sequence number 1.
LONGLONG CNtfsRecordReader::NextBaseRecord(LONGLONG llAfter)
{
    LONGLONG llRecord = NextRecord(llAfter);
    while (llRecord != NoRecord && (le::Get<WORD>(Bytes(Loaded()), RecordBaseSequence) & 0x1) != 0)
        llRecord = NextRecord(llRecord);
    return llRecord;
}

void CNtfsRecordReader::CacheDirectory(LONGLONG llRecord, const NTFS_FILE_RECORD_OUTPUT_BUFFER* pRecord)
{
    int nLength = 0;
    LONGLONG llParent = 0;
    const wchar_t* pszName = GetFileName(pRecord, nLength, llParent);
    if (pszName == nullptr)
        return;
    // A directory met before keeps its name: the insert finds it on its own way down, which
    // spares a walk of the tree for every directory.
    CUnicodeString* pName = new CUnicodeString;
    wmemcpy(pName->GetBufferSetLength(nLength), pszName, nLength);
    if (!m_names.Insert(llRecord, pName, llParent))
        delete pName;
}

// A miss is filled from the record itself, read aside so that the loaded record stays:
// parents often have higher numbers than their children and are met before their turn.
const CRecordMapNode* CNtfsRecordReader::FindDirectory(LONGLONG llRecord)
{
    const CRecordMapNode* pNode = m_names.Find(llRecord);
    if (pNode != nullptr)
        return pNode;
    m_scratch.resize(m_dwBytesPerRecord + 15);
    auto pScratch = reinterpret_cast<NTFS_FILE_RECORD_OUTPUT_BUFFER*>(m_scratch.data());
    if (FetchRecord(llRecord, pScratch, static_cast<DWORD>(m_scratch.size())) != FETCH::Read ||
        !IsInUseDirectory(pScratch) || !IsInUseBaseRecord(pScratch))
        return nullptr;
    if (HasAttributeList(pScratch))
        CacheMergedDirectory(llRecord);
    else
        CacheDirectory(llRecord, pScratch);
    return m_names.Find(llRecord);
}

// A directory's name may lie in an extension record (the file system moves $FILE_NAME out
// first when a record overflows), so such a directory is named only once merged. The merge
// works in the record buffer: the loaded record is set aside for it, whole, and put back, so
// that pointers into it stay good.
void CNtfsRecordReader::CacheMergedDirectory(LONGLONG llRecord)
{
    std::unique_ptr<BYTE[]> pLoaded(std::move(m_pRecord));
    DWORD dwLoadedSize = m_dwRecordBufferSize;
    bool bLoadedDamaged = m_bRecordDamaged;
    m_dwRecordBufferSize = 0;
    if (LoadRecord(llRecord) && IsInUseDirectory(Loaded()))
        CacheDirectory(llRecord, Loaded());
    m_pRecord = std::move(pLoaded);
    m_dwRecordBufferSize = dwLoadedSize;
    m_bRecordDamaged = bLoadedDamaged;
}

bool CNtfsRecordReader::GetDirectoryEntry(LONGLONG llRecord, const CUnicodeString*& pName, LONGLONG& llParent)
{
    const CRecordMapNode* pNode = FindDirectory(llRecord);
    if (pNode == nullptr)
        return false;
    pName = pNode->m_pName;
    llParent = static_cast<LONGLONG>(pNode->m_ullParentRecord);
    return true;
}

void CNtfsRecordReader::ClearNames()
{
    for (CRecordMapNode* pNode = m_names.First(); pNode != nullptr; pNode = m_names.Next(pNode))
        delete pNode->m_pName;
    m_names.Clear();
}

// The walk up the parents stops at a path longer than the system accepts, and at a record
// met before: parents that form a cycle are damage, which marks the volume. The cycle is
// found by comparing each record with one saved at steps 1, 2, 4, 8 ..., which finds it
// within a few rounds of it at no cost per step.
bool CNtfsRecordReader::BuildPath(LONGLONG llRecord, CUnicodeString& strPath)
{
    if (llRecord <= LastSystemRecord)
        return false;
    m_pathParts.clear();
    int nTotal = 0;
    LONGLONG llSaved = NoRecord;
    int nSteps = 0;
    int nNextSave = 1;
    for (LONGLONG llCurrent = llRecord;;)
    {
        if (llCurrent == llSaved)
        {
            m_bDirty = true;
            return false;
        }
        if (++nSteps == nNextSave)
        {
            llSaved = llCurrent;
            nNextSave *= 2;
        }
        const CRecordMapNode* pNode = FindDirectory(llCurrent);
        if (pNode == nullptr)
            return false;
        nTotal += pNode->m_pName->GetLength() + 1;
        if (nTotal > MaxPathLength)
            return false;
        m_pathParts.push_back(pNode->m_pName);
        if (pNode->m_ullParentRecord == static_cast<ULONGLONG>(RootRecord))
            break;
        llCurrent = static_cast<LONGLONG>(pNode->m_ullParentRecord);
    }
    wchar_t* pszOut = strPath.GetBufferSetLength(nTotal);
    for (auto it = m_pathParts.rbegin(); it != m_pathParts.rend(); ++it)
    {
        wmemcpy(pszOut, (*it)->GetBuffer(), (*it)->GetLength());
        pszOut += (*it)->GetLength();
        *pszOut++ = L'\\';
    }
    return true;
}

// A record without a name of its own has no path, and neither has one whose directory path
// cannot be built: only a file of the root has its name alone as its path. Its streams are
// skipped where a path is needed, rather than reported under a wrong one.
bool CNtfsRecordReader::GetRecordPath(LONGLONG llRecord, CUnicodeString& strPath)
{
    int nLength = 0;
    LONGLONG llParent = 0;
    const wchar_t* pszName = IsLoaded(llRecord) ? GetFileName(Loaded(), nLength, llParent) : nullptr;
    CUnicodeString strDirectory;
    if (pszName == nullptr || (llParent != RootRecord && !BuildPath(llParent, strDirectory)))
    {
        strPath.Empty();
        return false;
    }
    AssignJoined(strPath, strDirectory.GetBuffer(), strDirectory.GetLength(), pszName, nLength);
    return true;
}

bool CNtfsRecordReader::GetStreamPath(LONGLONG llRecord, const BYTE* pAttribute, CUnicodeString& strPath)
{
    int nPosition = pAttribute != nullptr ? GetAttributeIndex(pAttribute) : 0;
    if (nPosition < 0 || !GetRecordPath(llRecord, strPath))
    {
        strPath.Empty();
        return false;
    }
    // The first attribute stands for the record itself, as position 0 does in the zone list.
    if (nPosition == 0)
        return true;
    DWORD dwType = TypeOf(pAttribute);
    int nName = 0;
    const wchar_t* pszName = GetAttributeName(pAttribute, nName);
    // The directory index is the directory itself.
    bool bIndex = dwType == TypeIndexAllocation && nName >= 2 && pszName[0] == L'$' && pszName[1] == L'I';
    if ((pszName == nullptr && dwType == TypeData) || bIndex)
        return true;
    strPath += L':';
    AppendText(strPath, pszName, nName);
    strPath += StreamSuffix(dwType);
    return true;
}

bool CNtfsRecordReader::GetStreamPathByIndex(LONGLONG llRecord, int nPosition, CUnicodeString& strPath)
{
    return GetStreamPath(llRecord, nPosition > 0 ? AttributeAt(nPosition) : nullptr, strPath);
}

// The whole relative path must match, without case as NTFS compares names; a bare name is
// a file of the root.
bool CNtfsRecordReader::FindRecordByPath(const CUnicodeString& strPath, LONGLONG& llRecord)
{
    const wchar_t* pszPath = strPath.GetBuffer();
    int nPath = strPath.GetLength();
    int nNameStart = strPath.ReverseFind(L'\\') + 1;
    const wchar_t* pszColon = nPath > 0 ? wmemchr(pszPath + nNameStart, L':', nPath - nNameStart) : nullptr;
    if (pszColon != nullptr)
        nPath = static_cast<int>(pszColon - pszPath);
    if (nPath == nNameStart)
        return false;
    for (LONGLONG llCandidate = BeginEnumeration(); llCandidate != NoRecord; llCandidate = NextRecord(llCandidate))
    {
        // Each hard link is a name of its own, in a directory of its own.
        const wchar_t* pszName = nullptr;
        int nLength = 0;
        LONGLONG llParent = 0;
        for (const BYTE* p = NextUsableName(Loaded(), nullptr, pszName, nLength, llParent); p != nullptr;
             p = NextUsableName(Loaded(), p, pszName, nLength, llParent))
        {
            if (!EqualNoCase(pszName, nLength, pszPath + nNameStart, nPath - nNameStart))
                continue;
            CUnicodeString strDirectory;
            bool bInRoot = llParent == RootRecord;
            if (!bInRoot && !BuildPath(llParent, strDirectory))
                continue;
            if (EqualNoCase(strDirectory.GetBuffer(), strDirectory.GetLength(), pszPath, nNameStart))
            {
                llRecord = llCandidate;
                return true;
            }
        }
    }
    return false;
}

bool CNtfsRecordReader::IsUnmovableSystemAttribute(LONGLONG llRecord, int nAttributeCode)
{
    switch (llRecord)
    {
    case 1:
    case 2:
    case 6:
    case 7:
    case 11:
        return true;
    case 0:
        return nAttributeCode == UnnamedData || nAttributeCode == static_cast<int>(TypeBitmap);
    case 5:
        return nAttributeCode == UnnamedData || nAttributeCode == static_cast<int>(TypeSecurityDescriptor);
    case 8:
        return nAttributeCode == UnnamedData || nAttributeCode == static_cast<int>(TypeData);
    default:
        return false;
    }
}
