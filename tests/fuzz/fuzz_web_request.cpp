// The parts of a request serve reads before anything is decided: the
// Authorization header and the body of POST /settings. The first byte says
// which; whatever is accepted must be what was asked.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "basic_auth.h"
#include "settings_request.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    if (data[0] & 1) {
        const auto credentials = ParseBasicAuthorization(text);
        if (credentials && credentials->user.find(':') != std::string::npos)
            std::abort();
        return 0;
    }
    SettingsChange change;
    std::string problem;
    if (ParseSettingsRequest(text, &change, &problem)) {
        if (change.channel < 1 || change.channel > 4 || (!change.setTenths && !change.outputEnable)
            || (change.outputEnable && *change.outputEnable != 0 && *change.outputEnable != 1))
            std::abort();
    } else if (problem.empty()) {
        std::abort();
    }
    return 0;
}
