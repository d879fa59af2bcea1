// Node-API's functions are imported from node.exe, the name of node-api-headers' import
// definitions, but the program that loads the addon may have any name (electron.exe, a
// renamed node.exe). The import is delay-loaded, and this hook answers its load with the
// program itself, as node-gyp's delay-load hook does.
#include <windows.h>

#include <delayimp.h>

#include <cstring>

namespace {

FARPROC WINAPI LoadHost(unsigned notification, PDelayLoadInfo info)
{
    if (notification != dliNotePreLoadLibrary || _stricmp(info->szDll, "node.exe") != 0) {
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(GetModuleHandleW(nullptr));
}

} // namespace

// The delay-load helper calls it before each load it makes.
PfnDliHook __pfnDliNotifyHook2 = LoadHost;
