// CCompItemData: what an item of the computer tree stands for: a computer
// to connect to, or a folder that groups computers.
#pragma once

#include "classlib/String.h"

class CCompItemData
{
public:
    enum : int
    {
        TypeComputer = 1,
        TypeFolder = 2
    };

    CString m_strName;
    // "0" for the local computer and for folders.
    CString m_strAddress;
    CString m_strPort;
    int m_nType = TypeComputer;
};
