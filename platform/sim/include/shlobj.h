// Part of the simulated Windows: the shell folder query.
#pragma once
#include <windows.h>

#define CSIDL_APPDATA 0x001a
#define CSIDL_COMMON_APPDATA 0x0023

BOOL WINAPI SHGetSpecialFolderPathW(HWND owner, LPWSTR path, int csidl, BOOL create);
