#include "screens/jump_view_model.h"

#include <QClipboard>
#include <QGuiApplication>

#include <QDateTime>
#include <QList>
#include <QPointF>
#include <QtCharts/QChart>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QValueAxis>
#include <QtCharts/QXYSeries>

#include "screens/trophy_presentation.h"

namespace hopster {
namespace {
constexpr int kChartRedrawMilliseconds = 33;
}  // namespace

JumpViewModel::JumpViewModel(RecordingController& controller, QObject* parent)
    : QObject(parent),
      controller_(controller),
      shown_(snapshot()),
      triggers_(controller),
      subscription_(controller.observe([this] { stateChanged(); })) {
  chartRedraw_.setSingleShot(true);
  chartRedraw_.setInterval(kChartRedrawMilliseconds);
  connect(&chartRedraw_, &QTimer::timeout, this, &JumpViewModel::chartChanged);
}

QString JumpViewModel::elapsedText() const {
  return QString::fromStdString(formatElapsedTime(controller_.timeElapsed()));
}

QVariantMap JumpViewModel::unlockedTrophy() const {
  const auto& trophy = controller_.unlockedTrophy();
  return trophy ? trophyProperties(*trophy) : QVariantMap{};
}

namespace {

// The chart's axes, made on first use: g from -4 to 4 on the left, whatever
// the data, and the times of the points along the bottom.
std::pair<QValueAxis*, QDateTimeAxis*> chartAxes(QXYSeries& series) {
  QChart* chart = series.chart();
  if (chart == nullptr) return {nullptr, nullptr};
  for (QAbstractAxis* axis : series.attachedAxes()) {
    if (auto* time = qobject_cast<QDateTimeAxis*>(axis)) {
      return {qobject_cast<QValueAxis*>(chart->axes(Qt::Vertical).value(0)), time};
    }
  }
  auto* g = new QValueAxis(chart);
  g->setRange(-4.0, 4.0);
  g->setTickCount(5);
  g->setLabelFormat(QStringLiteral("%d"));
  g->setTitleText(JumpViewModel::tr("G-force"));
  g->setTitleVisible(false);
  auto* time = new QDateTimeAxis(chart);
  time->setFormat(QStringLiteral("mm:ss"));
  time->setTickCount(3);
  time->setTitleText(JumpViewModel::tr("Time"));
  time->setTitleVisible(false);
  QFont small = g->labelsFont();
  small.setPixelSize(10);
  g->setLabelsFont(small);
  time->setLabelsFont(small);
  chart->addAxis(g, Qt::AlignLeft);
  chart->addAxis(time, Qt::AlignBottom);
  series.attachAxis(g);
  series.attachAxis(time);
  return {g, time};
}

}  // namespace

void JumpViewModel::fillSeries(QObject* series) const {
  auto* xy = qobject_cast<QXYSeries*>(series);
  if (xy == nullptr) return;
  const auto [g, time] = chartAxes(*xy);
  QList<QPointF> points;
  points.reserve(static_cast<qsizetype>(controller_.accelerationData().size()));
  for (const AccelerationData& point : controller_.accelerationData()) {
    points.append(QPointF(point.time * 1000.0, point.zAcceleration));
  }
  xy->replace(points);
  if (time != nullptr && !points.isEmpty()) {
    // The window moves along with the newest points; at least a second wide.
    const double first = points.constFirst().x();
    const double last = std::max(points.constLast().x(), first + 1000.0);
    time->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(first)),
                   QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(last)));
  }
}

void JumpViewModel::setMotionSource(const QString& device, const QStringList& pushUrls,
                                    bool showPushSetup, const QString& error) {
  if (device == motionDevice_ && pushUrls == pushUrls_ && showPushSetup == showPushSetup_ &&
      error == motionSourceError_) {
    return;
  }
  motionDevice_ = device;
  pushUrls_ = pushUrls;
  showPushSetup_ = showPushSetup;
  motionSourceError_ = error;
  emit motionSourceChanged();
}

void JumpViewModel::copyPushUrl() const {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard != nullptr && !pushUrls_.isEmpty()) clipboard->setText(pushUrls_.constFirst());
}

JumpViewModel::Snapshot JumpViewModel::snapshot() const {
  const auto& chart = controller_.accelerationData();
  return Snapshot{controller_.jumpCount(),
                  controller_.totalJumps(),
                  controller_.countdown(),
                  controller_.isHeadphonesConnected(),
                  controller_.isStarting(),
                  controller_.isRecording(),
                  controller_.timeElapsed(),
                  controller_.showHeadphoneAlert(),
                  controller_.showAlertMotionAccess(),
                  controller_.showTrophyAlert(),
                  controller_.unlockedTrophy() ? controller_.unlockedTrophy()->id : std::string(),
                  chart.empty() ? 0.0 : chart.back().time,
                  chart.size(),
                  controller_.saveFailure()};
}

void JumpViewModel::stateChanged() {
  const Snapshot now = snapshot();
  const Snapshot before = std::exchange(shown_, now);
  // Each property tells of its own changes only, so a handler on one of
  // them runs exactly when that value changed.
  if (now.jumpCount != before.jumpCount) emit jumpCountChanged();
  if (now.totalJumps != before.totalJumps) emit totalJumpsChanged();
  if (now.headphones != before.headphones) emit isHeadphonesConnectedChanged();
  if (now.starting != before.starting) emit isStartingChanged();
  if (now.countdown != before.countdown) emit countdownChanged();
  if (now.recording != before.recording) emit isRecordingChanged();
  if (now.elapsed != before.elapsed) emit elapsedTextChanged();
  if (now.headphoneAlert != before.headphoneAlert) emit showHeadphoneAlertChanged();
  if (now.motionAlert != before.motionAlert) emit showAlertMotionAccessChanged();
  if (now.trophyId != before.trophyId) emit unlockedTrophyChanged();
  if (now.trophyAlert != before.trophyAlert) emit showTrophyAlertChanged();
  if (now.saveFailure != before.saveFailure) emit saveFailureChanged();
  if (now.newestPoint != before.newestPoint || now.points != before.points) {
    // An emptied chart shows at once; new points wait for the next redraw.
    if (now.points == 0) {
      chartRedraw_.stop();
      emit chartChanged();
    } else if (!chartRedraw_.isActive()) {
      chartRedraw_.start();
    }
  }
}

}  // namespace hopster
