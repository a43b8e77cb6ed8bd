#include "exposition_writer.h"

#include <charconv>

#include "utf8_text.h"

void AppendMetricHeader(std::string* out, const char* name, const char* type, const char* help)
{
    *out += std::string("# HELP ") + name + " " + help + "\n";
    *out += std::string("# TYPE ") + name + " " + type + "\n";
}

void SampleWriter::Add(const std::string& labels, std::optional<double> value)
{
    if (!value)
        return;
    *out_ += name_;
    if (!labels.empty())
        *out_ += "{" + labels + "}";
    *out_ += ' ';
    char text[32];
    // The shortest text that reads back as the same double: 2534 / 100.0 is "25.34".
    const auto end = std::to_chars(text, text + sizeof text, *value).ptr;
    out_->append(text, end);
    *out_ += '\n';
}

std::string EscapedLabelValue(const std::string& text)
{
    std::string escaped;
    for (char c : ValidUtf8(text)) {
        if (c == '\\' || c == '"')
            escaped += '\\';
        escaped += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return escaped;
}
