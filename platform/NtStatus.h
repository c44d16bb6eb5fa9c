// The NTSTATUS values that the volume controls answer and that their callers tell apart.
// The system's own status header cannot be included beside windows.h without care, so the
// few that matter are named here once.
#pragma once

#include <windows.h>
#include <winternl.h>

namespace ntstatus {

constexpr NTSTATUS Success = 0x00000000;
constexpr NTSTATUS Pending = 0x00000103;
constexpr NTSTATUS NotifyCleanup = 0x0000010B;
constexpr NTSTATUS NotifyEnumDir = 0x0000010C;
constexpr NTSTATUS BufferOverflow = static_cast<NTSTATUS>(0x80000005);
constexpr NTSTATUS Unsuccessful = static_cast<NTSTATUS>(0xC0000001);
constexpr NTSTATUS NotImplemented = static_cast<NTSTATUS>(0xC0000002);
constexpr NTSTATUS InvalidInfoClass = static_cast<NTSTATUS>(0xC0000003);
constexpr NTSTATUS InfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004);
constexpr NTSTATUS InvalidHandle = static_cast<NTSTATUS>(0xC0000008);
constexpr NTSTATUS InvalidParameter = static_cast<NTSTATUS>(0xC000000D);
constexpr NTSTATUS InvalidDeviceRequest = static_cast<NTSTATUS>(0xC0000010);
constexpr NTSTATUS EndOfFile = static_cast<NTSTATUS>(0xC0000011);
constexpr NTSTATUS AlreadyCommitted = static_cast<NTSTATUS>(0xC0000021);
constexpr NTSTATUS AccessDenied = static_cast<NTSTATUS>(0xC0000022);
constexpr NTSTATUS BufferTooSmall = static_cast<NTSTATUS>(0xC0000023);
constexpr NTSTATUS ObjectNameNotFound = static_cast<NTSTATUS>(0xC0000034);
constexpr NTSTATUS SharingViolation = static_cast<NTSTATUS>(0xC0000043);
constexpr NTSTATUS DiskFull = static_cast<NTSTATUS>(0xC000007F);
constexpr NTSTATUS NotSupported = static_cast<NTSTATUS>(0xC00000BB);
constexpr NTSTATUS Cancelled = static_cast<NTSTATUS>(0xC0000120);
constexpr NTSTATUS IoDeviceError = static_cast<NTSTATUS>(0xC0000185);
constexpr NTSTATUS MediaWriteProtected = static_cast<NTSTATUS>(0xC00000A2);

// Warnings (0x8...) still hand back what was written; errors (0xC...) hand back nothing.
inline bool IsError(NTSTATUS status) { return (static_cast<ULONG>(status) >> 30) == 3; }

} // namespace ntstatus
