// A build without OpenSSL and the crypt library (the Windows build made
// without scripts/win32-libs.sh) has no --url, no hash-password and no
// make-certificate: each
// says so, and where they are.
#include <cstdio>
#include <string>

#include "ctl_commands.h"
#include "exit_status.h"
#include "remote_set.h"

int RunRemoteSet(const CtlRequest& request)
{
    return HttpsCall(request, "", "", "", "", "", nullptr);
}

int ReadRemotePassword(const CtlRequest& request, std::string*)
{
    return HttpsCall(request, "", "", "", "", "", nullptr);
}

int HttpsCall(const CtlRequest& request, std::string, const std::string&, const std::string&, const std::string&,
              const std::string&, HttpsAnswer*)
{
    std::fprintf(stderr, "korvanthine-ctl: %s: --url needs TLS, which this build does not have (a Windows build "
                         "has it when made with scripts/win32-libs.sh's libraries)\n", request.url.c_str());
    return kExitUsage;
}

std::string PlainReason(const HttpsAnswer& answer)
{
    return answer.reason;
}

int RunHashPassword(const CtlRequest&)
{
    std::fprintf(stderr, "korvanthine-ctl: hash-password is not in this build: it has no web configuration, and "
                         "so no users (a Windows build has them when made with scripts/win32-libs.sh's "
                         "libraries)\n");
    return kExitUsage;
}

int RunMakeCertificate(const CtlRequest&)
{
    std::fprintf(stderr, "korvanthine-ctl: make-certificate is not in this build: it has no TLS (a Windows build "
                         "has it when made with scripts/win32-libs.sh's libraries)\n");
    return kExitUsage;
}
