// Simulated versions, system information, registry and file version resources.
#include "Internal.h"

namespace winsim::detail
{
void ResetSystem()
{
}
} // namespace winsim::detail
