// Prints the SHA-256 of a file in the layout of sha256sum: 64 hex digits, two spaces, the
// name; "-" is standard input. As sha256sum does, a name with a backslash, a newline or a
// carriage return is written escaped, on a line that starts with a backslash.
#include <computer_id/sha/sha.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

// sha256sum's escapes: a backslash doubled, a newline as \n, a carriage return as \r.
std::string EscapedName(const char* name)
{
    std::string text;
    for (const char* c = name; *c != '\0'; ++c) {
        if (*c == '\\')
            text += "\\\\";
        else if (*c == '\n')
            text += "\\n";
        else if (*c == '\r')
            text += "\\r";
        else
            text += *c;
    }
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: sha256_file FILE\n";
        return 2;
    }
    const bool standardInput = std::strcmp(argv[1], "-") == 0;
    std::FILE* const file = standardInput ? stdin : std::fopen(argv[1], "rb");
    if (file == nullptr) {
        std::cerr << "sha256_file: cannot open " << argv[1] << "\n";
        return 1;
    }

    USHAContext context;
    USHAReset(&context, SHA256);
    std::vector<std::uint8_t> chunk(std::size_t{64} * 1024);
    std::size_t count = 0;
    while ((count = std::fread(chunk.data(), 1, chunk.size(), file)) > 0) {
        const int code = USHAInput(&context, chunk.data(), static_cast<std::uint32_t>(count));
        if (code != shaSuccess) {
            std::cerr << "sha256_file: digest error " << code << "\n";
            return 1;
        }
    }
    const bool readFailed = std::ferror(file) != 0;
    if (!standardInput)
        (void)std::fclose(file);
    if (readFailed) {
        std::cerr << "sha256_file: cannot read " << argv[1] << "\n";
        return 1;
    }

    std::uint8_t digest[USHAMaxHashSize];
    if (USHAResult(&context, digest) != shaSuccess)
        return 1;
    const bool escaped = std::strpbrk(argv[1], "\\\n\r") != nullptr;
    if (escaped)
        std::printf("\\");
    for (int i = 0; i < SHA256HashSize; ++i)
        std::printf("%02x", digest[i]);
    std::printf("  %s\n", escaped ? EscapedName(argv[1]).c_str() : argv[1]);
    return 0;
}
