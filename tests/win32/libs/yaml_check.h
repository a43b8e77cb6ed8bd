// yaml-cpp reading a configuration like serve's web configuration, and
// refusing a broken one with the line of the fault.
#pragma once

#include "check.h"

CheckResult yaml_reads_web_config();
CheckResult yaml_refuses_broken_text();
