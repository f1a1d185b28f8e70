// Owner of an open registry key: RegCloseKey when the key is not null.
#pragma once

#include <windows.h>

namespace Quelvo
{
class ScopedRegKey
{
public:
    ScopedRegKey() = default;
    ScopedRegKey(const ScopedRegKey&) = delete;
    ScopedRegKey& operator=(const ScopedRegKey&) = delete;

    ~ScopedRegKey()
    {
        if (m_key != nullptr)
        {
            RegCloseKey(m_key);
        }
    }

    // Where RegOpenKeyExW writes the key.
    HKEY* Put() { return &m_key; }

    HKEY Get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};
} // namespace Quelvo
