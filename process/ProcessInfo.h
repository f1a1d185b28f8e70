// One process, described by its id and the full path of its executable, read once at construction.
#pragma once

#include <cstdint>
#include <string>

namespace Quelvo
{
class ProcessInfo
{
public:
    explicit ProcessInfo(std::uint32_t processId);
    virtual ~ProcessInfo() = default;

    virtual std::uint32_t GetProcessId() const;
    virtual std::wstring GetImagePath() const;
    virtual std::string GetImagePathUtf8() const;

private:
    std::uint32_t m_processId;
    std::wstring m_imagePath;
};
} // namespace Quelvo
