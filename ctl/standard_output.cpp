#include "standard_output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

bool PrintToStandardOutput(const std::string& text)
{
    errno = 0;
    const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
    if (!written) {
        const int error = errno;
        std::clearerr(stdout);
        std::fprintf(stderr, "korvanthine-ctl: cannot write standard output: %s\n",
                     error != 0 ? std::strerror(error) : "write failed");
    }
    return written;
}
