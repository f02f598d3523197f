#include "csv.h"

#include <stdexcept>

namespace tesk_privacy::cli {

CsvReader::CsvReader(std::istream& in, std::string name, size_t max_bytes)
    : in_(in), name_(std::move(name)), max_bytes_(max_bytes) {}

bool CsvReader::next(std::vector<std::string>& fields) {
  fields.clear();
  std::streambuf* buf = in_.rdbuf();
  line_ = next_line_;
  bytes_ = 0;
  auto fail = [&](const std::string& what) -> bool {
    throw std::runtime_error(name_ + ":" + std::to_string(line_) + ": " + what);
  };
  int c = buf->sbumpc();
  if (c == std::char_traits<char>::eof()) return false;
  std::string field;
  bool quoted = false, closed = false;
  for (;; c = buf->sbumpc()) {
    const bool eof = c == std::char_traits<char>::eof();
    if (!eof && ++bytes_ > max_bytes_) fail("the record is longer than the limit");
    if (quoted && !closed) {
      if (eof) fail("a quoted field never ends");
      if (c == '"') {
        if (buf->sgetc() == '"') {
          buf->sbumpc();
          ++bytes_;
          field.push_back('"');
        } else {
          closed = true;
        }
        continue;
      }
      if (c == '\n') ++next_line_;
      field.push_back(static_cast<char>(c));
      continue;
    }
    bool end = eof || c == '\n', crlf = false;
    if (c == '\r' && buf->sgetc() == '\n') {
      buf->sbumpc();
      ++bytes_;
      end = crlf = true;
    }
    if (c == ',' || end) {
      fields.push_back(std::move(field));
      field.clear();
      quoted = closed = false;
      if (!end) continue;
      if (!eof) ++next_line_;
      if (first_) crlf_ = crlf;
      first_ = false;
      return true;
    }
    if (closed) fail("text after the closing quote of a field");
    if (c == '"' && field.empty() && !quoted) {
      quoted = true;
      continue;
    }
    field.push_back(static_cast<char>(c));
  }
}

void append_csv_record(std::string& out, const std::vector<std::string>& fields, const char* line_end) {
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out += ',';
    const std::string& f = fields[i];
    if (f.find_first_of(",\"\r\n") == std::string::npos) {
      out += f;
      continue;
    }
    out += '"';
    for (char c : f) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  out += line_end;
}

}  // namespace tesk_privacy::cli
