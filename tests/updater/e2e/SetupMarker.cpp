// A stand-in installer for the updater's end-to-end run: started without
// arguments from the temporary folder, it leaves "setup-ran.txt" there.
#include <windows.h>

int wmain()
{
    wchar_t szPath[MAX_PATH + 1];
    DWORD dwChars = ::GetTempPathW(MAX_PATH + 1, szPath);
    if (dwChars == 0 || dwChars + 14 > MAX_PATH)
        return 1;
    lstrcatW(szPath, L"setup-ran.txt");
    HANDLE hFile = ::CreateFileW(szPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return 1;
    DWORD dwWritten = 0;
    BOOL bWritten = ::WriteFile(hFile, "ran\r\n", 5, &dwWritten, nullptr);
    return ::CloseHandle(hFile) && bWritten && dwWritten == 5 ? 0 : 1;
}
