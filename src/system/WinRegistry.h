#pragma once

#include "platform/Registry.h"

#include <cstdint>
#include <string>

// Whether RegistryKey::Open creates a missing key (and every missing parent) first.
enum class KeyAccess { OpenExisting, CreateIfMissing };

// One open registry key, created on the stack for one access: construct, Open, read or write,
// Flush, Close. No key handle lives on between accesses.
class RegistryKey {
public:
    RegistryKey();
    ~RegistryKey();
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Opens root\subKey with full access; with KeyAccess::CreateIfMissing, missing keys are
    // created first.
    bool Open(platform::HKEY root, const std::string& subKey, KeyAccess access);
    bool IsOpen() const;
    // Answers true only for a stored REG_DWORD; on false the target is left unchanged.
    bool ReadDword(const std::string& name, std::uint32_t& value);
    bool WriteDword(const std::string& name, std::uint32_t value);
    // Answers true only for a stored REG_SZ; the text ends at its first NUL. On false the target
    // is left unchanged.
    bool ReadString(const std::string& name, std::string& value);
    // Stores a REG_SZ with its terminating NUL (a NUL inside value ends the text there).
    bool WriteString(const std::string& name, const std::string& value);
    void Flush();
    void Close();
    // The store's answer to the last Open or write (ERROR_SUCCESS, ERROR_ACCESS_DENIED, ...).
    platform::LONG LastResult() const { return m_LastResult; }

private:
    platform::HKEY m_Key{};
    bool m_Open = false;
    platform::LONG m_LastResult = platform::ERROR_SUCCESS;
};

// A store answer in words, for messages to the user ("permission denied").
std::string DescribeRegistryResult(platform::LONG result);
