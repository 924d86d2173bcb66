// The registry routines on Windows: advapi32's narrow-character (ANSI) forms, with key paths and
// value names converted to the ANSI code page for the call and text values converted back.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// winreg.h maps RegQueryValue to RegQueryValueA/W; ours is the function of Registry.h.
#undef RegQueryValue

#include <cstring>
#include <string>

#include "platform/Codepage.h"
#include "platform/Registry.h"

namespace tarvelle::platform {

namespace {

// Predefined keys are 32-bit values that Windows sign-extends into a handle: HKEY_CURRENT_USER
// is (HKEY)(ULONG_PTR)(LONG)0x80000001, that is 0xFFFFFFFF80000001 in a 64-bit process.
HKEY RootHandle(std::uint32_t root) {
    return reinterpret_cast<HKEY>(
        static_cast<ULONG_PTR>(static_cast<LONG_PTR>(static_cast<LONG>(root))));
}

// RegOpenKeyA; the handle stays null when the key cannot be opened (its return code is not
// consulted, as the handle alone tells).
HKEY OpenKey(std::uint32_t root, const std::string& keyPath) {
    HKEY handle = nullptr;
    const std::string path = EncodeAnsi(keyPath);
    ::RegOpenKeyA(RootHandle(root), path.c_str(), &handle);
    return handle;
}

RegValue ReadValue(HKEY handle, const std::string& valueName) {
    const std::string name = EncodeAnsi(valueName);
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExA(handle, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
        type = 0;
    }
    switch (type) {
        case REG_SZ: {
            std::string buffer(size, ' ');
            DWORD read = size;
            if (::RegQueryValueExA(handle, name.c_str(), nullptr, &type,
                                   reinterpret_cast<BYTE*>(buffer.data()),
                                   &read) != ERROR_SUCCESS) {
                return std::string();
            }
            // Only the bytes the read reported hold the value: the size query may promise more
            // than the ANSI text needs, and the filler past it is not part of the value.
            if (read < buffer.size()) {
                buffer.resize(read);
            }
            const std::size_t nul = buffer.find('\0');
            if (nul != std::string::npos) {
                buffer.resize(nul);
            }
            return DecodeAnsi(buffer);
        }
        case REG_DWORD: {
            unsigned char bytes[4] = {};
            DWORD read = sizeof(bytes);
            if (::RegQueryValueExA(handle, name.c_str(), nullptr, &type, bytes, &read) !=
                ERROR_SUCCESS) {
                return std::string();
            }
            std::int32_t number = 0;
            std::memcpy(&number, bytes, sizeof(number));
            return number;
        }
        default:
            // Expandable strings, multi-strings, binary values, a failed query: the empty text.
            return std::string();
    }
}

}  // namespace

bool RegKeyExists(std::uint32_t root, const std::string& keyPath) {
    HKEY handle = OpenKey(root, keyPath);
    const bool exists = handle != nullptr;
    ::RegCloseKey(handle);
    return exists;
}

RegValue RegQueryValue(std::uint32_t root, const std::string& keyPath,
                       const std::string& valueName) {
    HKEY handle = OpenKey(root, keyPath);
    if (handle == nullptr) {
        ::RegCloseKey(handle);
        return std::string();
    }
    RegValue value;
    try {
        value = ReadValue(handle, valueName);
    } catch (...) {
        // Never an error to the caller (an allocation failure for a huge value included).
        value = std::string();
    }
    ::RegCloseKey(handle);
    return value;
}

}  // namespace tarvelle::platform
