// The demo library's journal: one line per call, creation, release and string release, appended to
// the file named by DEMO_PRODUCT_JOURNAL.
#pragma once

#include <string>

namespace DemoProduct
{
void Journal(const std::string& line);

// UTF-8 of wide text (for paths in the journal).
std::string Utf8(const std::wstring& text);
std::wstring Utf16(const std::string& text);
} // namespace DemoProduct
