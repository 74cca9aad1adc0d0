#include "commands/text_output.h"

#include <algorithm>
#include <cmath>
#include <ostream>

namespace hopster {
namespace {

// Characters on screen: UTF-8 continuation bytes take no column.
std::size_t displayWidth(std::string_view text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

std::string oneLine(std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
  return text;
}

}  // namespace

std::string csvField(std::string_view text) {
  const bool plain = text.find_first_of(",\"\r\n") == std::string_view::npos &&
                     (text.empty() || (text.front() != ' ' && text.back() != ' '));
  if (plain) return std::string(text);
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

void writeTable(std::ostream& out, const TextTable& table, bool aligned) {
  if (!aligned) {
    for (const auto& row : table.rows) {
      for (std::size_t i = 0; i < row.size(); ++i) out << (i ? "\t" : "") << oneLine(row[i]);
      out << '\n';
    }
    return;
  }
  std::vector<std::size_t> widths(table.header.size(), 0);
  const auto measure = [&](const std::vector<std::string>& row) {
    if (widths.size() < row.size()) widths.resize(row.size(), 0);
    for (std::size_t i = 0; i < row.size(); ++i) {
      widths[i] = std::max(widths[i], displayWidth(oneLine(row[i])));
    }
  };
  measure(table.header);
  for (const auto& row : table.rows) measure(row);
  const auto write = [&](const std::vector<std::string>& row) {
    std::string line;
    for (std::size_t i = 0; i < row.size(); ++i) {
      const std::string cell = oneLine(row[i]);
      const std::string padding(widths[i] - displayWidth(cell), ' ');
      const bool right = i < table.rightAligned.size() && table.rightAligned[i];
      if (i > 0) line += "  ";
      line += right ? padding + cell : cell + padding;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out << line << '\n';
  };
  if (!table.header.empty()) write(table.header);
  for (const auto& row : table.rows) write(row);
}

}  // namespace hopster
