// The simulated Service Control Manager.
#include "Internal.h"

namespace winsim::detail
{
void ResetServices() {}
} // namespace winsim::detail
