// korvanthine-sim: the simulated controller. See --help.
#include <csignal>
#include <cstdio>

#include "sim_options.h"
#include "simulator.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void RequestStop(int)
{
    g_stop = 1;
}

} // namespace

int main(int argc, char** argv)
{
    SimOptions options;
    std::string error;
    switch (ParseSimOptions(argc, argv, &options, &error)) {
    case ParseOutcome::Help:
        std::fputs(SimUsage().c_str(), stdout);
        return 0;
    case ParseOutcome::Error:
        std::fprintf(stderr, "korvanthine-sim: %s (see --help)\n", error.c_str());
        return 2;
    case ParseOutcome::Run:
        break;
    }

    // Stop signals stay blocked except while the loop waits, so one that
    // arrives between two waits is taken by the next instead of being lost.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    sigset_t waitMask;
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    Simulator simulator(options);
    if (!simulator.Start(&error)) {
        std::fprintf(stderr, "korvanthine-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("READY %s\n", simulator.SlavePath().c_str());
    std::fflush(stdout);

    simulator.Run(&g_stop, &waitMask);
    return 0;
}
