#include "ServiceRequests.h"

#include "protocol/NetDefragBuffer.h"
#include "protocol/NetDefragObject.h"
#include "protocol/NetDefragPacketHeader.h"

int32_t ReceiveCommand(CTestEndpoint& server, int32_t nObjectCommand, CNetDefragObject* pObject)
{
    CItemPtr pItem = server.WaitKind(stQueueItem::KindData, RequestWaitMs);
    if (!pItem)
        return 0;
    CNetDefragBuffer ar(false);
    ar.Attach(pItem->pPayload, static_cast<UINT>(pItem->nLength));
    CNetDefragPacketHeader header;
    header.Serialize(ar);
    if (pObject != nullptr && header.GetCommand() == nObjectCommand)
        pObject->Serialize(ar);
    return header.GetCommand();
}
