// CKeptBuffer: a send buffer that is kept between messages and only grows, so
// that a stream of messages does not allocate for each one.
#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>
#include <new>

class CKeptBuffer
{
public:
    CKeptBuffer() : m_nSize(0) {}

    // At least nSize bytes, or null when they cannot be had.
    BYTE* Reserve(size_t nSize)
    {
        if (m_nSize < nSize)
        {
            m_nSize = 0;
            m_pBuffer.reset(new (std::nothrow) BYTE[nSize]);
            if (!m_pBuffer)
                return nullptr;
            m_nSize = nSize;
        }
        return m_pBuffer.get();
    }
    void Free()
    {
        m_pBuffer.reset();
        m_nSize = 0;
    }

private:
    std::unique_ptr<BYTE[]> m_pBuffer;
    size_t m_nSize;
};
