// The exposition format's spelling, shared by every table of metrics serve
// renders: a family's HELP and TYPE lines, its samples, its label values.
#pragma once

#include <optional>
#include <string>

// The "# HELP" and "# TYPE" lines that open a metric's samples.
void AppendMetricHeader(std::string* out, const char* name, const char* type, const char* help);

// The samples of one metric as a scrape writes them.
class SampleWriter {
public:
    SampleWriter(std::string* out, const char* name) : out_(out), name_(name) {}

    // A value that is not known is left out, never written as 0.
    void Add(const std::string& labels, std::optional<double> value);

private:
    std::string* out_;
    const char* name_;
};

// A label value in the exposition's escaping: backslash, quote and line feed,
// and UTF-8 throughout, as the format requires. For names serve did not
// choose: a port's, a program file's.
std::string EscapedLabelValue(const std::string& text);
