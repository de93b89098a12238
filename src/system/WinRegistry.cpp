#include "system/WinRegistry.h"

#include "platform/Assert.h"

#include <cstring>
#include <vector>

using namespace platform;

RegistryKey::RegistryKey() = default;

RegistryKey::~RegistryKey()
{
    Close();
}

bool RegistryKey::Open(HKEY root, const std::string& subKey, KeyAccess access)
{
    TOLV_ASSERT(!IsOpen());
    LONG result;
    if (access == KeyAccess::CreateIfMissing)
        result = RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                 nullptr, &m_Key, nullptr);
    else
        result = RegOpenKeyExA(root, subKey.c_str(), 0, KEY_ALL_ACCESS, &m_Key);
    m_LastResult = result;
    if (result != ERROR_SUCCESS) {
        m_Key = nullptr;
        return false;
    }
    m_Open = true;
    return true;
}

bool RegistryKey::IsOpen() const
{
    return m_Open;
}

bool RegistryKey::ReadDword(const std::string& name, std::uint32_t& value)
{
    // Read into a buffer of our own: a 4-byte value of another type must not leave its bytes
    // in the caller's target, which the caller keeps as its default on a false answer.
    BYTE buffer[4] = {};
    DWORD type = REG_NONE;
    DWORD size = sizeof buffer;
    if (RegQueryValueExA(m_Key, name.c_str(), nullptr, &type, buffer, &size) != ERROR_SUCCESS)
        return false;
    if (type != REG_DWORD || size != sizeof buffer)
        return false;
    std::memcpy(&value, buffer, sizeof buffer);
    return true;
}

bool RegistryKey::WriteDword(const std::string& name, std::uint32_t value)
{
    BYTE buffer[4];
    std::memcpy(buffer, &value, sizeof buffer);
    m_LastResult = RegSetValueExA(m_Key, name.c_str(), 0, REG_DWORD, buffer, sizeof buffer);
    return m_LastResult == ERROR_SUCCESS;
}

bool RegistryKey::ReadString(const std::string& name, std::string& value)
{
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExA(m_Key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ)
        return false;
    // A value that grew since its size was asked answers ERROR_MORE_DATA: read as missing.
    std::vector<BYTE> buffer(size);
    if (size > 0 && RegQueryValueExA(m_Key, name.c_str(), nullptr, &type, buffer.data(), &size) != ERROR_SUCCESS)
        return false;
    if (type != REG_SZ)
        return false;
    const auto* text = reinterpret_cast<const char*>(buffer.data());
    value.assign(text, strnlen(text, size));
    return true;
}

bool RegistryKey::WriteString(const std::string& name, const std::string& value)
{
    const std::size_t length = std::strlen(value.c_str());
    m_LastResult = RegSetValueExA(m_Key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                  static_cast<DWORD>(length + 1));
    return m_LastResult == ERROR_SUCCESS;
}

void RegistryKey::Flush()
{
    if (m_Key)
        (void)RegFlushKey(m_Key); // writes are durable already; nothing to report
}

void RegistryKey::Close()
{
    if (!m_Open)
        return;
    (void)RegCloseKey(m_Key); // a valid handle always closes
    m_Key = nullptr;
    m_Open = false;
}

std::string DescribeRegistryResult(LONG result)
{
    switch (result) {
    case ERROR_SUCCESS:
        return "no error";
    case ERROR_ACCESS_DENIED:
        return "permission denied";
    case ERROR_FILE_NOT_FOUND:
        return "the key does not exist";
    case ERROR_BADDB:
        return "the file is damaged, too large or not a regular file";
    case ERROR_WRITE_FAULT:
        return "the file could not be written";
    case ERROR_SHARING_VIOLATION:
        return "the file is in use by another program";
    default:
        return "error " + std::to_string(result);
    }
}
