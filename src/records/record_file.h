#pragma once

#include <cstddef>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include <simdjson.h>

#include "platform/failure.h"
#include "records/user_record_data.h"

// One record file read from disk, as the record store and the command line
// read it.

namespace hopster {

// Reads the whole file at `path` into `buffer`, followed by the zeroed
// padding the JSON parser may read past the end, and sets `length`; the
// buffer can be reused from file to file. Data files are opened without
// blocking and anything not regular is refused (see openDataFile). Returns
// why the file could not be read, or nothing; a file past `maxBytes` is refused.
[[nodiscard]] Status readPaddedFile(const std::filesystem::path& path, std::vector<char>& buffer,
                                    std::size_t& length,
                                    std::size_t maxBytes = std::numeric_limits<std::size_t>::max());

// Reads and decodes one record file, with its motion trace, as the full load
// does: the record, or why not (see decodeRecordFile for the kinds); a file
// of another kind is said in plain words: "not a Hopster record: no "id" key".
[[nodiscard]] Outcome<UserRecordData> readUserRecordFile(
    const std::filesystem::path& path,
    std::size_t maxBytes = std::numeric_limits<std::size_t>::max());

// The file URL of `path` (file:// and the absolute path, percent-encoded).
[[nodiscard]] std::string fileUrl(const std::filesystem::path& path);

// Decodes the record file read into `buffer` (`length` bytes, padded as
// readPaddedFile pads it) into `out`. When it does not load: notARecord for a
// JSON object without a record's keys at its top (some other file), otherwise
// malformed; the message is the decoder's description.
[[nodiscard]] Status decodeRecordFile(simdjson::dom::parser& parser,
                                      const std::vector<char>& buffer, std::size_t length,
                                      UserRecordData& out);

}  // namespace hopster
