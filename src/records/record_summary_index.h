#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <simdjson.h>

#include "platform/failure.h"
#include "records/record_summary.h"

namespace hopster {

// A disposable cache of record summaries, so the history list need not read
// and parse every multi-megabyte record file each time it is shown. There is
// one index file per records folder, in the user's cache folder, named after
// a hash of the folder's absolute path; it remembers, per record file name,
// the file's stamp and what loading the file gave (its summary, or why it
// failed). A file whose stamp still matches is not read again. Losing or
// corrupting the index costs a re-parse, never a record.

// The facts that tell whether a record file changed since it was read. The
// status-change time moves on every write, rename or time change, so even a
// same-size rewrite with its modification time put back is noticed; the inode
// tells apart a file replaced by rename.
struct RecordFileStamp {
  std::uint64_t size = 0;
  std::int64_t modifiedNs = 0;
  std::int64_t changedNs = 0;
  std::uint64_t inode = 0;
  friend bool operator==(const RecordFileStamp&, const RecordFileStamp&) = default;
};

// What the index knows about one record file.
struct IndexedRecord {
  RecordFileStamp stamp;
  // Whether the stamp was taken long enough after the file's last change
  // that a later change within the same clock tick cannot have gone unseen.
  // Unsettled entries are read again before they are trusted.
  bool settled = false;
  bool loads = false;  // the file loads; else `failure` says why not
  std::string failure;
  std::string id;
  double dateStart = 0.0;
  double dateEnd = 0.0;
  double timeSpent = 0.0;
  std::int64_t jumps = 0;
  friend bool operator==(const IndexedRecord&, const IndexedRecord&) = default;
};

// Index entries by file name.
using RecordSummaryEntries = std::map<std::string, IndexedRecord, std::less<>>;

// The index file for the records folder `folder`, inside `cacheFolder`.
[[nodiscard]] std::filesystem::path recordSummaryIndexPath(const std::filesystem::path& cacheFolder,
                                                           const std::filesystem::path& folder);

// The index file's text for the records folder `folder`.
[[nodiscard]] std::string formatRecordSummaryIndex(const std::filesystem::path& folder,
                                                   const RecordSummaryEntries& entries);

// Reads an index text written for `folder`. Fails (malformed), saying why,
// when the text is not an index of this format version, belongs to another
// folder, or is damaged anywhere (a cut-off index is damaged too).
[[nodiscard]] Status parseRecordSummaryIndex(std::string_view text,
                                             const std::filesystem::path& folder,
                                             RecordSummaryEntries& entries);

// Reads the index file at `file` for `folder`. A missing file is an empty
// index. Anything else that keeps it from being used leaves `entries` empty
// and is returned as the reason.
[[nodiscard]] Status readRecordSummaryIndex(const std::filesystem::path& file,
                                            const std::filesystem::path& folder,
                                            RecordSummaryEntries& entries);

// Replaces the index file atomically (creating the cache folder as needed).
// Another process writing at the same time may win; that costs a re-parse.
[[nodiscard]] Status writeRecordSummaryIndex(const std::filesystem::path& file,
                                             const std::filesystem::path& folder,
                                             const RecordSummaryEntries& entries);

// Reads the summary of a record file without parsing, unescaping or copying
// its motion trace: the trace as the encoder writes it is found and checked
// by a plain scan, any other form through simdjson's on-demand parser. `data` holds `length` bytes
// followed by simdjson::SIMDJSON_PADDING readable bytes. Gives a summary only when the full decoder
// would load the file and give the same values; nothing when only the full decoder can tell (a
// failing file, or one written in a way this path does not vouch for).
class RecordSummaryReader {
 public:
  [[nodiscard]] std::optional<RecordSummary> summarize(const char* data, std::size_t length);

  // The same for the file open as `fd`, read from its current position in
  // small chunks, for a file in the encoder's compact form whose trace holds
  // only printable ASCII and "\n" escapes (nearly every record): only the
  // text around the trace is kept. Nothing for any other file, or when
  // reading fails; the caller then reads the file whole.
  [[nodiscard]] std::optional<RecordSummary> summarizeFile(int fd);

 private:
  // Decodes headText_: a record's text with its trace emptied.
  std::optional<RecordSummary> summarizeHead();
  // Decodes the text with the string token `trace` (inside `data`) emptied.
  std::optional<RecordSummary> summarizeAround(const char* data, std::size_t length,
                                               std::string_view trace);

  simdjson::ondemand::parser onDemand_;
  simdjson::dom::parser head_;
  std::string headText_;
  std::vector<char> window_;
};

}  // namespace hopster
