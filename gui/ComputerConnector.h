// IComputerConnector: what the computer tree asks of the frame that holds the
// program's connection: to connect to a computer, and whether it already is.
#pragma once

#include "classlib/String.h"

class IComputerConnector
{
public:
    virtual ~IComputerConnector() = default;

    virtual void ConnectComputer(const CString& strName, const CString& strAddress, const CString& strPort) = 0;
    virtual bool IsConnectedTo(const CString& strName) const = 0;
};
