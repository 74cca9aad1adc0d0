#include "records/recording_journal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <system_error>

#include "platform/linux/atomic_file.h"
#include "platform/linux/data_file.h"
#include "platform/linux/posix_io.h"
#include "records/journal_format.h"

namespace hopster {

using journal_format::checksum;
using journal_format::ChunkHead;
using journal_format::HeaderBytes;
using journal_format::kEndingTag;
using journal_format::kRecordingEnd;
using journal_format::kSamplesPerChunk;
using journal_format::kSamplesTag;
using journal_format::kSavingEnd;
using journal_format::put;
using journal_format::stageOf;
using journal_format::syncData;

bool isJournalFileName(std::string_view fileName) {
  std::string base, through;
  return stageOf(fileName, base, through).has_value();
}

std::vector<std::filesystem::path> listJournals(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> journals;
  std::error_code error;
  std::filesystem::directory_iterator listing(folder, error);
  for (; !error && listing != std::filesystem::directory_iterator(); listing.increment(error)) {
    if (isJournalFileName(listing->path().filename().string())) {
      journals.push_back(listing->path());
    }
  }
  std::sort(journals.begin(), journals.end());
  return journals;
}

RecordingJournal::RecordingJournal(UniqueFd fd, std::filesystem::path path)
    : fd_(std::move(fd)), path_(std::move(path)) {}

RecordingJournal::~RecordingJournal() = default;

Outcome<std::unique_ptr<RecordingJournal>> RecordingJournal::create(
    const std::filesystem::path& folder, const JournalHeader& header) {
  // Start time in microseconds first, so names sort oldest first.
  const double micros = std::isfinite(header.startTime) && header.startTime > 0.0
                            ? std::floor(header.startTime * 1e6)
                            : 0.0;
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%017.0f", micros);
  const std::string base =
      std::string(journal_format::kPrefix) + stamp + "-" + std::to_string(::getpid());

  // The journal is made complete (header written and flushed, lock held)
  // under a temporary name first and only then given its journal name, so no
  // other process ever finds a journal without its header. A run killed
  // before the rename leaves a temporary file that the records folder's
  // housekeeping removes.
  std::string temporary = (folder / (base + std::string(kRecordingEnd) + ".XXXXXX.tmp")).string();
  UniqueFd fd(::mkostemps(temporary.data(), 4, O_CLOEXEC | O_APPEND));
  if (!fd) return Failure::ofErrno(errno, "Could not create a journal in " + folder.string());
  int failure = ::flock(fd.get(), LOCK_EX) != 0 ? errno : 0;
  if (failure == 0) failure = writeAll(fd.get(), journal_format::headerBytes(header));
  if (failure == 0) failure = syncData(fd.get());
  if (failure != 0) {
    ::unlink(temporary.c_str());
    return Failure::ofErrno(failure, "Could not start a journal in " + folder.string());
  }
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const std::string stemmed = attempt == 0 ? base : base + "-" + std::to_string(attempt);
    const auto path = folder / (stemmed + std::string(kRecordingEnd));
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) != 0) {
      if (errno == EEXIST) continue;
      const int error = errno;
      ::unlink(temporary.c_str());
      return Failure::ofErrno(error, "Could not name the journal " + path.string());
    }
    std::unique_ptr<RecordingJournal> journal(new RecordingJournal(std::move(fd), path));
    journal->base_ = stemmed;
    journal->header_ = header;
    journal->keptBytes_ = sizeof(HeaderBytes);
    (void)syncFolder(folder);
    return journal;
  }
  ::unlink(temporary.c_str());
  return Failure{FailureKind::other, "Could not find a free journal name in " + folder.string()};
}

