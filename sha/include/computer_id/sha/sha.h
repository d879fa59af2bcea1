// Message digest library: SHA-1, SHA-224, SHA-256, SHA-384 and SHA-512 (FIPS 180-4)
// behind one dispatching interface. Plain functions over caller-owned contexts: nothing
// is allocated, thrown or printed, and every function returns one of the result codes.
#pragma once

#include <cstdint>

enum {
    shaSuccess = 0,
    shaNull,         // a required pointer is missing
    shaInputTooLong, // the message grew past the engine's length counter
    shaStateError,   // message bytes offered after the digest was computed
    shaBadParam      // selector outside SHA1..SHA512, or a final bit count above 7
};

enum SHAversion : std::int32_t { SHA1 = 0, SHA224 = 1, SHA256 = 2, SHA384 = 3, SHA512 = 4 };

enum {
    SHA1_Message_Block_Size = 64,
    SHA224_Message_Block_Size = 64,
    SHA256_Message_Block_Size = 64,
    SHA384_Message_Block_Size = 128,
    SHA512_Message_Block_Size = 128,
    USHA_Max_Message_Block_Size = SHA512_Message_Block_Size,

    SHA1HashSize = 20,
    SHA224HashSize = 28,
    SHA256HashSize = 32,
    SHA384HashSize = 48,
    SHA512HashSize = 64,
    USHAMaxHashSize = SHA512HashSize,
};

struct SHA1Context {
    std::uint32_t Intermediate_Hash[SHA1HashSize / 4];
    std::uint32_t Length_High;
    std::uint32_t Length_Low;
    std::int_least16_t Message_Block_Index;
    std::uint8_t Message_Block[SHA1_Message_Block_Size];
    int Computed;
    int Corrupted;
};

struct SHA256Context {
    std::uint32_t Intermediate_Hash[SHA256HashSize / 4];
    std::uint32_t Length_High;
    std::uint32_t Length_Low;
    std::int_least16_t Message_Block_Index;
    std::uint8_t Message_Block[SHA256_Message_Block_Size];
    int Computed;
    int Corrupted;
};

struct SHA512Context {
    std::uint64_t Intermediate_Hash[SHA512HashSize / 8];
    std::uint64_t Length_High;
    std::uint64_t Length_Low;
    std::int_least16_t Message_Block_Index;
    std::uint8_t Message_Block[SHA512_Message_Block_Size];
    int Computed;
    int Corrupted;
};

using SHA224Context = SHA256Context;
using SHA384Context = SHA512Context;

struct USHAContext {
    std::int32_t whichSha; // the SHAversion given to the last USHAReset, valid or not
    union {
        SHA1Context sha1Context;
        SHA224Context sha224Context;
        SHA256Context sha256Context;
        SHA384Context sha384Context;
        SHA512Context sha512Context;
    } ctx;
};

// Per-variant engines. Reset: null context -> shaNull. Input: null context -> shaNull;
// then a zero count returns shaSuccess whatever the message pointer and the state; a null
// message with a non-zero count -> shaNull; input after the result -> shaStateError (sticky); a
// sticky code is returned as is; a length overflow -> shaInputTooLong (sticky): the byte that
// overflows is still stored and counted, and the rest of the call is not taken. Result: null
// context or digest -> shaNull; a sticky code is returned; otherwise finishes the message
// if needed and writes exactly the variant's digest size, most significant byte first.
// FinalBits: null context -> shaNull; bit_count 0 -> shaSuccess, nothing changes;
// bit_count above 7 -> shaBadParam, nothing changes; otherwise a sticky code is returned as
// is, after the result -> shaStateError (sticky), bits that overflow the length are counted
// -> shaInputTooLong (sticky); else the bit_count high bits of message_bits end the message,
// which is then finished.
int SHA1Reset(SHA1Context* context);
int SHA1Input(SHA1Context* context, const std::uint8_t* bytes, std::uint32_t bytecount);
int SHA1FinalBits(SHA1Context* context, std::uint8_t message_bits, std::uint32_t bit_count);
int SHA1Result(SHA1Context* context, std::uint8_t Message_Digest[SHA1HashSize]);

