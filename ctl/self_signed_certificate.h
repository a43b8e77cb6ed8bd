// A certificate for serve's TLS made on the bench's PC itself, so that a
// lab without a certificate authority can still turn TLS on: a new EC P-256
// key, the names in subjectAltName (DNS names and IP addresses, as clients
// match them) and the first as the subject's CN, signed by its own key.
// Clients trust it by being given the certificate (curl --cacert,
// Prometheus' ca_file, korvanthine-ctl --ca-file).
#pragma once

#include <string>
#include <vector>

// The longest a server's certificate may be valid for some clients to take
// it at all.
constexpr long kCertificateValidDays = 825;

// Why name cannot stand in the certificate ("" when it can): an IPv4 or
// IPv6 address, or a DNS name (labels of letters, digits and inner dashes).
std::string CertificateNameProblem(const std::string& name);

struct CertificateOutcome {
    int status = 0;      // an exit status of korvanthine-ctl
    std::string problem; // for standard error; "" when made
};

// Writes the certificate and its key (owner-only where the platform's
// modes allow) as PEM files. Nothing is written when a name will not do or
// either file exists already; nothing is left when a write fails.
CertificateOutcome MakeSelfSignedCertificate(const std::vector<std::string>& names, const std::string& certFile,
                                             const std::string& keyFile);
