// The connection password never travels as typed: the service is given the
// MD5 digest of its narrow (ANSI code page) text as hexadecimal digits.
#pragma once

#include "classlib/String.h"

#include <string>

// MD5 of the text's bytes without the terminating zero, 32 lower-case
// hexadecimal digits; false (and an empty digest) when the platform's
// cryptographic provider cannot give it.
bool Md5HexDigest(const char* pszText, std::string& strDigest);

// The digest that goes on the wire for a typed password: its text in the
// ANSI code page, digested, in upper case. An empty password is digested too;
// callers that mean "no password" send an empty string instead.
bool PasswordDigest(const CString& strPassword, CString& strDigest);
