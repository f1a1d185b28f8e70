// Must not compile where the SDK's rules hold: MSVC's C runtime deprecates getenv (C4996, an error
// under /sdl and /WX), and the mingw-clang build is held to the same.
#include <cstdlib>

const char* PlantedDeprecatedCall()
{
    return std::getenv("PATH");
}
