// What the tests may need to know about the platform they run on.
#pragma once

namespace Quelvo::Testing
{
// True under Wine, where a few documented checks are skipped (each such test says which).
bool RunningUnderWine();
} // namespace Quelvo::Testing
