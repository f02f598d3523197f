// CSV as RFC 4180 writes it: fields separated by commas, quoted with '"'
// when they hold a comma, a quote or a line break, a quote inside a quoted
// field doubled. Records end with CRLF or LF; a quoted field may span lines.
#pragma once

#include <cstddef>
#include <istream>
#include <string>
#include <vector>

namespace tesk_privacy::cli {

class CsvReader {
 public:
  // `name` labels errors ("FILE:LINE: ..."); a record longer than
  // `max_bytes` fails.
  CsvReader(std::istream& in, std::string name, size_t max_bytes);

  // Reads the next record into `fields`; false at the end of the input.
  // Throws std::runtime_error on a quoted field that never ends, text after
  // a closing quote, or a record over the byte bound.
  bool next(std::vector<std::string>& fields);

  size_t line() const { return line_; }    // the line the last record started on
  size_t bytes() const { return bytes_; }  // the bytes it took in the input
  // The line ending of the first record, for output that keeps it.
  const char* line_end() const { return crlf_ ? "\r\n" : "\n"; }

 private:
  std::istream& in_;
  std::string name_;
  size_t max_bytes_;
  size_t next_line_ = 1, line_ = 0, bytes_ = 0;
  bool crlf_ = false, first_ = true;
};

// Appends `fields` as one record ending in `line_end`.
void append_csv_record(std::string& out, const std::vector<std::string>& fields, const char* line_end);

}  // namespace tesk_privacy::cli
