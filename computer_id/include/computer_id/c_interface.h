/* The computer ID for programs in any language: the C interface of the shared library
 * (libcomputer_id.so.0 on Linux, computer_id.dll on Windows). C89 and C++.
 *
 * Each call runs the whole pipeline on the calling thread and leaves COM on that thread as
 * it found it; a thread where the program started COM multithreaded is fine. No exception
 * leaves a function; thread cancellation and pthread_exit (also from a trace function) end
 * the thread through a call as through any C function, with nothing of the call left held.
 * Strings are NUL-terminated; sizes count the terminating NUL. Output buffers are written
 * only when the call's result is known. */
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
    /* id_size (json_size, fingerprint_size) cannot hold the ID (the description, the
     * fingerprint) and its NUL. */
    COMPUTER_ID_BUFFER_TOO_SMALL = 3,
    /* id (json, fingerprint) is NULL, the application key is NULL, too short or too long, or
     * a text given as a fingerprint is none. */
    COMPUTER_ID_INVALID_ARGUMENT = 4,
    /* Any other failure inside the library. */
    COMPUTER_ID_INTERNAL_ERROR = 5,
    /* Two fingerprints were made with different application keys. */
    COMPUTER_ID_KEY_MISMATCH = 6
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

/* An application key has at least this many bytes (128 bits), and at most 4294967295
 * (2^32 - 1). */
#define COMPUTER_ID_MIN_APP_KEY_SIZE 16

/* The ID of this machine for one application: HMAC-SHA-256, keyed with key, of the text the
 * ID is made from, as 64 lowercase hex digits; applications with different keys get IDs
 * that cannot be matched. A NULL key, or one shorter than COMPUTER_ID_MIN_APP_KEY_SIZE or
 * longer than 4294967295 bytes -> COMPUTER_ID_INVALID_ARGUMENT. The key may share memory
 * with id or message. Otherwise as computer_id_get. */
int computer_id_get_for_app(const unsigned char* key, size_t key_size, char* id, size_t id_size,
                            char* message, size_t message_size);

/* What the ID rests on, without any of its values, as a JSON object: "objects" (each with
 * its "class" and "properties": "name", "state" of "value", "null", "access denied" or
 * "failed", and "placeholder"), "hypervisor" and "hypervisor_vendor" (CPUID),
 * "serial_number_backed" and "verdict" ("serial number", or "model only" when every machine
 * of this model gets the same ID). json_needed (may be NULL) receives the size the text
 * needs, its NUL included, also with COMPUTER_ID_BUFFER_TOO_SMALL. A NULL json ->
 * COMPUTER_ID_INVALID_ARGUMENT. Messages as computer_id_get. */
int computer_id_describe(char* json, size_t json_size, size_t* json_needed, char* message,
                         size_t message_size);

/* A fingerprint buffer of this size holds every fingerprint, of this version and later. */
#define COMPUTER_ID_MAX_FINGERPRINT_SIZE 256

/* The parts of a fingerprint, as bits of computer_id_match's changed. */
#define COMPUTER_ID_PART_PROCESSOR 1
#define COMPUTER_ID_PART_BOARD 2
#define COMPUTER_ID_PART_BOARD_SERIAL 4
#define COMPUTER_ID_PART_BIOS 8
#define COMPUTER_ID_PART_BIOS_SERIAL 16

/* This machine's fingerprint for one application: a short ASCII text holding, for each part,
 * whether it is present and a digest keyed with key, plus a check value of the key. Store
 * it and later hand it with a fresh one to computer_id_match. Key rules as
 * computer_id_get_for_app. fingerprint_needed (may be NULL) receives the size the text
 * needs, its NUL included, also with COMPUTER_ID_BUFFER_TOO_SMALL. A NULL fingerprint ->
 * COMPUTER_ID_INVALID_ARGUMENT. Otherwise as computer_id_get. */
int computer_id_fingerprint(const unsigned char* key, size_t key_size, char* fingerprint,
                            size_t fingerprint_size, size_t* fingerprint_needed, char* message,
                            size_t message_size);

/* Verdicts of computer_id_match, the first that holds: every part equal and present on the
 * same sides; a serial number present on both sides equal; one differing; no serial number
 * present on both sides. */
#define COMPUTER_ID_MATCH_SAME 0
#define COMPUTER_ID_MATCH_SAME_MACHINE 1
#define COMPUTER_ID_MATCH_DIFFERENT 2
#define COMPUTER_ID_MATCH_UNDECIDED 3

/* Compares a stored fingerprint with a current one, without reading the hardware: writes the
 * verdict and into changed the COMPUTER_ID_PART_ bits of the parts that differ or are present
 * on one side only. A NULL argument (but message) or malformed text ->
 * COMPUTER_ID_INVALID_ARGUMENT; fingerprints of different keys -> COMPUTER_ID_KEY_MISMATCH.
 * verdict and changed are written only on success. Messages as computer_id_get. */
int computer_id_match(const char* stored, const char* current, int* verdict, unsigned* changed,
                      char* message, size_t message_size);

/* The library's version, "major.minor.patch"; static storage. */
const char* computer_id_version(void);

#ifdef __cplusplus
}
#endif

#endif
