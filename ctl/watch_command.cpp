// watch: a sampling pass every interval, one row each.
#include <chrono>

#include "ctl_commands.h"
#include "exit_status.h"
#include "pass_formats.h"
#include "pass_pacer.h"
#include "port_session.h"
#include "row_sink.h"
#include "sampling_pass.h"
#include "stop_request.h"
#include "timestamp.h"

namespace {

using Clock = PassPacer::Clock;

// Waits until the next pass is due; false when a stop was asked for meanwhile.
bool WaitForPass(const PassPacer& pacer, Clock::time_point* start)
{
    for (;;) {
        const Clock::time_point now = Clock::now();
        *start = pacer.NextStart(now);
        if (*start <= now)
            return !StopRequested();
        // Rounded up, so that a wait never ends just short of the due time.
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*start - now);
        if (WaitForStopRequest(wait.count()))
            return false;
    }
}

} // namespace

int RunWatch(const CtlRequest& request)
{
    const bool csv = request.format == "csv";
    RowSink sink;
    if (!sink.Open(request.outputFile))
        return kExitFailure;
    PortSession session;
    if (!session.Open(request.port))
        return kExitPortNotOpened;
    if (csv && sink.Empty() && !sink.Write(WatchCsvHeader()))
        return kExitFailure;

    PassPacer pacer(std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(request.intervalSeconds)));
    // Ended by --count or by a stop request alike: 0 when every pass written
    // was complete, else 4. A row that could not be written ends it with 1.
    bool anyMissing = false;
    const auto ended = [&anyMissing] { return anyMissing ? kExitIncompleteReply : kExitOk; };
    for (long long n = 0; request.count == 0 || n < request.count; ++n) {
        Clock::time_point start;
        if (!WaitForPass(pacer, &start))
            return ended();
        pacer.Started(start);
        const std::string time = IsoTimestamp(std::chrono::system_clock::now());
        ExchangeSeries series;
        const PassReading pass = RunSamplingPass(series, [](const PassReading&, int) { return StopRequested(); });
        if (pass.interrupted)
            return ended(); // the pass under way is dropped, not written half-read
        if (!sink.Write(csv ? WatchCsvRow(pass, time) : WatchJsonLine(pass, time)))
            return kExitFailure;
        if (!pass.Complete()) {
            anyMissing = true;
            // While the port is lost, its loss was said once; each empty row need not repeat it.
            if (session.IsOpen())
                ReportFailedExchanges(pass.failed, time);
        }
        // Not one reply: the device may have gone and come back (an adapter
        // pulled and plugged in again), which a fresh open picks up.
        if (pass.answered == 0)
            session.Reopen(time);
    }
    return ended();
}
