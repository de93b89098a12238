#pragma once

#include <chrono>
#include <cstdint>

// The machine-wide registry, in the shape of the Win32 calls the system was built around.
//
// The store is a tree of text files under RegistryFolder(): the key
//   HKEY_LOCAL_MACHINE\Software\TOLV\TOLV Watchdog Timer
// is the file
//   HKEY_LOCAL_MACHINE/Software/TOLV/TOLV Watchdog Timer.reg
// and its subkeys live in the folder of the same name beside it. A key file holds one value per
// line in .reg syntax (see RegistryFormat.h). Every write is a locked read-modify-write that
// replaces the file atomically and durably, so a crash leaves the old or the new file. A write
// waits about 2 s for a lock another process holds, never longer: a hung or hostile holder
// makes it fail with ERROR_SHARING_VIOLATION instead of freezing the caller.
//
// Key names are case-sensitive here. A key name may not be empty, "." or "..", may not hold '/',
// and may not end in ".reg", ".lock" or ".new" (those names are the store's own files).
namespace platform {

using LONG = std::int32_t;
using DWORD = std::uint32_t;
using BYTE = std::uint8_t;
using REGSAM = DWORD;

struct RegKeyHandle;
using HKEY = RegKeyHandle*;

// The one predefined root the store serves. Other predefined roots answer ERROR_INVALID_HANDLE.
inline const HKEY HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(std::uintptr_t{0x80000002});

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;

inline constexpr LONG ERROR_SUCCESS = 0;
inline constexpr LONG ERROR_FILE_NOT_FOUND = 2;
inline constexpr LONG ERROR_ACCESS_DENIED = 5;
inline constexpr LONG ERROR_INVALID_HANDLE = 6;
inline constexpr LONG ERROR_WRITE_FAULT = 29;
// Another process held the key's lock for longer than a write waits (about 2 s).
inline constexpr LONG ERROR_SHARING_VIOLATION = 32;
inline constexpr LONG ERROR_INVALID_PARAMETER = 87;
inline constexpr LONG ERROR_BAD_PATHNAME = 161;
inline constexpr LONG ERROR_MORE_DATA = 234;
// The key file exists but cannot be taken as a key file (too large, not a regular file), or a
// symbolic link stands in the key path; it is never overwritten nor followed.
inline constexpr LONG ERROR_BADDB = 1009;
inline constexpr LONG ERROR_KEY_DELETED = 1018;

inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr REGSAM KEY_WRITE = 0x20006;
inline constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Largest key file the store reads, and so the largest it writes.
inline constexpr std::uint32_t kMaxRegistryFileSize = 1024 * 1024;

// Opens hKey\lpSubKey, creating it and every missing parent. Access that includes writing needs
// write permission on the key file and its folder, else ERROR_ACCESS_DENIED.
// lpDisposition (optional) receives REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY.
LONG RegCreateKeyExA(HKEY hKey, const char* lpSubKey, DWORD Reserved, char* lpClass, DWORD dwOptions,
                     REGSAM samDesired, void* lpSecurityAttributes, HKEY* phkResult,
                     DWORD* lpdwDisposition);

// Opens an existing key; a missing one answers ERROR_FILE_NOT_FOUND.
LONG RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD ulOptions, REGSAM samDesired, HKEY* phkResult);

// Reads a value (null or "" names the default value). lpType receives the stored type. With
// lpData, up to *lpcbData bytes are copied; a longer value copies nothing and answers
// ERROR_MORE_DATA. *lpcbData always receives the stored size. A damaged line reads as a missing
// value (ERROR_FILE_NOT_FOUND).
LONG RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType, BYTE* lpData,
                      DWORD* lpcbData);

// Stores a value with its type. REG_SZ data is kept byte for byte, its terminating NUL included.
// Value names may not hold control characters (ERROR_INVALID_PARAMETER).
LONG RegSetValueExA(HKEY hKey, const char* lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                    DWORD cbData);

// Writes are durable when RegSetValueExA returns; flushing only checks the handle.
LONG RegFlushKey(HKEY hKey);

LONG RegCloseKey(HKEY hKey);

// For tests only: how long a write waits for the key's lock before it answers
// ERROR_SHARING_VIOLATION (zero or less restores the usual wait).
void SetKeyLockWaitForTesting(std::chrono::milliseconds wait);

} // namespace platform
