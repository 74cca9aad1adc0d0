#pragma once

#include <QtQml/qqmlregistration.h>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "analysis/recording_overview.h"
#include "records/record_store.h"

namespace hopster {

// One saved recording opened from the history list: its summary lines, its
// numbers (minutes, peak minute, longest run) and its whole trace for the
// chart. The file is read and worked out on a worker thread, so the screen
// shows at once with the row's own lines and the rest follows; only the
// reduced trace is kept, never the record's text or samples.
class RecordingViewModel : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_UNCREATABLE("made by the application")
  Q_PROPERTY(bool loading READ loading NOTIFY changed)
  Q_PROPERTY(QString errorText READ errorText NOTIFY changed)
  Q_PROPERTY(QString peakMinuteText READ peakMinuteText NOTIFY changed)
  Q_PROPERTY(QString longestRunText READ longestRunText NOTIFY changed)
  // Empty, or a line saying the stored count differs from the recount.
  Q_PROPERTY(QString recountText READ recountText NOTIFY changed)
  Q_PROPERTY(QVariantList jumpsPerMinute READ jumpsPerMinute NOTIFY changed)
  Q_PROPERTY(int peakJumpsPerMinute READ peakJumpsPerMinute NOTIFY changed)
  Q_PROPERTY(int peakMinute READ peakMinute NOTIFY changed)  // -1 without jumps

 public:
  explicit RecordingViewModel(const RecordStore& store, QObject* parent = nullptr);
  // Stops a load under way and waits for it.
  ~RecordingViewModel() override;
  RecordingViewModel(const RecordingViewModel&) = delete;
  RecordingViewModel& operator=(const RecordingViewModel&) = delete;

  // Reads the record `fileName` of the store's folder; a load of another
  // record under way is dropped.
  Q_INVOKABLE void open(const QString& fileName);
  // Lets the recording go (the screen was left).
  Q_INVOKABLE void close();

  [[nodiscard]] bool loading() const { return loading_; }
  [[nodiscard]] QString errorText() const { return errorText_; }
  [[nodiscard]] QString peakMinuteText() const;
  [[nodiscard]] QString longestRunText() const;
  [[nodiscard]] QString recountText() const;
  [[nodiscard]] QVariantList jumpsPerMinute() const;
  [[nodiscard]] int peakJumpsPerMinute() const;
  [[nodiscard]] int peakMinute() const;
  // What the chart draws; null until a recording is loaded.
  [[nodiscard]] std::shared_ptr<const RecordingOverview> overview() const { return overview_; }

 signals:
  void changed();
  // A recording has been worked out (or failed: see errorText).
  void loaded();

 private:
  void finish(std::uint64_t generation, Outcome<RecordingOverview> outcome);

  const RecordStore& store_;
  std::shared_ptr<const RecordingOverview> overview_;
  bool loading_ = false;
  QString errorText_;
  // Which open() a finished load answers; older answers are dropped.
  std::uint64_t generation_ = 0;
  // Declared last, so they are joined before anything they use goes: the
  // current load, and loads of records left behind, which finish unseen
  // (joining them at once would hold the interface up while they read).
  struct Load {
    std::jthread thread;
    std::shared_ptr<std::atomic<bool>> done = std::make_shared<std::atomic<bool>>(false);
  };
  std::vector<Load> loads_;
};

}  // namespace hopster
