#include <computer_id/c_interface.h>

#include "failure_messages.h"
#include <computer_id/computer_id.h>
#include <computer_id/id_generation_error.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>

#ifndef COMPUTER_ID_VERSION
#error "COMPUTER_ID_VERSION names the project version"
#endif

namespace {

using TraceWriter = void (*)(void* context, const char* text, size_t size);

// Hands each trace line, with its line end, to the caller's function once it is complete,
// and what is left of an unfinished line when the run ends.
class LineHandOver final : public std::streambuf {
public:
    LineHandOver(TraceWriter write, void* context) : write_(write), context_(context) {}

    void HandOverRest()
    {
        if (!line_.empty()) {
            HandOver();
        }
    }

protected:
    int_type overflow(int_type character) override
    {
        if (traits_type::eq_int_type(character, traits_type::eof())) {
            return traits_type::not_eof(character);
        }
        const char text = traits_type::to_char_type(character);
        Append(std::string_view(&text, 1));
        return character;
    }

    std::streamsize xsputn(const char* text, std::streamsize count) override
    {
        Append(std::string_view(text, static_cast<size_t>(count)));
        return count;
    }

private:
    void Append(std::string_view text)
    {
        while (!text.empty()) {
            const size_t end = text.find('\n');
            const size_t taken = end == std::string_view::npos ? text.size() : end + 1;
            line_.append(text.substr(0, taken));
            text.remove_prefix(taken);
            if (end != std::string_view::npos) {
                HandOver();
            }
        }
    }

    void HandOver()
    {
        write_(context_, line_.data(), line_.size());
        line_.clear();
    }

    TraceWriter write_;
    void* context_;
    std::string line_;
};

// Copies text into a buffer of the given size, cut to fit and NUL-terminated; nothing
// when there is no room even for the NUL.
void CopyCut(std::string_view text, char* buffer, size_t size)
{
    if (buffer == nullptr || size == 0) {
        return;
    }
    const size_t count = std::min(text.size(), size - 1);
    std::memcpy(buffer, text.data(), count);
    buffer[count] = '\0';
}

int Fail(int status, std::string_view why, char* message, size_t messageSize)
{
    CopyCut(why, message, messageSize);
    return status;
}

// The message of an IDGenerationError without its line ends, as the console prints it.
std::string_view WithoutLineEnd(std::string_view message)
{
    while (!message.empty() && message.back() == '\n') {
        message.remove_suffix(1);
    }
    return message;
}

int GetId(TraceWriter write, void* context, char* id, size_t idSize, char* message,
          size_t messageSize) noexcept
{
    namespace messages = Lib_ComputerID::failure_messages;
    if (id == nullptr) {
        return Fail(COMPUTER_ID_INVALID_ARGUMENT, messages::kIdNull, message, messageSize);
    }
    CopyCut("", id, idSize);
    CopyCut("", message, messageSize);
    try {
        std::string text;
        if (write != nullptr) {
            LineHandOver lines(write, context);
            std::ostream trace(&lines);
            // A line that cannot be kept for want of memory fails the call instead of
            // vanishing from the trace.
            trace.exceptions(std::ios_base::badbit);
            text = Lib_ComputerID::GenerateComputerID(trace);
            lines.HandOverRest();
        } else {
            std::ostream noTrace(nullptr);
            text = Lib_ComputerID::GenerateComputerID(noTrace);
        }
        if (text.size() >= idSize) {
            return Fail(COMPUTER_ID_BUFFER_TOO_SMALL, messages::kIdBufferTooSmall, message,
                        messageSize);
        }
        CopyCut(text, id, idSize);
        return COMPUTER_ID_OK;
    } catch (const Lib_ComputerID::IDGenerationError& error) {
        return Fail(COMPUTER_ID_NO_ID, WithoutLineEnd(error.what()), message, messageSize);
    } catch (const std::bad_alloc&) {
        return Fail(COMPUTER_ID_OUT_OF_MEMORY, messages::kOutOfMemory, message, messageSize);
    } catch (const std::exception& error) {
        return Fail(COMPUTER_ID_INTERNAL_ERROR, error.what(), message, messageSize);
    } catch (...) {
        return Fail(COMPUTER_ID_INTERNAL_ERROR, messages::kUnknown, message, messageSize);
    }
}

} // namespace

extern "C" {

int computer_id_get(char* id, size_t id_size, char* message, size_t message_size)
{
    return GetId(nullptr, nullptr, id, id_size, message, message_size);
}

int computer_id_get_traced(void (*write)(void* context, const char* text, size_t size),
                           void* context, char* id, size_t id_size, char* message,
                           size_t message_size)
{
    return GetId(write, context, id, id_size, message, message_size);
}

const char* computer_id_version(void)
{
    return COMPUTER_ID_VERSION;
}

} // extern "C"
