#include "screens/recording_view_model.h"

#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

namespace hopster {

RecordingViewModel::RecordingViewModel(const RecordStore& store, QObject* parent)
    : QObject(parent), store_(store) {}

RecordingViewModel::~RecordingViewModel() = default;

void RecordingViewModel::open(const QString& fileName) {
  const std::uint64_t generation = ++generation_;
  overview_.reset();
  errorText_.clear();
  loading_ = true;
  emit changed();
  // Loads that have ended are joined (at once); any still reading go on.
  std::erase_if(loads_, [](const Load& load) { return load.done->load(); });
  const std::filesystem::path file = store_.documentsDirectory() / fileName.toStdString();
  Load& load = loads_.emplace_back();
  load.thread = std::jthread([this, file, generation, done = load.done] {
    // Behind the interface thread when they compete for a processor.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
    auto outcome = std::make_shared<Outcome<RecordingOverview>>(loadRecordingOverview(file));
    // The record's text and samples (hundreds of megabytes for an hour) are
    // gone; the allocator is asked to hand their pages back rather than
    // keep them for this thread's next allocation, which never comes.
    ::malloc_trim(0);
    // Queued to this object's thread; a model destroyed first joins this
    // thread before its QObject goes, which drops the call.
    QMetaObject::invokeMethod(
        this, [this, generation, outcome] { finish(generation, std::move(*outcome)); },
        Qt::QueuedConnection);
    done->store(true);
  });
}

void RecordingViewModel::close() {
  ++generation_;
  overview_.reset();
  errorText_.clear();
  loading_ = false;
  emit changed();
}

void RecordingViewModel::finish(std::uint64_t generation, Outcome<RecordingOverview> outcome) {
  if (generation != generation_) return;
  loading_ = false;
  if (outcome) {
    overview_ = std::make_shared<const RecordingOverview>(std::move(outcome).value());
  } else {
    store_.log().line("Could not open a recording: " + outcome.error().message);
    errorText_ = tr("This recording could not be read: %1")
                     .arg(QString::fromStdString(outcome.error().message));
  }
  emit changed();
  emit loaded();
}

QString RecordingViewModel::peakMinuteText() const {
  return overview_ ? QString::fromStdString(hopster::peakMinuteText(overview_->analysis))
                   : QString();
}

QString RecordingViewModel::longestRunText() const {
  return overview_ ? QString::fromStdString(hopster::longestRunText(overview_->analysis.longestRun))
                   : QString();
}

QString RecordingViewModel::recountText() const {
  if (!overview_) return {};
  const auto recounted = static_cast<std::int64_t>(overview_->analysis.jumpTimes.size());
  if (recounted == overview_->record.jumps) return {};
  return tr("The trace recounts %1 jumps; the minutes and the run follow the recount.")
      .arg(recounted);
}

QVariantList RecordingViewModel::jumpsPerMinute() const {
  QVariantList minutes;
  if (!overview_) return minutes;
  for (const std::int64_t count : overview_->analysis.jumpsPerMinute) {
    minutes.append(QVariant::fromValue(static_cast<int>(count)));
  }
  return minutes;
}

int RecordingViewModel::peakJumpsPerMinute() const {
  return overview_ ? static_cast<int>(overview_->analysis.peakJumpsPerMinute) : 0;
}

int RecordingViewModel::peakMinute() const {
  return overview_ && overview_->analysis.peakMinute
             ? static_cast<int>(*overview_->analysis.peakMinute)
             : -1;
}

}  // namespace hopster
