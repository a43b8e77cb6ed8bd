// A record is a header line, "record LENGTH CRC32\n", its payload of
// LENGTH bytes and a newline. The payload is the fields one after another,
// each "LENGTH:BYTES\n": length-prefixed, so that a program file's text
// (newlines, tabs, any encoding) goes in verbatim and a person can still
// read the journal with a pager.
#include "journal_records.h"

#include <boost/crc.hpp>

#include <cstdint>
#include <cstdio>

#include "number_text.h"

namespace {

constexpr std::string_view kRecordWord = "record ";
constexpr std::size_t kChecksumDigits = 8;
constexpr std::size_t kLengthDigits = 20;

std::uint32_t Checksum(std::string_view payload)
{
    boost::crc_32_type crc;
    crc.process_bytes(payload.data(), payload.size());
    return crc.checksum();
}

std::string ChecksumText(std::uint32_t checksum)
{
    char text[kChecksumDigits + 1];
    std::snprintf(text, sizeof text, "%08lx", static_cast<unsigned long>(checksum));
    return text;
}

bool SplitFields(std::string_view payload, JournalFields* fields)
{
    fields->clear();
    while (!payload.empty()) {
        const std::size_t colon = payload.find(':');
        std::size_t length = 0;
        if (colon == std::string_view::npos || !ParseNumber(payload.substr(0, colon), &length) ||
            payload.size() - colon - 1 < length + 1 || payload[colon + 1 + length] != '\n')
            return false;
        fields->emplace_back(payload.substr(colon + 1, length));
        payload.remove_prefix(colon + 1 + length + 1);
    }
    return true;
}

enum class Header { Whole, Short, Bad };

// Whether bytes cut inside a header line could be the start of one:
// "record ", digits, a space, hex digits.
bool CouldBeHeader(std::string_view bytes)
{
    if (bytes.size() <= kRecordWord.size())
        return true; // its word checked already
    const std::string_view rest = bytes.substr(kRecordWord.size());
    const std::size_t space = rest.find(' ');
    const std::string_view length = rest.substr(0, space);
    const std::string_view checksum = space == std::string_view::npos ? "" : rest.substr(space + 1);
    return length.size() <= kLengthDigits && checksum.size() <= kChecksumDigits &&
           length.find_first_not_of("0123456789") == std::string_view::npos &&
           checksum.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

// The header at the start of bytes: its payload length and checksum, and
// how far it goes.
Header ReadHeader(std::string_view bytes, std::size_t* length, std::string_view* checksum, std::size_t* size)
{
    if (bytes.substr(0, kRecordWord.size()) != kRecordWord.substr(0, bytes.size()))
        return Header::Bad;
    const std::size_t newline = bytes.find('\n');
    if (newline == std::string_view::npos)
        return CouldBeHeader(bytes) ? Header::Short : Header::Bad;
    const std::string_view line = bytes.substr(0, newline);
    if (line.size() < kRecordWord.size())
        return Header::Bad;
    const std::string_view rest = line.substr(kRecordWord.size());
    const std::size_t space = rest.find(' ');
    if (space == std::string_view::npos || !ParseNumber(rest.substr(0, space), length) || *length > kMaxJournalPayload)
        return Header::Bad;
    *checksum = rest.substr(space + 1);
    if (checksum->size() != kChecksumDigits)
        return Header::Bad;
    *size = newline + 1;
    return Header::Whole;
}

} // namespace

std::string JournalRecordText(const JournalFields& fields)
{
    std::string payload;
    for (const std::string& field : fields) {
        payload += NumberText(field.size());
        payload += ':';
        payload += field;
        payload += '\n';
    }
    if (payload.size() > kMaxJournalPayload)
        return "";
    std::string record(kRecordWord);
    record += NumberText(payload.size());
    record += ' ';
    record += ChecksumText(Checksum(payload));
    record += '\n';
    record += payload;
    record += '\n';
    return record;
}

JournalScan ScanJournalRecords(std::string_view bytes)
{
    JournalScan scan;
    std::string_view rest = bytes;
    while (!rest.empty()) {
        std::size_t length = 0;
        std::size_t headerSize = 0;
        std::string_view checksum;
        const Header header = ReadHeader(rest, &length, &checksum, &headerSize);
        if (header != Header::Whole) {
            scan.tornRecord = header == Header::Short;
            break;
        }
        if (rest.size() - headerSize < length + 1) {
            scan.tornRecord = true;
            break;
        }
        const std::string_view payload = rest.substr(headerSize, length);
        JournalFields fields;
        if (rest[headerSize + length] != '\n' || checksum != ChecksumText(Checksum(payload)) ||
            !SplitFields(payload, &fields))
            break;
        scan.records.push_back(std::move(fields));
        rest.remove_prefix(headerSize + length + 1);
        scan.wholeEnd = bytes.size() - rest.size();
        scan.ends.push_back(scan.wholeEnd);
    }
    return scan;
}
