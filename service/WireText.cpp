#include "service/WireText.h"

#include "protocol/NetDefragBuffer.h"

void BoundWireText(CUnicodeString& str)
{
    constexpr int MaxUnits = CNetDefragBuffer::MaxStringBytes / static_cast<int>(sizeof(wchar_t));
    if (str.GetLength() > MaxUnits)
        str = str.Left(MaxUnits);
}
