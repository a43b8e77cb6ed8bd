// How readings are written: the table, CSV and JSON of `read`, the CSV rows
// and JSON lines of `watch`. A missing value is "--" in the table, an empty
// CSV field and null in JSON, never 0.
#pragma once

#include <string>

#include "sampling_pass.h"

std::string ReadTable(const PassReading& pass);
std::string ReadCsv(const PassReading& pass);
std::string ReadJson(const PassReading& pass, const std::string& port, const std::string& time);

std::string WatchCsvHeader();
std::string WatchCsvRow(const PassReading& pass, const std::string& time);
std::string WatchJsonLine(const PassReading& pass, const std::string& time);
