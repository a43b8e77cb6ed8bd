// serve's HTTP side from a test: plain requests to 127.0.0.1, every wait bounded.
#pragma once

#include <string>

// A connection to 127.0.0.1:port; -1 when refused.
int ConnectLocal(int port);

// A port nobody listens on just now.
int FreeLocalPort();

struct HttpAnswer {
    int status = 0; // 0: no status line came back
    std::string body;
    double ms = 0;
};

// Sends request as it is and reads until the server closes, within timeoutMs.
HttpAnswer Exchange(int port, const std::string& request, int timeoutMs = 2000);

// Reads what comes on fd until the server closes, within timeoutMs; closes fd.
HttpAnswer ReadAnswer(int fd, int timeoutMs = 2000);

HttpAnswer Get(int port, const std::string& path);