int SHA224Reset(SHA224Context* context);
int SHA224Input(SHA224Context* context, const std::uint8_t* bytes, std::uint32_t bytecount);
int SHA224FinalBits(SHA224Context* context, std::uint8_t message_bits, std::uint32_t bit_count);
int SHA224Result(SHA224Context* context, std::uint8_t Message_Digest[SHA224HashSize]);

int SHA256Reset(SHA256Context* context);
int SHA256Input(SHA256Context* context, const std::uint8_t* bytes, std::uint32_t bytecount);
int SHA256FinalBits(SHA256Context* context, std::uint8_t message_bits, std::uint32_t bit_count);
int SHA256Result(SHA256Context* context, std::uint8_t Message_Digest[SHA256HashSize]);

int SHA384Reset(SHA384Context* context);
int SHA384Input(SHA384Context* context, const std::uint8_t* bytes, std::uint32_t bytecount);
int SHA384FinalBits(SHA384Context* context, std::uint8_t message_bits, std::uint32_t bit_count);
int SHA384Result(SHA384Context* context, std::uint8_t Message_Digest[SHA384HashSize]);

int SHA512Reset(SHA512Context* context);
int SHA512Input(SHA512Context* context, const std::uint8_t* bytes, std::uint32_t bytecount);
int SHA512FinalBits(SHA512Context* context, std::uint8_t message_bits, std::uint32_t bit_count);
int SHA512Result(SHA512Context* context, std::uint8_t Message_Digest[SHA512HashSize]);

// Dispatching interface. Every function: null context -> shaNull; a selector outside
// SHA1..SHA512 -> shaBadParam without touching the engine state; otherwise the engine's code.
// USHAReset stores whichSha in the context before examining it, even when it is invalid.
int USHAReset(USHAContext* context, SHAversion whichSha);
int USHAInput(USHAContext* context, const std::uint8_t* bytes, std::uint32_t bytecount);
int USHAFinalBits(USHAContext* context, std::uint8_t bits, std::uint32_t bit_count);
// Message_Digest must hold the variant's digest size; USHAMaxHashSize bytes always suffice.
int USHAResult(USHAContext* context, std::uint8_t Message_Digest[USHAMaxHashSize]);

// Keyed hashing, HMAC (FIPS 198-1), over any of the variants.
struct HMACContext {
    std::int32_t whichSha;  // the SHAversion given to the last HMACReset, valid or not
    int Corrupted;          // the code of a failed HMACReset, returned by every later call
    int Computed;           // the result is in shaContext
    USHAContext shaContext; // the inner hash; once the result is computed, the outer one
    std::uint8_t k_opad[USHA_Max_Message_Block_Size]; // the key block XOR opad
};

// HMACReset: null context -> shaNull; a selector outside SHA1..SHA512 -> shaBadParam; a null
// key with a non-zero key_len -> shaNull; a null key with key_len 0 is the empty key; a key
// longer than the variant's block is hashed first. A failed reset is sticky: every later
// call on the context returns its code, until a reset succeeds.
// HMACInput and HMACFinalBits: null context -> shaNull; a failed reset's code; otherwise as
// USHAInput and USHAFinalBits on the message being authenticated.
// HMACResult: null context -> shaNull; a failed reset's code; null digest -> shaNull; a
// sticky code of the message is returned; otherwise writes exactly the variant's digest
// size, the same again on later calls. Input or final bits after the result -> shaStateError
// (sticky). The key's bytes are copied: the caller may reuse them once HMACReset returns.
int HMACReset(HMACContext* context, SHAversion whichSha, const std::uint8_t* key,
              unsigned int key_len);
int HMACInput(HMACContext* context, const std::uint8_t* text, unsigned int text_len);
int HMACFinalBits(HMACContext* context, std::uint8_t bits, unsigned int bit_count);
int HMACResult(HMACContext* context, std::uint8_t digest[USHAMaxHashSize]);
