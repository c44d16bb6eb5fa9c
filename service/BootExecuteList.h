// CBootExecuteList: the Session Manager's list of programs run at boot (a multi-string)
// with the boot-time defragmenter's entry put in or taken out.
#pragma once

#include <windows.h>

class CBootExecuteList
{
public:
    static constexpr DWORD BufferBytes = 2000;
    static constexpr const wchar_t* EntryName = L"VfoldBtx";

    // pList holds dwBytes bytes of the value in a buffer of BufferBytes. True when the list
    // was changed; dwBytes is then the new size. A list without its closing empty string,
    // or one that would outgrow the buffer, is left as it is.
    static bool Apply(wchar_t* pList, DWORD& dwBytes, bool bWanted);

private:
    // The unit offset of the closing empty string, or -1 when there is none.
    static int FindEnd(const wchar_t* pList, int nUnits);
    // The unit offset of the first entry equal to the name, or -1.
    static int FindEntry(const wchar_t* pList, int nEnd);
};
