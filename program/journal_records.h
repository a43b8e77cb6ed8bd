// The journal's framing: records of text fields, each record with its own
// length and checksum, so that one cut off by a crash, or bytes that are no
// record at all, are told apart from a whole record and never read as one.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

using JournalFields = std::vector<std::string>;

// Far beyond any program file: a length past it is damage, not a record.
constexpr std::size_t kMaxJournalPayload = std::size_t{16} << 20;

// One record, ready to append: the fields may hold any bytes. "" when
// they are too long to be read back as a record.
std::string JournalRecordText(const JournalFields& fields);

struct JournalScan {
    std::vector<JournalFields> records; // the whole ones, from the start
    std::vector<std::size_t> ends;      // where each of them ends
    // Where the last whole record ends: everything after it is a torn record
    // or garbage.
    std::size_t wholeEnd = 0;
    // Whether the bytes after the whole records could still become a record
    // (a record cut short) rather than being something else.
    bool tornRecord = false;
};

// The whole records at the start of bytes, up to the first that is not.
JournalScan ScanJournalRecords(std::string_view bytes);
