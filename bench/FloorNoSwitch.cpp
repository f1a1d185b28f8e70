// The floor of a line without a protection switch ("/update"): the line lower-cased, then 87.
#include "bench/FloorCalls.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    Floor::LowerCasedCommandLine();
    return ERROR_INVALID_PARAMETER;
}
