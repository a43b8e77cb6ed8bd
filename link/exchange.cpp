#include "exchange.h"

#include <cstring>

#include "comm_port.h"
#include "frame_codec.h"
#include "serial_platform.h"
#include "shared_line.h"

bool g_bCommError = false;
char g_szLastReply[kReplyLength + 1] = "";
unsigned g_nLastReplyLength = 0;

namespace {
// What serve found waiting beyond the last reply it carried out for us.
unsigned g_sharedLineWaiting = 0;
}

void SpinDelay(std::uint32_t count)
{
    volatile std::uint32_t remaining = count;
    while (remaining != 0)
        remaining = remaining - 1;
}

int ExchangeFrame(const char* text)
{
    char reply[100];
    char transmit[2];
    std::memset(reply, 0, sizeof reply);
    std::memset(transmit, 0, sizeof transmit);

    std::size_t received = 0;
    const CommHandle port = g_hComm;
    if (port != kNoPort && g_bSharedLine) {
        // serve writes the frame with the same discipline and reads with the same bounds.
        received = SharedLineExchange(port, text, reply, &g_sharedLineWaiting);
    }
    else if (port != kNoPort) {
        // Drops a late reply or bytes beyond the last 12 read.
        PlatformBeginExchange(port);
        PlatformSetRts(port, true);
        for (const char* p = text; *p != '\0'; ++p) {
            SpinDelay(1);
            transmit[0] = *p;
            PlatformWriteByte(port, transmit);
        }
        PlatformSetRts(port, false);
        SpinDelay(3);
        received = PlatformRead(port, reply, kReplyLength);
    }

    g_bCommError = received != kReplyLength;
    std::memcpy(g_szLastReply, reply, kReplyLength);
    g_nLastReplyLength = static_cast<unsigned>(received);

    // The trailer (checksum and end mark) is cut off unexamined. The reply
    // text ends at the first zero byte, which may come before the 12th byte.
    const std::size_t length = std::strlen(reply);
    if (length >= 3)
        reply[length - 3] = '\0';
    return ParseReplyValue(reply);
}

unsigned InputBytesWaiting()
{
    if (g_hComm == kNoPort)
        return 0;
    return g_bSharedLine ? g_sharedLineWaiting : static_cast<unsigned>(PlatformInputWaiting(g_hComm));
}
