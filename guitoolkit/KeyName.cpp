#include "guitoolkit/KeyName.h"

#include "guitoolkit/ToolkitEnvironment.h"

namespace
{
constexpr LONG ExtendedKeyBit = 1 << 24;
constexpr int MaxKeyName = 128;

// The keys that sit both in the navigation block and on the keypad share a
// scan code; only the extended bit tells the navigation key apart, so without
// it Delete is named after the keypad key and Ctrl+Break after Scroll Lock.
// The list is fixed because MapVirtualKeyW(MAPVK_VK_TO_VSC_EX) reports no
// E0 prefix under Wine (VK_DELETE gives 0x0053, VK_LEFT 0x004B).
bool IsExtendedKey(UINT nVirtKey)
{
    switch (nVirtKey)
    {
    case VK_CANCEL:
    case VK_INSERT:
    case VK_DELETE:
    case VK_HOME:
    case VK_END:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
    case VK_DIVIDE:
    case VK_NUMLOCK:
        return true;
    default:
        return false;
    }
}

CString KeyNameOf(LONG lKey)
{
    wchar_t szName[MaxKeyName] = {};
    int nLength = ToolkitEnvironment().pfnGetKeyNameText(lKey, szName, MaxKeyName);
    if (nLength <= 0)
        return CString();
    return CString(szName, nLength < MaxKeyName ? nLength : MaxKeyName - 1);
}
} // namespace

CString GetAcceleratorKeyName(UINT nVirtKey)
{
    LONG lKey = static_cast<LONG>(::MapVirtualKeyW(nVirtKey, MAPVK_VK_TO_VSC) << 16);
    // Wine names VK_CANCEL (its scan code 0x68) and scan code 0x46 only
    // without the extended bit: with it the name is empty, and a command
    // would read "Ctrl+" alone.
    if (IsExtendedKey(nVirtKey))
    {
        CString strName = KeyNameOf(lKey | ExtendedKeyBit);
        if (!strName.IsEmpty())
            return strName;
    }
    return KeyNameOf(lKey);
}
