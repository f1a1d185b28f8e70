#include "Convention.h"

#include <cstring>

namespace Quelvo::Injection
{
std::uint32_t ConventionRow(const char* name)
{
    for (std::uint32_t row = 0; row < kConventionCount; ++row)
    {
        if (std::strcmp(kConventions[row].name, name) == 0)
        {
            return row;
        }
    }
    return kConventionCount;
}
} // namespace Quelvo::Injection
