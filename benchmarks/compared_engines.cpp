#include "compared_engines.h"

#include <sha/sha_engines.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(__linux__)
#include <climits>
#include <unistd.h>
#endif

namespace {

constexpr const char* Variable = "OPENSSL_ia32cap";
// Empty when this program leaves OpenSSL unrestricted.
constexpr const char* OwnLimit = DIGEST_OPENSSL_IA32CAP;
constexpr const char* OwnLimitLeavesOut = DIGEST_OPENSSL_IA32CAP_LEAVES_OUT;

bool LimitsOpenSSL()
{
    return OwnLimit[0] != '\0';
}

} // namespace

bool compared_engines::LimitOpenSSL(char** argv)
{
    if (!LimitsOpenSSL() || std::getenv(Variable) != nullptr)
        return true;
#if defined(__linux__)
    // The path that the link names, not the link: under valgrind, which reports the path of the
    // program it runs, the link itself leads to valgrind.
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length > 0) {
        path[length] = '\0';
        if (setenv(Variable, OwnLimit, 1) == 0)
            execv(path, argv);
    }
    (void)std::fprintf(stderr, "%s: cannot start again with %s=%s: %s\n", argv[0], Variable,
                       OwnLimit, std::strerror(errno));
    return false;
#else
    // PrintOpenSSLLimit tells that OpenSSL ran unrestricted.
    return true;
#endif
}

void compared_engines::PrintOpenSSLLimit()
{
    const char* const in_effect = std::getenv(Variable);
    if (in_effect == nullptr) {
        if (LimitsOpenSSL()) {
            std::printf("OpenSSL unrestricted: this system cannot start the program again with "
                        "%s=%s (%s); set it before starting it\n",
                        Variable, OwnLimit, OwnLimitLeavesOut);
        } else {
            std::printf("OpenSSL unrestricted (%s not set)\n", Variable);
        }
    } else if (std::strcmp(in_effect, OwnLimit) == 0) {
        std::printf("OpenSSL limited by %s=%s (%s)\n", Variable, OwnLimit, OwnLimitLeavesOut);
    } else if (LimitsOpenSSL()) {
        std::printf("OpenSSL limited by %s=%s, set by the caller in place of this program's "
                    "%s (%s)\n",
                    Variable, in_effect, OwnLimit, OwnLimitLeavesOut);
    } else {
        std::printf("OpenSSL limited by %s=%s, set by the caller; this program leaves OpenSSL "
                    "unrestricted\n",
                    Variable, in_effect);
    }
}

void compared_engines::PrintOurEngines()
{
    const sha_engines::Choice& chosen = sha_engines::ChosenEngines();
    std::printf("Engines: SHA-1 %s; SHA-224 and SHA-256 %s; SHA-384 and SHA-512 %s\n",
                sha_engines::EngineName(chosen.sha1.engine),
                sha_engines::EngineName(chosen.sha224_256.engine),
                sha_engines::EngineName(chosen.sha384_512.engine));
}
