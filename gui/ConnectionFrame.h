// IConnectionFrame: what the drive list's connection asks of the main frame.
// A frame without it simply shows no tray state.
#pragma once

class IConnectionFrame
{
public:
    virtual ~IConnectionFrame() = default;

    virtual void SetTrayState(int nState) = 0;
    virtual void HideClusterView() = 0;
};
