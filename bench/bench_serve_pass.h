// serve's sampling pass as the exporter runs it: the twelve exchanges
// through an ExchangeSeries, each reading published into the snapshot store
// the moment its exchange ends. Kept apart from bench_measure.h, whose pass
// constants would meet the program's own.
#pragma once

// Milliseconds a pass, the mean of passes passes on the open port.
double ExporterPassMs(int passes);
// The same pass judged strictly but published nowhere (as read and watch run it).
double CheckedPassMs(int passes);
