// make-certificate: a self-signed certificate and key for serve's
// tls_server_config, for a bench whose lab has no certificate authority.
#include <cstdio>

#include "ctl_commands.h"
#include "exit_status.h"
#include "self_signed_certificate.h"
#include "standard_output.h"

int RunMakeCertificate(const CtlRequest& request)
{
    const CertificateOutcome outcome =
        MakeSelfSignedCertificate(request.certificateNames, request.certificateFile, request.keyFile);
    if (outcome.status != kExitOk) {
        std::fprintf(stderr, "korvanthine-ctl: %s\n", outcome.problem.c_str());
        return outcome.status;
    }
    return PrintToStandardOutput("certificate " + request.certificateFile + ", key " + request.keyFile + ", valid "
                                 + std::to_string(kCertificateValidDays) + " days\n")
               ? kExitOk
               : kExitFailure;
}
