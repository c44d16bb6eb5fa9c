// The news text of a version description as the edit control shows it.
#pragma once

#include <string>
#include <string_view>

// Turns the two-character sequences backslash-n and backslash-r into a line
// feed and a carriage return, then every line feed not already preceded by a
// carriage return into CRLF: the edit control of Windows breaks lines only on
// CRLF, while Wine's also breaks on a lone LF.
std::u16string WhatsNewText(std::u16string_view strValue);
