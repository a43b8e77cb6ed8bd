// Where `watch` writes its rows: standard output, or a file it appends to.
// Every row is flushed (and, in a file, pushed to the disk) before the next
// pass starts, so a crash or a pulled plug loses at most the pass under way.
// A file only ever holds whole rows: an append starts on a new line, and a
// row that cannot be written whole (a full disk, a size limit) is cut off
// again.
#pragma once

#include <cstdio>
#include <string>

class RowSink {
public:
    RowSink() = default;
    RowSink(const RowSink&) = delete;
    RowSink& operator=(const RowSink&) = delete;
    // A file this sink created and never wrote to is removed again.
    ~RowSink();

    // path "" or "-" is standard output. False, with a message, when it
    // cannot be opened.
    bool Open(const std::string& path);
    // True when nothing has been written there yet: a header is due.
    bool Empty() const { return empty_; }
    // False, with a message, when the row could not be written whole.
    bool Write(const std::string& text);

private:
    bool WriteToFile(const std::string& text);

    std::FILE* file_ = nullptr;
    std::string path_;
    bool empty_ = true;
    bool created_ = false;
    bool written_ = false;
    bool newlineDue_ = false; // the file's last byte is not a newline
};
