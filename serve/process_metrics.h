// What every exporter says of itself beside its own metrics: which build
// it is (korvanthine_build_info) and, on Linux, the standard process_*
// metrics a dashboard of any exporter expects (CPU, memory, descriptors,
// start time). They are read at each scrape, from the process itself.
#pragma once

#include <string>

// The exposition's rows of the build and the process, with HELP and TYPE.
std::string RenderProcessMetrics();
