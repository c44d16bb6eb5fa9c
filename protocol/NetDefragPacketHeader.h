// CNetDefragHeaderBase and CNetDefragPacketHeader: the 12 bytes that begin
// every message (protocol version, reserved, command). A peer speaking
// another protocol version is refused while the header is read.
#pragma once

#include <cstdint>

class CNetDefragBuffer;

class CNetDefragHeaderBase
{
public:
    static constexpr int32_t CurrentVersion = 5;

    CNetDefragHeaderBase() : m_nVersion(CurrentVersion), m_nReserved(0) {}

    int32_t GetVersion() const { return m_nVersion; }
    static int32_t GetCurrentVersion() { return CurrentVersion; }

    // Loading throws CNetDefragException("Wrong Version") for a foreign version.
    void Serialize(CNetDefragBuffer& ar);

private:
    int32_t m_nVersion;
    int32_t m_nReserved;
};

class CNetDefragPacketHeader : public CNetDefragHeaderBase
{
public:
    CNetDefragPacketHeader() : m_nCommand(0) {}

    void Serialize(CNetDefragBuffer& ar);
    int32_t GetCommand() const { return m_nCommand; }
    bool SetCommand(int32_t nCommand)
    {
        m_nCommand = nCommand;
        return true;
    }

private:
    int32_t m_nCommand;
};
