// Simulated processes, threads and tokens.
#include "Internal.h"

namespace winsim::detail
{
void ResetProcesses()
{
}
} // namespace winsim::detail
