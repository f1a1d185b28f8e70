// The system's message texts: the English texts of the codes the product and its tests meet, each
// ending in CR LF as Windows' do. Other codes have none (ERROR_MR_MID_NOT_FOUND).
#include "Internal.h"

#include <windows.h>

#include <map>
#include <string_view>

namespace
{
const std::map<DWORD, std::string_view>& SystemMessages()
{
    static const std::map<DWORD, std::string_view> messages{
        {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
        {ERROR_ACCESS_DENIED, "Access is denied."},
        {ERROR_INVALID_HANDLE, "The handle is invalid."},
        {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command."},
        {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
        {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small."},
        {ERROR_MOD_NOT_FOUND, "The specified module could not be found."},
        {ERROR_SERVICE_REQUEST_TIMEOUT,
         "The service did not respond to the start or control request in a timely fashion."},
        {ERROR_SERVICE_ALREADY_RUNNING, "An instance of the service is already running."},
        {ERROR_SERVICE_DISABLED, "The service cannot be started, either because it is disabled or because it "
                                 "has no enabled devices associated with it."},
        {ERROR_SERVICE_DOES_NOT_EXIST, "The specified service does not exist as an installed service."},
        {ERROR_PROCESS_ABORTED, "The process terminated unexpectedly."},
        {ERROR_NO_UNICODE_TRANSLATION, "No mapping for the Unicode character exists in the target multi-byte "
                                       "code page."},
    };
    return messages;
}
} // namespace

DWORD WINAPI FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPWSTR buffer,
                            DWORD size, va_list* arguments)
{
    std::lock_guard guard(winsim::detail::MachineLock());
    if (const auto fault = winsim::detail::Enter("FormatMessageW"))
    {
        SetLastError(*fault);
        return 0;
    }
    if (flags != (FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS) || source != nullptr ||
        languageId != 0 || buffer == nullptr || arguments != nullptr)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const auto found = SystemMessages().find(messageId);
    if (found == SystemMessages().end())
    {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    const std::string_view text = found->second;
    const DWORD length = static_cast<DWORD>(text.size()) + 2;
    if (size < length + 1)
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    DWORD i = 0;
    for (const char c : text)
    {
        buffer[i++] = static_cast<WCHAR>(c);
    }
    buffer[i++] = L'\r';
    buffer[i++] = L'\n';
    buffer[i] = L'\0';
    return length;
}
