#include "service/ClientTable.h"

namespace {

constexpr int SlotBits = 8;

} // namespace

int32_t CClientTable::MakeKey(bool bCommandServer, int nSlot, uint32_t nGeneration)
{
    const int32_t nCode = (bCommandServer ? CommandClientBase : GuiClientBase) + nSlot;
    return static_cast<int32_t>((nGeneration & KeyGenerationMask) << SlotBits) | nCode;
}

bool CClientTable::Decode(int32_t nKey, stCLIENT& stClient)
{
    if (nKey <= 0)
        return false;
    const int32_t nCode = nKey & ((1 << SlotBits) - 1);
    stClient.bCommandServer = nCode >= CommandClientBase;
    stClient.nSlot = nCode - (stClient.bCommandServer ? CommandClientBase : GuiClientBase);
    stClient.nGeneration = static_cast<uint32_t>(nKey) >> SlotBits;
    return stClient.nSlot >= 0 && stClient.nSlot < SlotsPerServer;
}

CClientTable::CClientTable() : m_aState()
{
}

CClientTable::stSTATE* CClientTable::Current(int32_t nKey)
{
    stCLIENT stClient;
    if (!Decode(nKey, stClient))
        return nullptr;
    stSTATE& stState = m_aState[stClient.bCommandServer ? 1 : 0][stClient.nSlot];
    return stState.bConnected && stState.nGeneration == stClient.nGeneration ? &stState : nullptr;
}

void CClientTable::Connected(int32_t nKey)
{
    stCLIENT stClient;
    if (!Decode(nKey, stClient))
        return;
    CSectionLock lock(m_csTable);
    m_aState[stClient.bCommandServer ? 1 : 0][stClient.nSlot] = {stClient.nGeneration, true, false};
}

void CClientTable::Disconnected(int32_t nKey)
{
    CSectionLock lock(m_csTable);
    if (stSTATE* pState = Current(nKey))
        *pState = {pState->nGeneration, false, false};
}

void CClientTable::LogIn(int32_t nKey)
{
    CSectionLock lock(m_csTable);
    if (stSTATE* pState = Current(nKey))
        pState->bLoggedIn = true;
}

bool CClientTable::IsLoggedIn(int32_t nKey)
{
    CSectionLock lock(m_csTable);
    const stSTATE* pState = Current(nKey);
    return pState != nullptr && pState->bLoggedIn;
}

std::vector<int32_t> CClientTable::ConnectedKeys(bool bCommandServer)
{
    std::vector<int32_t> keys;
    CSectionLock lock(m_csTable);
    for (int nSlot = 0; nSlot < SlotsPerServer; ++nSlot)
    {
        const stSTATE& stState = m_aState[bCommandServer ? 1 : 0][nSlot];
        if (stState.bConnected)
            keys.push_back(MakeKey(bCommandServer, nSlot, stState.nGeneration));
    }
    return keys;
}
