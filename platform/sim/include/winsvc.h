// Part of the simulated Windows: everything is declared in windows.h.
#pragma once
#include <windows.h>
