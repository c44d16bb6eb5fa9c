#include "simdisk/SimImage.h"

#include "simdisk/NtfsLayout.h"
#include "simdisk/SimVerifier.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <stdexcept>

namespace {

constexpr char Magic[8] = {'V', 'F', 'S', 'I', 'M', 'D', 'S', 'K'};
constexpr size_t HeaderBytes = 64;
constexpr size_t ChecksumAt = 24;
constexpr size_t ReservedAt = 28;
constexpr size_t MaxNameChars = 255;

// CRC-32 (IEEE, reflected), continued from crc over n more bytes; start and end with
// Crc32Start and Crc32End.
constexpr DWORD Crc32Start = 0xFFFFFFFFu;
DWORD Crc32End(DWORD crc) { return crc ^ 0xFFFFFFFFu; }

DWORD Crc32(DWORD crc, const BYTE* p, size_t n)
{
    static const std::array<DWORD, 256> table = [] {
        std::array<DWORD, 256> t{};
        for (DWORD i = 0; i < 256; ++i)
        {
            DWORD c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    for (size_t i = 0; i < n; ++i)
        crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

// The checksum of an image: its payload, then its header with the checksum field zero, so
// that no byte of the file goes unchecked.
DWORD ImageChecksum(DWORD dwPayloadCrc, const BYTE* pHeader)
{
    BYTE header[HeaderBytes];
    std::memcpy(header, pHeader, HeaderBytes);
    std::memset(header + ChecksumAt, 0, 4);
    return Crc32End(Crc32(dwPayloadCrc, header, HeaderBytes));
}

// Where written bytes go: counted only, into memory, or through a buffer into a file; the
// checksum runs over them as they pass.
class CWriter
{
public:
    // A writer that only counts, and learns the length of each section.
    CWriter() = default;
    // Writers that put the bytes somewhere, with the section lengths a counting pass found.
    CWriter(std::vector<BYTE>* pMemory, const CWriter& counted) : m_pMemory(pMemory), m_lengths(counted.m_lengths) {}
    CWriter(HANDLE hFile, const CWriter& counted) : m_hFile(hFile), m_lengths(counted.m_lengths)
    {
        m_buffer.reserve(BufferBytes);
    }

    template <typename T> void Put(T value) { PutBytes(reinterpret_cast<const BYTE*>(&value), sizeof(T)); }
    void PutString(const std::wstring& str)
    {
        Put<DWORD>(static_cast<DWORD>(str.size()));
        PutBytes(reinterpret_cast<const BYTE*>(str.data()), 2 * str.size());
    }
    void PutBytes(const BYTE* p, size_t n)
    {
        m_ullCount += n;
        if (m_pMemory)
            m_pMemory->insert(m_pMemory->end(), p, p + n);
        else if (m_hFile != INVALID_HANDLE_VALUE)
        {
            m_dwCrc = Crc32(m_dwCrc, p, n);
            while (n > 0)
            {
                const size_t nTake = std::min(n, BufferBytes - m_buffer.size());
                m_buffer.insert(m_buffer.end(), p, p + nTake);
                p += nTake;
                n -= nTake;
                if (m_buffer.size() == BufferBytes)
                    Flush();
            }
        }
    }
    void PutBitmap(const CSimBitmap& bitmap)
    {
        Put<ULONGLONG>(static_cast<ULONGLONG>(bitmap.Size()));
        PutBytes(reinterpret_cast<const BYTE*>(bitmap.Words().data()), 8 * bitmap.Words().size());
    }
    // The section's length stands before its bytes; the counting pass finds it, so that
    // nothing written has to be gone back to.
    template <typename F> void Section(const char* pszTag, F write)
    {
        PutBytes(reinterpret_cast<const BYTE*>(pszTag), 4);
        if (!m_pMemory && m_hFile == INVALID_HANDLE_VALUE)
        {
            Put<ULONGLONG>(0);
            const ULONGLONG ullStart = m_ullCount;
            write(*this);
            m_lengths.push_back(m_ullCount - ullStart);
            return;
        }
        Put<ULONGLONG>(m_nSection < m_lengths.size() ? m_lengths[m_nSection++] : 0);
        write(*this);
    }
    bool Flush()
    {
        if (m_hFile == INVALID_HANDLE_VALUE || m_buffer.empty())
            return m_bOk;
        DWORD dwWritten = 0;
        const DWORD dwBytes = static_cast<DWORD>(m_buffer.size());
        m_bOk = m_bOk && ::WriteFile(m_hFile, m_buffer.data(), dwBytes, &dwWritten, nullptr) && dwWritten == dwBytes;
        m_buffer.clear();
        return m_bOk;
    }
    ULONGLONG Count() const { return m_ullCount; }
    DWORD Crc() const { return m_dwCrc; }

private:
    static constexpr size_t BufferBytes = 1 << 20;

    std::vector<BYTE>* m_pMemory = nullptr;
    HANDLE m_hFile = INVALID_HANDLE_VALUE;
    std::vector<BYTE> m_buffer;
    std::vector<ULONGLONG> m_lengths;
    size_t m_nSection = 0;
    ULONGLONG m_ullCount = 0;
    DWORD m_dwCrc = Crc32Start;
    bool m_bOk = true;
};

// Reads within bounds; anything past the end of the data is a damaged image.
class CReader
{
public:
    CReader(const BYTE* p, size_t n) : m_p(p), m_n(n) {}

    size_t Remaining() const { return m_n - m_at; }

    template <typename T> T Get()
    {
        Need(sizeof(T));
        T value;
        std::memcpy(&value, m_p + m_at, sizeof(T));
        m_at += sizeof(T);
        return value;
    }
    std::wstring GetString(size_t nMaxChars = ~size_t(0))
    {
        DWORD dwLength = Get<DWORD>();
        if (dwLength > nMaxChars)
            throw std::runtime_error("a name is longer than a file system allows");
        Need(2ull * dwLength);
        std::wstring str(reinterpret_cast<const wchar_t*>(m_p + m_at), dwLength);
        m_at += 2ull * dwLength;
        return str;
    }
    std::vector<BYTE> GetBytes(ULONGLONG ullCount)
    {
        Need(ullCount);
        std::vector<BYTE> bytes(m_p + m_at, m_p + m_at + ullCount);
        m_at += static_cast<size_t>(ullCount);
        return bytes;
    }
    ULONGLONG GetCount(size_t nItemBytes)
    {
        ULONGLONG ullCount = Get<ULONGLONG>();
        if (ullCount > (m_n - m_at) / nItemBytes)
            throw std::runtime_error("a count runs past its section");
        return ullCount;
    }
    void GetBitmap(CSimBitmap& bitmap, LONGLONG llExpected)
    {
        ULONGLONG ullBits = Get<ULONGLONG>();
        if (static_cast<LONGLONG>(ullBits) != llExpected)
            throw std::runtime_error("a bitmap does not match the volume's size");
        const size_t nWords = static_cast<size_t>((ullBits + 63) / 64);
        Need(8ull * nWords);
        std::vector<uint64_t> words(nWords);
        std::memcpy(words.data(), m_p + m_at, 8 * nWords);
        m_at += 8 * nWords;
        bitmap.Assign(words, static_cast<LONGLONG>(ullBits));
    }
    CReader Section(const char* pszTag)
    {
        Need(12);
        if (std::memcmp(m_p + m_at, pszTag, 4) != 0)
            throw std::runtime_error(std::string("section ") + pszTag + " is missing");
        m_at += 4;
        ULONGLONG ullLength = Get<ULONGLONG>();
        Need(ullLength);
        CReader section(m_p + m_at, static_cast<size_t>(ullLength));
        m_at += static_cast<size_t>(ullLength);
        return section;
    }

private:
    void Need(ULONGLONG ullBytes) const
    {
        if (ullBytes > m_n - m_at)
            throw std::runtime_error("a section ends early");
    }

    const BYTE* m_p;
    size_t m_n;
    size_t m_at = 0;
};

void WriteGeometry(CWriter& out, const CSimVolume& volume)
{
    const SIM_FORMAT& format = volume.Geometry();
    out.Put<DWORD>(static_cast<DWORD>(format.eFs));
    out.Put<DWORD>(format.dwBytesPerSector);
    out.Put<DWORD>(format.dwBytesPerCluster);
    out.Put<DWORD>(format.dwBytesPerRecord);
    out.Put<LONGLONG>(format.llTotalClusters);
    out.Put<DWORD>(format.dwSerial);
    out.PutString(format.strLabel);
    out.PutString(format.strGuid);
    out.Put<BYTE>(volume.m_bReadOnly);
    out.Put<BYTE>(volume.m_bDirty);
    out.Put<BYTE>(volume.m_bRemovable);
    out.Put<BYTE>(volume.m_bDelayedFree);
    out.Put<BYTE>(volume.m_byBusType);
    out.Put<LONGLONG>(volume.MftRecords());
    out.Put<LONGLONG>(volume.MftZoneStart());
    out.Put<LONGLONG>(volume.MftZoneEnd());
    out.Put<LONGLONG>(format.llFirstUserRecord);
    out.Put<BYTE>(volume.m_bClipMovesPastAllocation);
    out.Put<BYTE>(volume.m_bRefuseMovesIntoMftZone);
    out.Put<LONGLONG>(volume.m_llBitmapGranule);
    out.Put<BYTE>(volume.m_bBitmapTailSet);
    out.Put<BYTE>(volume.m_bMftZoneEndInclusive);
    out.Put<BYTE>(volume.m_byLoneNameSpace);
}

void WriteFile(CWriter& out, const CSimFile& file)
{
    out.Put<ULONGLONG>(file.m_ullId);
    out.Put<WORD>(file.m_wSequence);
    out.Put<ULONGLONG>(file.m_ullParent);
    out.PutString(file.m_strName);
    out.PutString(file.m_strShortName);
    out.Put<DWORD>(file.m_dwAttributes);
    out.Put<DWORD>(file.m_dwFlags);
    out.Put<DWORD>(file.m_dwReparseTag);
    out.Put<LONGLONG>(file.m_llCreated);
    out.Put<LONGLONG>(file.m_llModified);
    out.Put<LONGLONG>(file.m_llAccessed);
    out.Put<WORD>(file.m_wNextSlot);
    out.Put<ULONGLONG>(file.m_extensions.size());
    for (ULONGLONG ullExtension : file.m_extensions)
        out.Put<ULONGLONG>(ullExtension);
    out.Put<ULONGLONG>(file.m_order.size());
    for (ULONGLONG ullChild : file.m_order)
        out.Put<ULONGLONG>(ullChild);
    out.Put<DWORD>(static_cast<DWORD>(file.m_streams.size()));
    for (const CSimStream& stream : file.m_streams)
    {
        out.Put<DWORD>(stream.m_dwType);
        out.PutString(stream.m_strName);
        out.Put<WORD>(stream.m_wSlot);
        out.Put<WORD>(stream.m_wFlags);
        out.Put<LONGLONG>(stream.m_llDataSize);
        out.Put<LONGLONG>(stream.m_llInitSize);
        out.Put<BYTE>(stream.m_bResident);
        out.Put<ULONGLONG>(stream.m_bytes.size());
        out.PutBytes(stream.m_bytes.data(), stream.m_bytes.size());
        out.Put<ULONGLONG>(stream.m_runs.size());
        for (const SIM_RUN& run : stream.m_runs)
        {
            out.Put<LONGLONG>(run.llLcn);
            out.Put<LONGLONG>(run.llLength);
        }
    }
}

// Sizes the answers rely on: what a resident stream holds fits in a file record, and known
// bytes never go past the stream's end.
void CheckStreamSizes(const CSimStream& stream, DWORD dwRecordBytes)
{
    const LONGLONG llKnown = static_cast<LONGLONG>(stream.m_bytes.size());
    const bool bOk = stream.m_llDataSize >= 0 && stream.m_llInitSize >= 0 &&
                     (stream.m_bResident ? stream.m_llDataSize <= dwRecordBytes && llKnown == stream.m_llDataSize
                                         : llKnown <= stream.m_llDataSize);
    if (!bOk)
        throw std::runtime_error("a stream's size is impossible");
}

void ReadStreams(CReader& in, CSimFile& file, const CSimVolume& volume)
{
    const LONGLONG llTotal = volume.TotalClusters();
    DWORD dwStreams = in.Get<DWORD>();
    for (DWORD i = 0; i < dwStreams; ++i)
    {
        DWORD dwType = in.Get<DWORD>();
        std::wstring strName = in.GetString(MaxNameChars);
        CSimStream stream(dwType, strName, in.Get<WORD>());
        // The slot is part of every cluster's tag, so two streams of a file never share one.
        for (const CSimStream& other : file.m_streams)
            if (other.m_wSlot == stream.m_wSlot)
                throw std::runtime_error("two streams of a file share a slot");
        if (stream.m_wSlot >= file.m_wNextSlot)
            throw std::runtime_error("a stream's slot is beyond the file's next slot");
        stream.m_wFlags = in.Get<WORD>();
        stream.m_llDataSize = in.Get<LONGLONG>();
        stream.m_llInitSize = in.Get<LONGLONG>();
        stream.m_bResident = in.Get<BYTE>() != 0;
        stream.m_bytes = in.GetBytes(in.GetCount(1));
        CheckStreamSizes(stream, volume.BytesPerRecord());
        ULONGLONG ullRuns = in.GetCount(16);
        LONGLONG llVcn = 0;
        for (ULONGLONG r = 0; r < ullRuns; ++r)
        {
            LONGLONG llLcn = in.Get<LONGLONG>();
            LONGLONG llLength = in.Get<LONGLONG>();
            if (llLength <= 0 || (llLcn != SIM_SPARSE_LCN && (llLcn < 0 || llLcn > llTotal - llLength)))
                throw std::runtime_error("a run lies outside the volume");
            stream.m_runs.push_back({llVcn, llLcn, llLength});
            llVcn += llLength;
        }
        file.m_streams.push_back(std::move(stream));
    }
}

void ReadFiles(CReader in, CSimVolume& volume)
{
    const ULONGLONG ullCount = in.GetCount(64);
    const ULONGLONG ullMaxId = ullCount + static_cast<ULONGLONG>(volume.MftRecords()) + 64;
    std::vector<std::pair<CSimFile*, std::vector<ULONGLONG>>> files;
    for (ULONGLONG i = 0; i < ullCount; ++i)
    {
        ULONGLONG ullId = in.Get<ULONGLONG>();
        WORD wSequence = in.Get<WORD>();
        ULONGLONG ullParent = in.Get<ULONGLONG>();
        std::wstring strName = in.GetString(MaxNameChars);
        // On NTFS a file's number is its MFT record.
        const bool bBeyondMft = volume.Fs() == SIM_FS::Ntfs && ullId >= static_cast<ULONGLONG>(volume.MftRecords());
        if (ullId > ullMaxId || ullParent > ullMaxId || bBeyondMft || volume.File(ullId))
            throw std::runtime_error("a file number is out of range or repeated");
        // Parents may come after their children; every file is linked once all are there.
        CSimFile* pFile = volume.AddFile(ullId == ullParent ? ullParent : ullMaxId + 1, strName, 0, ullId);
        pFile->m_ullParent = ullParent;
        pFile->m_wSequence = wSequence;
        pFile->m_strShortName = in.GetString(MaxNameChars);
        pFile->m_dwAttributes = in.Get<DWORD>();
        pFile->m_dwFlags = in.Get<DWORD>();
        pFile->m_dwReparseTag = in.Get<DWORD>();
        pFile->m_llCreated = in.Get<LONGLONG>();
        pFile->m_llModified = in.Get<LONGLONG>();
        pFile->m_llAccessed = in.Get<LONGLONG>();
        pFile->m_wNextSlot = in.Get<WORD>();
        for (ULONGLONG e = in.GetCount(8); e > 0; --e)
            pFile->m_extensions.push_back(in.Get<ULONGLONG>());
        std::vector<ULONGLONG> order;
        for (ULONGLONG o = in.GetCount(8); o > 0; --o)
            order.push_back(in.Get<ULONGLONG>());
        ReadStreams(in, *pFile, volume);
        files.emplace_back(pFile, std::move(order));
    }
    for (auto& entry : files)
    {
        CSimFile& file = *entry.first;
        if (file.m_ullId == file.m_ullParent)
            continue;
        const CSimFile* pParent = volume.File(file.m_ullParent);
        if (!pParent)
            throw std::runtime_error("a file's directory is missing");
        volume.Attach(file);
        if (volume.Child(*pParent, file.m_strName) != &file)
            throw std::runtime_error("a name is repeated in a directory");
    }
    // Linking appended entries; a FAT directory keeps the entry order it was saved with.
    for (auto& entry : files)
        entry.first->m_order = std::move(entry.second);
}

// Every file reaches the root through directories; a cycle or a file below a file would make
// every walk up the tree endless or wrong. Each file is walked once.
void CheckTree(const CSimVolume& volume)
{
    enum : BYTE { Unknown, OnWalk, Rooted };
    std::vector<BYTE> state(volume.FileSlots(), Unknown);
    state[static_cast<size_t>(volume.RootId())] = Rooted;
    std::vector<ULONGLONG> walk;
    for (size_t i = 0; i < volume.FileSlots(); ++i)
    {
        walk.clear();
        for (ULONGLONG ullAt = i; volume.File(ullAt) && state[static_cast<size_t>(ullAt)] != Rooted;)
        {
            if (state[static_cast<size_t>(ullAt)] == OnWalk)
                throw std::runtime_error("the directories form a cycle");
            state[static_cast<size_t>(ullAt)] = OnWalk;
            walk.push_back(ullAt);
            const CSimFile* pParent = volume.File(volume.File(ullAt)->m_ullParent);
            if (!pParent || !pParent->IsDirectory())
                throw std::runtime_error("a file's directory is not a directory");
            ullAt = pParent->m_ullId;
        }
        for (ULONGLONG ullWalked : walk)
            state[static_cast<size_t>(ullWalked)] = Rooted;
    }
}

// What the answers take for granted: the root, and on NTFS the MFT's data and bitmap on disk,
// and records that hold their attributes.
void CheckStructure(const CSimVolume& volume)
{
    if (!volume.Root() || !volume.Root()->IsDirectory())
        throw std::runtime_error("the root directory is missing");
    CheckTree(volume);
    if (volume.Fs() != SIM_FS::Ntfs)
        return;
    const CSimFile* pMft = volume.File(ntfs::RecordMft);
    for (DWORD dwType : {ntfs::Data, ntfs::Bitmap})
    {
        const CSimStream* pStream = pMft ? pMft->FindStream(dwType, L"") : nullptr;
        if (!pStream || pStream->m_bResident || pStream->m_runs.empty())
            throw std::runtime_error("the MFT's data or bitmap is missing");
    }
    for (size_t i = 0; i < volume.FileSlots(); ++i)
        if (const CSimFile* pFile = volume.File(i))
            if (!CNtfsLayout::Fits(volume, CNtfsLayout::Plan(volume, *pFile)))
                throw std::runtime_error("a file's attributes do not fit in its records");
}

// Problems are plain text; what is not ASCII reads as '?'.
std::string Narrow(const std::wstring& str)
{
    std::string strOut;
    for (wchar_t c : str)
        strOut += c < 0x80 ? static_cast<char>(c) : '?';
    return strOut;
}

// What the geometry section holds beyond the format.
struct IMAGE_GEOMETRY
{
    SIM_FORMAT format;
    BYTE byReadOnly, byDirty, byRemovable, byDelayedFree, byBusType;
    LONGLONG llMftRecords, llZoneStart, llZoneEnd;
    BYTE byClip, byRefuseZone;
    LONGLONG llGranule;
    BYTE byTailSet, byZoneEndInclusive, byLoneNameSpace;
};

void ReadGeometry(CReader in, IMAGE_GEOMETRY& geometry)
{
    SIM_FORMAT& format = geometry.format;
    DWORD dwFs = in.Get<DWORD>();
    if (dwFs > static_cast<DWORD>(SIM_FS::Exfat))
        throw std::runtime_error("unknown file system");
    format.eFs = static_cast<SIM_FS>(dwFs);
    format.dwBytesPerSector = in.Get<DWORD>();
    format.dwBytesPerCluster = in.Get<DWORD>();
    format.dwBytesPerRecord = in.Get<DWORD>();
    format.llTotalClusters = in.Get<LONGLONG>();
    format.dwSerial = in.Get<DWORD>();
    format.strLabel = in.GetString();
    format.strGuid = in.GetString();
    const DWORD dwSector = format.dwBytesPerSector;
    const DWORD dwCluster = format.dwBytesPerCluster;
    if (dwSector < 512 || dwSector > 4096 || (dwSector & (dwSector - 1)) || dwCluster < dwSector ||
        dwCluster > (2u << 20) || (dwCluster & (dwCluster - 1)) || format.llTotalClusters <= 0 ||
        format.llTotalClusters > CSimImage::MaxClusters || (format.dwBytesPerRecord != 1024 && format.dwBytesPerRecord != 4096))
        throw std::runtime_error("the geometry is impossible");
    geometry.byReadOnly = in.Get<BYTE>();
    geometry.byDirty = in.Get<BYTE>();
    geometry.byRemovable = in.Get<BYTE>();
    geometry.byDelayedFree = in.Get<BYTE>();
    geometry.byBusType = in.Get<BYTE>();
    geometry.llMftRecords = in.Get<LONGLONG>();
    geometry.llZoneStart = in.Get<LONGLONG>();
    geometry.llZoneEnd = in.Get<LONGLONG>();
    if (geometry.llMftRecords < 0 || geometry.llMftRecords > (1ll << 32))
        throw std::runtime_error("the MFT size is impossible");
    format.llFirstUserRecord = in.Get<LONGLONG>();
    geometry.byClip = in.Get<BYTE>();
    geometry.byRefuseZone = in.Get<BYTE>();
    geometry.llGranule = in.Get<LONGLONG>();
    geometry.byTailSet = in.Get<BYTE>();
    geometry.byZoneEndInclusive = in.Get<BYTE>();
    geometry.byLoneNameSpace = in.Get<BYTE>();
    if (format.llFirstUserRecord < static_cast<LONGLONG>(ntfs::LowestFirstUserRecord) ||
        format.llFirstUserRecord > (1ll << 32) || geometry.llGranule < 8 || geometry.llGranule % 8 != 0 ||
        geometry.llGranule > format.llTotalClusters + 8 || geometry.byLoneNameSpace > 3)
        throw std::runtime_error("the volume's answers are set to impossible values");
}

std::unique_ptr<CSimVolume> DecodePayload(CReader payload)
{
    IMAGE_GEOMETRY geometry = {};
    ReadGeometry(payload.Section("GEOM"), geometry);
    const SIM_FORMAT& format = geometry.format;
    // The bitmaps follow in full, so an image too small to hold them is refused before they
    // are made.
    const ULONGLONG ullBitmapBytes = (static_cast<ULONGLONG>(format.llTotalClusters) + 63) / 64 * 8 +
                                     (static_cast<ULONGLONG>(geometry.llMftRecords) + 63) / 64 * 8;
    if (ullBitmapBytes > payload.Remaining())
        throw std::runtime_error("the geometry is larger than the image can hold");
    auto pVolume = std::make_unique<CSimVolume>(format);
    CSimVolume& volume = *pVolume;
    volume.m_bReadOnly = geometry.byReadOnly != 0;
    volume.m_bDirty = geometry.byDirty != 0;
    volume.m_bRemovable = geometry.byRemovable != 0;
    volume.m_bDelayedFree = geometry.byDelayedFree != 0;
    volume.m_byBusType = geometry.byBusType;
    volume.m_bClipMovesPastAllocation = geometry.byClip != 0;
    volume.m_bRefuseMovesIntoMftZone = geometry.byRefuseZone != 0;
    volume.m_llBitmapGranule = geometry.llGranule;
    volume.m_bBitmapTailSet = geometry.byTailSet != 0;
    volume.m_bMftZoneEndInclusive = geometry.byZoneEndInclusive != 0;
    volume.m_byLoneNameSpace = geometry.byLoneNameSpace;
    volume.m_bAutoIndex = false;
    volume.SetMftRecords(geometry.llMftRecords);
    volume.SetMftZone(geometry.llZoneStart, geometry.llZoneEnd);
    ReadFiles(payload.Section("FILE"), volume);
    payload.Section("BITS").GetBitmap(volume.Bitmap(), format.llTotalClusters);
    payload.Section("MFTB").GetBitmap(volume.MftBitmap(), geometry.llMftRecords);
    CReader sequences = payload.Section("SEQS");
    for (ULONGLONG i = 0, n = sequences.GetCount(2); i < n; ++i)
        volume.SetSequence(i, sequences.Get<WORD>());
    CReader owners = payload.Section("XOWN");
    for (ULONGLONG n = owners.GetCount(16); n > 0; --n)
    {
        ULONGLONG ullRecord = owners.Get<ULONGLONG>();
        volume.AdoptExtension(ullRecord, owners.Get<ULONGLONG>());
    }
    CReader content = payload.Section("CONT");
    for (ULONGLONG n = content.GetCount(34); n > 0; --n)
    {
        LONGLONG llLcn = content.Get<LONGLONG>();
        LONGLONG llLength = content.Get<LONGLONG>();
        ULONGLONG ullFile = content.Get<ULONGLONG>();
        LONGLONG llVcn = content.Get<LONGLONG>();
        WORD wSlot = content.Get<WORD>();
        if (llLength <= 0 || llLcn < 0 || llLcn > format.llTotalClusters - llLength)
            throw std::runtime_error("content lies outside the volume");
        volume.Content().Append(llLcn, llLength, ullFile, wSlot, llVcn);
    }
    CReader pending = payload.Section("PEND");
    for (ULONGLONG n = pending.GetCount(16); n > 0; --n)
    {
        LONGLONG llLcn = pending.Get<LONGLONG>();
        LONGLONG llLength = pending.Get<LONGLONG>();
        if (llLength <= 0 || llLcn < 0 || llLcn > format.llTotalClusters - llLength)
            throw std::runtime_error("a freed run lies outside the volume");
        volume.AddPendingFree({0, llLcn, llLength});
    }
    CheckStructure(volume);
    std::wstring strProblem;
    if (!CSimVerifier::IsPossible(volume, &strProblem))
        throw std::runtime_error(Narrow(strProblem));
    volume.m_bAutoIndex = true;
    return pVolume;
}

void WritePayload(CWriter& out, const CSimVolume& volume)
{
    out.Section("GEOM", [&](CWriter& w) { WriteGeometry(w, volume); });
    out.Section("FILE", [&](CWriter& w) {
        ULONGLONG ullCount = 0;
        for (size_t i = 0; i < volume.FileSlots(); ++i)
            ullCount += volume.File(i) != nullptr;
        w.Put<ULONGLONG>(ullCount);
        for (size_t i = 0; i < volume.FileSlots(); ++i)
            if (const CSimFile* pFile = volume.File(i))
                WriteFile(w, *pFile);
    });
    out.Section("BITS", [&](CWriter& w) { w.PutBitmap(volume.Bitmap()); });
    out.Section("MFTB", [&](CWriter& w) { w.PutBitmap(volume.MftBitmap()); });
    out.Section("SEQS", [&](CWriter& w) {
        w.Put<ULONGLONG>(static_cast<ULONGLONG>(volume.MftRecords()));
        for (LONGLONG r = 0; r < volume.MftRecords(); ++r)
            w.Put<WORD>(volume.Sequence(static_cast<ULONGLONG>(r)));
    });
    out.Section("XOWN", [&](CWriter& w) {
        // In record order, so that one volume always gives the same bytes.
        std::map<ULONGLONG, ULONGLONG> owners(volume.ExtensionOwners().begin(), volume.ExtensionOwners().end());
        w.Put<ULONGLONG>(owners.size());
        for (const auto& owner : owners)
        {
            w.Put<ULONGLONG>(owner.first);
            w.Put<ULONGLONG>(owner.second);
        }
    });
    out.Section("CONT", [&](CWriter& w) {
        w.Put<ULONGLONG>(volume.Content().RunCount());
        for (const auto& entry : volume.Content().Runs())
        {
            w.Put<LONGLONG>(entry.first);
            w.Put<LONGLONG>(entry.second.llLength);
            w.Put<ULONGLONG>(entry.second.ullFile);
            w.Put<LONGLONG>(entry.second.llVcn);
            w.Put<WORD>(entry.second.wSlot);
        }
    });
    out.Section("PEND", [&](CWriter& w) {
        w.Put<ULONGLONG>(volume.PendingFrees().size());
        for (const SIM_RUN& run : volume.PendingFrees())
        {
            w.Put<LONGLONG>(run.llLcn);
            w.Put<LONGLONG>(run.llLength);
        }
    });
}

// The header of a payload of this many bytes, its checksum field still zero.
void PutHeader(BYTE* p, ULONGLONG ullPayload)
{
    std::memset(p, 0, HeaderBytes);
    std::memcpy(p, Magic, 8);
    const DWORD dwVersion = CSimImage::FormatVersion;
    const DWORD dwHeader = HeaderBytes;
    std::memcpy(p + 8, &dwVersion, 4);
    std::memcpy(p + 12, &dwHeader, 4);
    std::memcpy(p + 16, &ullPayload, 8);
}

std::wstring Widen(const char* psz)
{
    std::wstring str;
    while (*psz)
        str += static_cast<wchar_t>(*psz++);
    return str;
}

std::wstring LastErrorText(const wchar_t* pszWhat, const std::wstring& strPath)
{
    return std::wstring(pszWhat) + L" " + strPath + L" (error " + std::to_wstring(::GetLastError()) + L")";
}

// Writes the image to an open file as it is made, the header last: no copy of it is held in
// memory.
bool WriteImage(HANDLE h, const CSimVolume& volume)
{
    CWriter counter;
    WritePayload(counter, volume);
    BYTE header[HeaderBytes];
    PutHeader(header, counter.Count());
    DWORD dwWritten = 0;
    if (!::WriteFile(h, header, HeaderBytes, &dwWritten, nullptr) || dwWritten != HeaderBytes)
        return false;
    CWriter out(h, counter);
    WritePayload(out, volume);
    if (!out.Flush())
        return false;
    const DWORD dwCrc = ImageChecksum(out.Crc(), header);
    std::memcpy(header + ChecksumAt, &dwCrc, 4);
    LARGE_INTEGER liStart = {};
    return ::SetFilePointerEx(h, liStart, nullptr, FILE_BEGIN) &&
           ::WriteFile(h, header, HeaderBytes, &dwWritten, nullptr) && dwWritten == HeaderBytes &&
           ::FlushFileBuffers(h);
}

} // namespace

std::vector<BYTE> CSimImage::Encode(const CSimVolume& volume)
{
    CWriter counter;
    WritePayload(counter, volume);
    std::vector<BYTE> image(HeaderBytes, 0);
    image.reserve(HeaderBytes + counter.Count());
    CWriter out(&image, counter);
    WritePayload(out, volume);
    PutHeader(image.data(), counter.Count());
    const DWORD dwPayloadCrc = Crc32(Crc32Start, image.data() + HeaderBytes, image.size() - HeaderBytes);
    const DWORD dwCrc = ImageChecksum(dwPayloadCrc, image.data());
    std::memcpy(image.data() + ChecksumAt, &dwCrc, 4);
    return image;
}

std::unique_ptr<CSimVolume> CSimImage::Decode(const std::vector<BYTE>& image, std::wstring* pstrError)
{
    if (image.size() < HeaderBytes || std::memcmp(image.data(), Magic, 8) != 0)
    {
        *pstrError = L"not a simulated disk image";
        return nullptr;
    }
    DWORD dwVersion, dwHeader, dwCrc;
    ULONGLONG ullPayload;
    std::memcpy(&dwVersion, image.data() + 8, 4);
    std::memcpy(&dwHeader, image.data() + 12, 4);
    std::memcpy(&ullPayload, image.data() + 16, 8);
    std::memcpy(&dwCrc, image.data() + 24, 4);
    if (dwVersion != FormatVersion || dwHeader != HeaderBytes)
    {
        *pstrError = L"image format version " + std::to_wstring(dwVersion) + L" is not version " +
                     std::to_wstring(FormatVersion) + L", the one this program reads";
        return nullptr;
    }
    if (ullPayload != image.size() - HeaderBytes)
    {
        *pstrError = L"the image is truncated or has trailing bytes: " + std::to_wstring(image.size() - HeaderBytes) +
                     L" bytes of data where the header says " + std::to_wstring(ullPayload);
        return nullptr;
    }
    if (std::any_of(image.begin() + ReservedAt, image.begin() + HeaderBytes, [](BYTE by) { return by != 0; }))
    {
        *pstrError = L"the image is damaged: its header's reserved bytes are not zero";
        return nullptr;
    }
    if (ImageChecksum(Crc32(Crc32Start, image.data() + HeaderBytes, image.size() - HeaderBytes), image.data()) != dwCrc)
    {
        *pstrError = L"the image is damaged: its checksum does not match";
        return nullptr;
    }
    try
    {
        return DecodePayload(CReader(image.data() + HeaderBytes, image.size() - HeaderBytes));
    }
    catch (const std::exception& e)
    {
        *pstrError = L"the image is damaged: " + Widen(e.what());
        return nullptr;
    }
}

bool CSimImage::Save(const CSimVolume& volume, const std::wstring& strPath, std::wstring* pstrError)
{
    // The image is made beside the old one and renamed over it once whole, so that a save cut
    // short (a killed process, a full disk) leaves the old image as it was.
    const std::wstring strNew = strPath + L".new";
    HANDLE h = ::CreateFileW(strNew.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
    {
        *pstrError = LastErrorText(L"cannot create", strNew);
        return false;
    }
    if (!WriteImage(h, volume))
    {
        *pstrError = LastErrorText(L"cannot write", strNew);
        ::CloseHandle(h);
        ::DeleteFileW(strNew.c_str());
        return false;
    }
    if (!::CloseHandle(h))
    {
        *pstrError = LastErrorText(L"cannot finish", strNew);
        ::DeleteFileW(strNew.c_str());
        return false;
    }
    if (!::MoveFileExW(strNew.c_str(), strPath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    {
        *pstrError = LastErrorText(L"cannot replace", strPath);
        ::DeleteFileW(strNew.c_str());
        return false;
    }
    return true;
}

std::unique_ptr<CSimVolume> CSimImage::Load(const std::wstring& strPath, std::wstring* pstrError)
{
    HANDLE h = ::CreateFileW(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
    {
        *pstrError = LastErrorText(L"cannot open", strPath);
        return nullptr;
    }
    LARGE_INTEGER liSize = {};
    std::vector<BYTE> image;
    bool bOk = ::GetFileSizeEx(h, &liSize) != FALSE && liSize.QuadPart < (1ll << 34);
    if (bOk)
    {
        image.resize(static_cast<size_t>(liSize.QuadPart));
        size_t nDone = 0;
        while (bOk && nDone < image.size())
        {
            DWORD dwChunk = static_cast<DWORD>(std::min<size_t>(image.size() - nDone, 1u << 24));
            DWORD dwRead = 0;
            bOk = ::ReadFile(h, image.data() + nDone, dwChunk, &dwRead, nullptr) && dwRead == dwChunk;
            nDone += dwRead;
        }
    }
    if (!bOk)
        *pstrError = LastErrorText(L"cannot read", strPath);
    ::CloseHandle(h);
    return bOk ? Decode(image, pstrError) : nullptr;
}
