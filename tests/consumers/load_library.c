/* Loads computer_id.dll by its path, as a program of any compiler would, on a thread where
 * COM is started multithreaded, and prints the ID alone. Fails unless the version is the one
 * given and COM on the thread is still multithreaded afterwards.
 *   load_library <path of computer_id.dll> <version> */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <objbase.h>
#include <stdio.h>
#include <string.h>

#include <computer_id/c_interface.h>

typedef int (*get_function)(char *id, size_t id_size, char *message, size_t message_size);
typedef const char *(*version_function)(void);

/* GetProcAddress gives every function one type; the cast through a function type without
 * parameters says that the real type is known. */
static void (*find(HMODULE library, const char *name))(void)
{
    void (*function)(void) = (void (*)(void))GetProcAddress(library, name);
    if (function == NULL) {
        fprintf(stderr, "%s is not exported\n", name);
    }
    return function;
}

int main(int argc, char **argv)
{
    HMODULE library;
    get_function get;
    version_function version;
    char id[COMPUTER_ID_MAX_SIZE];
    char message[256];
    int status;
    HRESULT hr;

    if (argc != 3) {
        fprintf(stderr, "usage: load_library <computer_id.dll> <version>\n");
        return 2;
    }
    hr = CoInitializeEx(NULL, COINIT_MULTITHREADED);
    if (FAILED(hr)) {
        fprintf(stderr, "CoInitializeEx: 0x%lx\n", (unsigned long)hr);
        return 1;
    }
    library = LoadLibraryA(argv[1]);
    if (library == NULL) {
        fprintf(stderr, "LoadLibrary(%s): error %lu\n", argv[1], (unsigned long)GetLastError());
        return 1;
    }
    get = (get_function)find(library, "computer_id_get");
    version = (version_function)find(library, "computer_id_version");
    if (get == NULL || version == NULL || find(library, "computer_id_get_traced") == NULL) {
        return 1;
    }
    if (strcmp(version(), argv[2]) != 0) {
        fprintf(stderr, "version %s, expected %s\n", version(), argv[2]);
        return 1;
    }
    status = get(id, sizeof id, message, sizeof message);
    if (status != COMPUTER_ID_OK) {
        fprintf(stderr, "status %d: %s\n", status, message);
        return 1;
    }
    hr = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    if (hr != RPC_E_CHANGED_MODE) {
        fprintf(stderr, "COM on the thread is no longer multithreaded: 0x%lx\n", (unsigned long)hr);
        return 1;
    }
    printf("%s\n", id);
    CoUninitialize();
    return 0;
}
