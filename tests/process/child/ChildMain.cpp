// A small program the process tests start. It appends its command line (UTF-16) to the file named by
// QUELVO_CHILD_RECORD, then waits "sleep=<ms>" if asked and exits with the code of "exit=<code>".
#include <windows.h>

#include <cwchar>
#include <string>

namespace
{
unsigned long NumberAfter(const std::wstring& text, const wchar_t* key)
{
    const auto at = text.find(key);
    return at == std::wstring::npos ? 0 : std::wcstoul(text.c_str() + at + std::wcslen(key), nullptr, 10);
}
} // namespace

int main()
{
    const std::wstring commandLine = GetCommandLineW();
    wchar_t recordPath[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"QUELVO_CHILD_RECORD", recordPath, MAX_PATH) != 0)
    {
        const HANDLE file =
            CreateFileW(recordPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE)
        {
            DWORD written = 0;
            WriteFile(file, commandLine.data(), static_cast<DWORD>(commandLine.size() * sizeof(wchar_t)),
                      &written, nullptr);
            CloseHandle(file);
        }
    }
    if (const auto sleep = NumberAfter(commandLine, L"sleep="))
    {
        Sleep(sleep);
    }
    return static_cast<int>(NumberAfter(commandLine, L"exit="));
}
