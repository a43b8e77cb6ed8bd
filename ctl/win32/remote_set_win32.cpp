#include <cstdio>
#include <string>

#include "exit_status.h"
#include "remote_set.h"

int RunRemoteSet(const CtlRequest&)
{
    std::fprintf(stderr, "korvanthine-ctl: set --url needs TLS, which the Windows build does not have; run it "
                         "from a Linux machine\n");
    return kExitUsage;
}

int ReadRemotePassword(const CtlRequest& request, std::string*)
{
    return HttpsCall(request, "", "", "", "", "", nullptr);
}

int HttpsCall(const CtlRequest& request, std::string, const std::string&, const std::string&, const std::string&,
              const std::string&, HttpsAnswer*)
{
    std::fprintf(stderr, "korvanthine-ctl: %s: --url needs TLS, which the Windows build does not have; run it "
                         "from a Linux machine\n", request.url.c_str());
    return kExitUsage;
}

std::string PlainReason(const HttpsAnswer& answer)
{
    return answer.reason;
}
