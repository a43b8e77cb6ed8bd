// A pass that has not ended when the next was due to end is held up by an
// exchange waiting on a silent line (up to the link's 6.2 s read bound,
// twice): the controller has stopped answering, and what the snapshot holds
// is no longer its present state. Scrapes and the bench's page judge this
// at the moment they are asked, without waiting for the line.
#pragma once

#include "bench_snapshot.h"

// True when the pass after the latest one should have ended more than
// graceSeconds ago, given the interval between pass starts; judged on the
// monotonic clock (nowSteadySeconds against lastPassEndSteadySeconds), so
// that setting the wall clock cannot make a healthy controller look silent.
// False before the first pass has ended.
bool PassOverdue(const BenchSnapshot& snapshot, double nowSteadySeconds, double intervalSeconds, double graceSeconds);

// The snapshot as a scrape sees it now: while a pass is overdue by more than
// kScrapeGraceSeconds, up is 0 and every reading is absent (counters, times
// and the firmware version stay).
BenchSnapshot AsScrapedNow(const BenchSnapshot& snapshot, double nowSteadySeconds, double intervalSeconds);

// Well above a pass on a real line (tens of milliseconds) and a busy
// machine's scheduling, well below the link's read bound: with a scrape a
// second, a controller that falls silent is down within two scrapes.
constexpr double kScrapeGraceSeconds = 0.8;
