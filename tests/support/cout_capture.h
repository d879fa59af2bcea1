#pragma once

#include <iostream>
#include <sstream>
#include <string>

namespace test_support {

// Redirects std::cout into a string for the lifetime of the object and restores both the
// buffer and the formatting flags (the code under test switches std::cout to hex).
class CoutCapture {
public:
    CoutCapture()
        : saved_buffer_(std::cout.rdbuf(captured_.rdbuf())), saved_flags_(std::cout.flags())
    {
    }
    ~CoutCapture()
    {
        std::cout.rdbuf(saved_buffer_);
        std::cout.flags(saved_flags_);
    }
    CoutCapture(const CoutCapture&) = delete;
    CoutCapture& operator=(const CoutCapture&) = delete;

    std::string Text() const { return captured_.str(); }

private:
    std::ostringstream captured_;
    std::streambuf* saved_buffer_;
    std::ios_base::fmtflags saved_flags_;
};

} // namespace test_support
