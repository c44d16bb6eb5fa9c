// Opens a list's header menu and reads its entries from inside the menu's
// loop, where the popup exists; a picture of a window can be taken there too.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct stMENU_ENTRY
{
    std::wstring strText;
    UINT nId;
    UINT nState;
};

// Sends the list a context click on its header; returns the entries of the
// menu that opened (none when no menu opened within 10 s). With a window
// and a name, a picture of the window with the menu open is saved.
std::vector<stMENU_ENTRY> OpenHeaderMenu(HWND hList, HWND hPictureOf = NULL, const wchar_t* pszPicture = nullptr);
