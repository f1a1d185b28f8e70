#include "demo/client/DemoScript.h"

#include <windows.h>

#include <sstream>

namespace DemoProduct
{
Script& Script::Instance()
{
    static Script script;
    return script;
}

void Script::Load()
{
    m_values.clear();
    wchar_t path[MAX_PATH * 4] = {};
    if (GetEnvironmentVariableW(L"DEMO_PRODUCT_SCRIPT", path, ARRAYSIZE(path)) == 0)
    {
        return;
    }
    const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        return;
    }
    std::string content;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0)
    {
        content.append(buffer, read);
    }
    CloseHandle(file);

    std::istringstream lines(content);
    std::string line;
    while (std::getline(lines, line))
    {
        if (!line.empty() && line.back() == '\r')
        {
            line.pop_back();
        }
        const auto equals = line.find('=');
        if (equals != std::string::npos)
        {
            m_values[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
}

std::uint32_t Script::Result(const std::string& operation) const
{
    const auto value = Value("result." + operation);
    return value ? static_cast<std::uint32_t>(std::stoul(*value)) : 0;
}

bool Script::Flag(const std::string& key, bool fallback) const
{
    const auto value = Value(key);
    return value ? *value == "1" : fallback;
}

std::optional<std::string> Script::Value(const std::string& key) const
{
    const auto it = m_values.find(key);
    return it != m_values.end() ? std::optional<std::string>(it->second) : std::nullopt;
}
} // namespace DemoProduct