Outcome<std::unique_ptr<RecordingJournal>> RecordingJournal::adopt(
    const std::filesystem::path& path) {
  std::string base, through;
  const auto stage = stageOf(path.filename().string(), base, through);
  if (!stage) return Failure{FailureKind::notARecord, "not a journal name"};
  // Checked like every data file: a FIFO or device of that name is refused
  // without blocking. Reopened read-write for the lock and the later steps.
  if (auto checked = openDataFile(path); !checked) return std::move(checked).error();
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_APPEND | O_NOFOLLOW));
  if (!fd) return Failure::ofErrno(errno);
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK) return Failure::ofErrno(errno);
    return Failure{FailureKind::inUse, "a live recording's journal"};
  }
  std::unique_ptr<RecordingJournal> journal(new RecordingJournal(std::move(fd), path));
  journal->base_ = base;
  journal->stage_ = *stage;
  journal->committingThrough_ = through;
  if (auto failure = journal->readAll()) return *std::move(failure);
  return journal;
}

Status RecordingJournal::readAll() {
  struct stat info {};
  if (::fstat(fd_.get(), &info) != 0) return Failure::ofErrno(errno);
  std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
  std::size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t count =
        ::pread(fd_.get(), bytes.data() + got, bytes.size() - got, static_cast<off_t>(got));
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return Failure::ofErrno(errno);
    if (count == 0) break;
    got += static_cast<std::size_t>(count);
  }
  bytes.resize(got);
  std::string_view rest(bytes);

  const auto malformed = [](const char* why) { return Failure{FailureKind::malformed, why}; };
  HeaderBytes head{};
  if (rest.size() < sizeof head) return malformed("no complete header");
  std::memcpy(&head, rest.data(), sizeof head);
  if (head.magic != journal_format::kMagic) return malformed("not a recording journal");
  if (head.checksum != checksum(rest.substr(0, offsetof(HeaderBytes, checksum)))) {
    return malformed("its header is damaged");
  }
  header_ = JournalHeader{head.startTime, head.armed != 0};
  rest.remove_prefix(sizeof head);
  keptBytes_ = sizeof head;

  // Chunks up to the first torn or damaged one; what follows is lost.
  while (rest.size() >= sizeof(ChunkHead) + sizeof(std::uint64_t)) {
    ChunkHead chunk{};
    std::memcpy(&chunk, rest.data(), sizeof chunk);
    if (chunk.length > journal_format::kLongestChunk) break;
    const std::size_t whole = sizeof chunk + chunk.length + sizeof(std::uint64_t);
    if (rest.size() < whole) break;
    std::uint64_t stored = 0;
    std::memcpy(&stored, rest.data() + sizeof chunk + chunk.length, sizeof stored);
    if (stored != checksum(rest.substr(0, sizeof chunk + chunk.length))) break;
    const std::string_view payload = rest.substr(sizeof chunk, chunk.length);
    if (chunk.tag == kSamplesTag && payload.size() % sizeof(MotionDataPoint) == 0) {
      const std::size_t count = payload.size() / sizeof(MotionDataPoint);
      const std::size_t before = samples_.size();
      samples_.resize(before + count);
      std::memcpy(samples_.data() + before, payload.data(), payload.size());
    } else if (chunk.tag == kEndingTag) {
      ending_ = journal_format::parseEnding(payload);
    }
    rest.remove_prefix(whole);
    keptBytes_ += whole;
  }
  // What follows is cut off before anything is added, or a chunk written now
  // (the ending of a recovery) would be as lost as the tail before it.
  tornTail_ = !rest.empty();
  keptSamples_ = samples_.size();
  return std::nullopt;
}

int RecordingJournal::cutBack() {
  if (::ftruncate(fd_.get(), static_cast<off_t>(keptBytes_)) != 0) return errno;
  tornTail_ = false;
  return 0;
}

