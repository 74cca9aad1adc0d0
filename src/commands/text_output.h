#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace hopster {

// One CSV field: as it stands when it holds no comma, quote, line break or
// space at either end; otherwise inside double quotes, with each quote
// doubled.
[[nodiscard]] std::string csvField(std::string_view text);

// Rows of text shown either aligned for a person or as plain lines for a
// program.
struct TextTable {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
  std::vector<bool> rightAligned;  // per column; missing columns are left-aligned
};

// Aligned: the header, then the rows, columns padded to their widest cell
// (in characters, not bytes) and two spaces apart. Plain: the rows alone, one
// line each, cells separated by a tab; tabs and line breaks inside a cell
// become spaces so every row stays one line.
void writeTable(std::ostream& out, const TextTable& table, bool aligned);

}  // namespace hopster
