/* The computer ID for programs in any language: the C interface of the shared library
 * (libcomputer_id.so.0 on Linux, computer_id.dll on Windows). C89 and C++.
 *
 * Each call runs the whole pipeline on the calling thread and leaves COM on that thread as
 * it found it; a thread where the program started COM multithreaded is fine. No exception
 * leaves a function. Strings are NUL-terminated; sizes count the terminating NUL. */
#ifndef COMPUTER_ID_C_INTERFACE_H
#define COMPUTER_ID_C_INTERFACE_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* What a call returns. */
enum computer_id_status {
    COMPUTER_ID_OK = 0,
    /* A COM or WMI step failed or no value was found: the message says which. */
    COMPUTER_ID_NO_ID = 1,
    COMPUTER_ID_OUT_OF_MEMORY = 2,
    /* id_size cannot hold the ID and its NUL. */
    COMPUTER_ID_BUFFER_TOO_SMALL = 3,
    /* id is NULL. */
    COMPUTER_ID_INVALID_ARGUMENT = 4,
    /* Any other failure inside the library. */
    COMPUTER_ID_INTERNAL_ERROR = 5
};

/* An id buffer of this size holds every ID. */
#define COMPUTER_ID_MAX_SIZE 65

/* Writes this machine's ID into id (as the console program prints it after "comp id = ")
 * and returns COMPUTER_ID_OK. Otherwise returns another status, leaves id an empty string
 * when id_size > 0, and writes why into message: the text the console program prints after
 * "Error: ", without the line end, cut to message_size - 1 bytes. message may be NULL or
 * message_size 0; on success it is made an empty string. */
int computer_id_get(char* id, size_t id_size, char* message, size_t message_size);

/* computer_id_get, handing each trace line (with its '\n'; not NUL-terminated) to
 * write(context, text, size) as it is made, on the calling thread. A NULL write discards
 * the trace. */
int computer_id_get_traced(void (*write)(void* context, const char* text, size_t size),
                           void* context, char* id, size_t id_size, char* message,
                           size_t message_size);

/* The library's version, "major.minor.patch"; static storage. */
const char* computer_id_version(void);

#ifdef __cplusplus
}
#endif

#endif