Status RecordingJournal::writeChunks(std::uint32_t tag, std::span<const std::string_view> payloads,
                                     std::size_t& kept) {
  kept = 0;
  // Chunks go right after the readable part only: one written after a torn
  // tail would never be read back.
  int failure = tornTail_ ? cutBack() : 0;
  if (failure != 0) return Failure::ofErrno(failure, "Could not write " + path_.string());
  const std::uint64_t before = keptBytes_;
  std::size_t written = 0;
  std::string chunk;
  for (const std::string_view payload : payloads) {
    chunk.clear();
    put(chunk, ChunkHead{tag, static_cast<std::uint32_t>(payload.size())});
    chunk += payload;
    put(chunk, checksum(chunk));
    failure = writeAll(fd_.get(), chunk);
    if (failure != 0) break;
    keptBytes_ += chunk.size();
    ++written;
  }
  // A chunk the disk took only in part is cut off; should even that fail,
  // a reader stops at its torn bytes all the same.
  if (failure != 0) {
    tornTail_ = true;
    (void)cutBack();
  }
  if (const int synced = syncData(fd_.get()); synced != 0) {
    // Nothing of this write is certain to be on the disk, so none of it
    // counts; cut off too, so that it cannot reappear after a crash.
    keptBytes_ = before;
    written = 0;
    tornTail_ = true;
    (void)cutBack();
    (void)syncData(fd_.get());
    if (failure == 0) failure = synced;
  }
  kept = written;
  if (failure != 0) return Failure::ofErrno(failure, "Could not write " + path_.string());
  return std::nullopt;
}

Status RecordingJournal::flush() {
  // Taken out first, so samples keep arriving while the disk is waited for.
  std::vector<MotionDataPoint> batch;
  {
    std::lock_guard lock(pendingMutex_);
    batch.swap(pending_);
  }
  if (batch.empty()) return std::nullopt;
  std::vector<std::string_view> pieces;
  for (std::size_t first = 0; first < batch.size(); first += kSamplesPerChunk) {
    const std::size_t count = std::min(kSamplesPerChunk, batch.size() - first);
    pieces.push_back(
        journal_format::bytesOf(batch.data() + first, count * sizeof(MotionDataPoint)));
  }
  std::size_t chunks = 0;
  const auto error = writeChunks(kSamplesTag, pieces, chunks);
  const std::size_t written = std::min(batch.size(), chunks * kSamplesPerChunk);
  keptSamples_ += written;
  if (!error) return std::nullopt;
  // The rest is kept for the next flush, ahead of the samples that came
  // meanwhile, so no sample is dropped from the journal while the disk has
  // room again later.
  std::lock_guard lock(pendingMutex_);
  batch.erase(batch.begin(), batch.begin() + static_cast<std::ptrdiff_t>(written));
  batch.insert(batch.end(), pending_.begin(), pending_.end());
  pending_.swap(batch);
  return error;
}

Status RecordingJournal::finish(const JournalEnding& ending) {
  if (auto error = flush()) return error;
  const std::string bytes = journal_format::endingBytes(ending);
  const std::string_view payload[] = {bytes};
  std::size_t written = 0;
  if (auto error = writeChunks(kEndingTag, payload, written)) return error;
  ending_ = ending;
  return moveTo(path_.parent_path() / (base_ + std::string(kSavingEnd)), JournalStage::saving);
}

Status RecordingJournal::markCommitting(const std::filesystem::path& settingsTemporary) {
  const std::string through = settingsTemporary.filename().string();
  auto error = moveTo(
      path_.parent_path() / (base_ + std::string(journal_format::kCommittingEnd) + through + "]"),
      JournalStage::committing);
  if (!error) committingThrough_ = through;
  return error;
}

Status RecordingJournal::unmarkCommitting() {
  committingThrough_.clear();
  return moveTo(path_.parent_path() / (base_ + std::string(kSavingEnd)), JournalStage::saving);
}

Status RecordingJournal::moveTo(const std::filesystem::path& target, JournalStage stage) {
  if (::rename(path_.c_str(), target.c_str()) != 0) {
    return Failure::ofErrno(errno, "Could not rename " + path_.string());
  }
  path_ = target;
  stage_ = stage;
  (void)syncFolder(path_.parent_path());
  return std::nullopt;
}

Status RecordingJournal::remove() {
  if (::unlink(path_.c_str()) != 0 && errno != ENOENT) {
    return Failure::ofErrno(errno, "Could not remove " + path_.string());
  }
  (void)syncFolder(path_.parent_path());
  return std::nullopt;
}

}  // namespace hopster
