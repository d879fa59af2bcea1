#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>

namespace Lib_ComputerID {

// The ID of this machine for programs that embed the library: runs the whole pipeline
// (COM start-up, hardware inventory, digest) with its trace on the given stream and
// returns the ID text. The trace is the one GetComputerID writes, without its "Error: "
// line; a stream without a buffer (std::ostream(nullptr)) discards it. Puts the stream's
// formatting flags back as it found them, also when it throws, and never writes to
// std::cout.
//
// Throws IDGenerationError, with the message that GetComputerID would report, when COM
// cannot be started, a COM step fails or no string value was found. Running out of memory
// throws std::bad_alloc instead, whichever layer noticed it: an allocation of the library,
// a wide string that cannot be allocated, or a COM or WMI step that fails with
// E_OUTOFMEMORY or WBEM_E_OUT_OF_MEMORY (where GetComputerID reports that step's message).
// Nothing else leaves it but what the trace stream throws if its exception mask asks for
// it (and the unwinding of a cancelled or exiting thread).
//
// Threads and COM: everything runs on the calling thread, and COM is left on it as it was
// found. A thread where COM is not started, or started apartment-threaded, gets a start-up
// apartment-threaded that is undone before the call returns or throws; a thread where the
// program started COM multithreaded is used in that model. Every COM interface and value
// the run holds is released before it returns, whatever leaves it. The library keeps no
// state between calls and may be called at any time, from atexit handlers and the
// destructors of static objects too. The trace stream is written without a lock and
// switched to hex while the run lasts: threads that call it at the same time need a trace
// stream each. Messages and the ID do not depend on the global locale.
std::string GenerateComputerID(std::ostream& trace);

// An application key is a random secret of at least this many bytes (128 bits), and of at
// most 2^32 - 1, the most the digest takes in one piece.
inline constexpr std::size_t kMinAppKeySize = 16;
inline constexpr std::uint64_t kMaxAppKeySize = 0xffffffffU;

// The ID of this machine for one application: HMAC-SHA-256, keyed with appKey, of the same
// platform information text the ID is made from, as 64 lowercase hex digits (every byte
// two). Applications with different keys get IDs that cannot be matched with each other or
// checked without the key. Throws std::invalid_argument, before anything runs, for a key
// shorter than kMinAppKeySize bytes or longer than 2^32 - 1; otherwise trace, failures,
// threads and COM as GenerateComputerID.
std::string GenerateAppSpecificID(std::ostream& trace, std::span<const std::uint8_t> appKey);

// Starts COM on the calling thread, apartment-threaded, and leaves it started. Starting it
// again on the same thread is not a failure. Throws IDGenerationError when COM cannot be
// started, also on a thread where COM was started multithreaded (status 0x80010106).
void InitializeCOM();

// The console program's entry: GenerateComputerID with its trace on standard output,
// moving the ID text into computerId on success. Starts COM as InitializeCOM does and leaves
// it started. Reports an IDGenerationError as an
// "Error: " line and leaves computerId untouched; other exceptions pass through, so a run
// never yields another ID. The trace switches std::cout to hexadecimal integers for good.
// Not safe to call from two threads at once: both would write std::cout and its flags.
void GetComputerID(std::string& computerId);

} // namespace Lib_ComputerID
