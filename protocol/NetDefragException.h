// CNetDefragException: raised by every loading path of the protocol when a
// received message is malformed. It carries a short wide text for the
// catchers, which answer 504 and drop the sender or tell the user.
#pragma once

#include <exception>

class CNetDefragException : public std::exception
{
public:
    // The text must outlive the exception: callers pass string literals.
    explicit CNetDefragException(const wchar_t* pszText) : m_pszText(pszText) {}

    const wchar_t* GetText() const { return m_pszText; }
    const char* what() const noexcept override { return "malformed protocol message"; }

private:
    const wchar_t* m_pszText;
};
