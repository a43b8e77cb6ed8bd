// korvanthine-ctl serve as a program against the simulator, with scrapes
// of its /metrics on 127.0.0.1.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ctl_over_sim.h"
#include "exposition_samples.h"
#include "local_http.h"

class ServeOverSim : public CtlOverSim {
protected:
    void StartServe(std::vector<std::string> args)
    {
        port_ = FreeLocalPort();
        args.insert(args.end(), {"--listen", "127.0.0.1:" + std::to_string(port_)});
        serve_ = std::make_unique<CtlProcess>(args);
        ASSERT_TRUE(serve_->Started());
    }

    std::map<std::string, std::string> Scrape()
    {
        const HttpAnswer answer = Get(port_, "/metrics");
        return answer.status == 200 ? ExpositionSamples(answer.body) : std::map<std::string, std::string>{};
    }

    // Scrapes until accept says yes; the last scrape's samples, empty when never.
    template <typename Accept>
    std::map<std::string, std::string> ScrapeUntil(Accept accept, int timeoutMs = 15000)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            std::map<std::string, std::string> samples = Scrape();
            if (!samples.empty() && accept(samples))
                return samples;
            if (std::chrono::steady_clock::now() >= deadline)
                return {};
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

    int port_ = 0;
    std::unique_ptr<CtlProcess> serve_;
};

