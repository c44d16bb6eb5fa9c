// What the updater accepts from the version description, which comes from the
// network: only web addresses are opened, and the file a download is saved as
// must be a plain name inside the temporary folder.
#pragma once

#include <string>
#include <string_view>

// True for an http:// or https:// address (the scheme in any case).
bool IsWebUrl(std::u16string_view strUrl);

// The file name of a download: the last segment of the canonical URL's path,
// without query and fragment. False, with an empty name, when that is empty,
// "." or "..", a device name, or holds a character a file name cannot hold.
bool TargetNameFromUrl(std::u16string_view strCanonicalUrl, std::u16string& strName);

// The command line that opens the URL with the browser's registered command:
// the command is cut where "%1" (quoted, else bare) begins, and the URL is
// appended in quotes, with any quote of its own escaped, so that it stays one
// argument. Without "%1" the URL is appended to the whole command.
std::u16string BrowserCommandLine(std::u16string_view strCommand, std::u16string_view strUrl);
