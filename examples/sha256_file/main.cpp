// Prints the SHA-256 of a file in the layout of sha256sum: 64 hex digits, two spaces, the name.
#include <computer_id/sha/sha.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: sha256_file FILE\n";
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    if (!file) {
        std::cerr << "sha256_file: cannot open " << argv[1] << "\n";
        return 1;
    }

    USHAContext context;
    USHAReset(&context, SHA256);
    std::vector<char> chunk(std::size_t{64} * 1024);
    while (file.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) ||
           file.gcount() > 0) {
        const int code = USHAInput(&context, reinterpret_cast<const std::uint8_t*>(chunk.data()),
                                   static_cast<std::uint32_t>(file.gcount()));
        if (code != shaSuccess) {
            std::cerr << "sha256_file: digest error " << code << "\n";
            return 1;
        }
    }
    if (file.bad()) {
        std::cerr << "sha256_file: cannot read " << argv[1] << "\n";
        return 1;
    }

    std::uint8_t digest[USHAMaxHashSize];
    if (USHAResult(&context, digest) != shaSuccess)
        return 1;
    for (int i = 0; i < SHA256HashSize; ++i)
        std::printf("%02x", digest[i]);
    std::printf("  %s\n", argv[1]);
    return 0;
}
