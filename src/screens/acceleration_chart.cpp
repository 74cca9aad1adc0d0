#include "screens/acceleration_chart.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QQuickWindow>
#include <QSGFlatColorMaterial>
#include <QSGGeometryNode>
#include <QSGImageNode>
#include <QSGRectangleNode>
#include <QSGTexture>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <memory>

#include "screens/jump_view_model.h"

namespace hopster {
namespace chart {
namespace {

// A window narrower than this would divide by next to nothing.
constexpr double kNarrowestWindow = 0.001;
// Round steps between time marks, in seconds.
constexpr double kTimeSteps[] = {0.1, 0.2, 0.5, 1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 1800, 3600};

}  // namespace

double timeOrigin(const std::deque<AccelerationData>& points, double recordingStart) {
  if (points.empty()) return std::isfinite(recordingStart) ? recordingStart : 0.0;
  const double oldest = points.front().time;
  const double newest = points.back().time;
  if (std::isfinite(recordingStart) && recordingStart > 0.0 && recordingStart <= newest) {
    return recordingStart;
  }
  return std::isfinite(oldest) ? oldest : 0.0;
}

TimeWindow timeWindow(const std::deque<AccelerationData>& points, double origin) {
  double from = 0.0;
  double to = 0.0;
  bool any = false;
  for (const AccelerationData& point : points) {
    if (!std::isfinite(point.time)) continue;
    const double t = point.time - origin;
    from = any ? std::min(from, t) : t;
    to = any ? std::max(to, t) : t;
    any = true;
  }
  // Arrival order is time order unless the clock was set back; the newest
  // point still ends the window.
  if (any && std::isfinite(points.back().time)) to = points.back().time - origin;
  from = std::min(from, to - kNarrowestWindow);
  return {from, to};
}

double yOf(double g, const QRectF& plot) {
  const double clamped = std::isnan(g) ? 0.0 : std::clamp(g, kLowestG, kHighestG);
  return plot.top() + (kHighestG - clamped) / (kHighestG - kLowestG) * plot.height();
}

void linePoints(const std::deque<AccelerationData>& points, double origin, const QRectF& plot,
                std::vector<QPointF>& out) {
  out.clear();
  if (points.size() < 2) return;
  const TimeWindow window = timeWindow(points, origin);
  const double scale = plot.width() / (window.to - window.from);
  out.reserve(points.size());
  for (const AccelerationData& point : points) {
    if (!std::isfinite(point.time)) continue;
    const double x = plot.left() + (point.time - origin - window.from) * scale;
    out.emplace_back(std::clamp(x, plot.left(), plot.right()), yOf(point.zAcceleration, plot));
  }
  if (out.size() < 2) out.clear();
}

double timeStep(const TimeWindow& window, double width, double minSpacing) {
  const double span = window.to - window.from;
  for (const double step : kTimeSteps) {
    if (width <= 0.0 || step / span * width >= minSpacing) return step;
  }
  return kTimeSteps[std::size(kTimeSteps) - 1];
}

QString timeLabel(double seconds, double step) {
  const bool tenths = step < 1.0;
  const auto tenthsOfSecond = static_cast<long long>(std::llround(std::fabs(seconds) * 10.0));
  const long long whole = tenths ? tenthsOfSecond / 10 : (tenthsOfSecond + 5) / 10;
  QString text = QStringLiteral("%1:%2")
                     .arg(whole / 60)
                     .arg(static_cast<int>(whole % 60), 2, 10, QLatin1Char('0'));
  if (tenths) text += QStringLiteral(".%1").arg(tenthsOfSecond % 10);
  if (seconds < 0.0 && tenthsOfSecond != 0) text.prepend(QChar(0x2212));
  return text;
}

std::vector<TimeMark> timeMarks(const TimeWindow& window, const QRectF& plot, double minSpacing) {
  std::vector<TimeMark> marks;
  const double span = window.to - window.from;
  if (!(span > 0.0) || !std::isfinite(span) || plot.width() <= 0.0) return marks;
  const double step = timeStep(window, plot.width(), minSpacing);
  // Marks at whole multiples of the step, counted in integers so that the
  // labels do not drift with rounding.
  const auto first = static_cast<long long>(std::ceil(window.from / step - 1e-9));
  const auto last = static_cast<long long>(std::floor(window.to / step + 1e-9));
  for (long long k = first; k <= last && marks.size() < 64; ++k) {
    const double t = static_cast<double>(k) * step;
    marks.push_back({plot.left() + (t - window.from) / span * plot.width(), timeLabel(t, step)});
  }
  return marks;
}

FramePacer::Step FramePacer::request() {
  if (!running_) {
    running_ = true;
    pending_ = false;
    return {true, true};
  }
  pending_ = true;
  return {false, true};
}

FramePacer::Step FramePacer::tick() {
  if (pending_) {
    pending_ = false;
    return {true, true};
  }
  running_ = false;
  return {false, false};
}

}  // namespace chart

namespace {

// The item's scene-graph nodes, kept from frame to frame and changed in
// place: the grid and axis lines, the line of points and the labels, whose
// textures are drawn once per distinct text.
class ChartNode : public QSGNode {
 public:
  ChartNode() {
    // Drawn in this order: the grid under the line, the labels on top.
    appendChildNode(&grid_);
    appendChildNode(&lineLayer_);
    appendChildNode(&labelLayer_);
    grid_.setFlag(QSGNode::OwnedByParent, false);
    lineLayer_.setFlag(QSGNode::OwnedByParent, false);
    labelLayer_.setFlag(QSGNode::OwnedByParent, false);
  }
  ~ChartNode() override {
    removeAllChildNodes();
    qDeleteAll(textures_);
  }
  ChartNode(const ChartNode&) = delete;
  ChartNode& operator=(const ChartNode&) = delete;

  QSGRectangleNode* rectangle(QQuickWindow& window, std::size_t index) {
    while (rectangles_.size() <= index) {
      QSGRectangleNode* node = window.createRectangleNode();
      grid_.appendChildNode(node);
      rectangles_.push_back(node);
    }
    return rectangles_[index];
  }

  // The label node at `index`, showing `texture`. A new node gets its texture
  // before it joins the tree: the software renderer cannot take an image
  // node without one.
  QSGImageNode* label(QQuickWindow& window, std::size_t index, QSGTexture* texture) {
    while (labels_.size() <= index) {
      QSGImageNode* node = window.createImageNode();
      node->setOwnsTexture(false);
      node->setFiltering(QSGTexture::Linear);
      node->setTexture(texture);
      labelLayer_.appendChildNode(node);
      labels_.push_back(node);
    }
    labels_[index]->setTexture(texture);
    return labels_[index];
  }

  // Hides the rectangles and labels from the given counts on.
  void hideFrom(std::size_t rectangles, std::size_t labels) {
    for (std::size_t i = rectangles; i < rectangles_.size(); ++i) rectangles_[i]->setRect(QRectF());
    for (std::size_t i = labels; i < labels_.size(); ++i) labels_[i]->setRect(QRectF());
  }

  QSGGeometryNode* line() {
    if (line_ == nullptr) {
      line_ = new QSGGeometryNode;
      auto* geometry = new QSGGeometry(QSGGeometry::defaultAttributes_Point2D(), 0);
      geometry->setDrawingMode(QSGGeometry::DrawTriangleStrip);
      geometry->setVertexDataPattern(QSGGeometry::StreamPattern);
      line_->setGeometry(geometry);
      line_->setFlag(QSGNode::OwnsGeometry);
      auto* material = new QSGFlatColorMaterial;
      line_->setMaterial(material);
      line_->setFlag(QSGNode::OwnsMaterial);
      lineLayer_.appendChildNode(line_);
    }
    return line_;
  }

  // The texture of a label's text, made on first use.
  QSGTexture* texture(QQuickWindow& window, const QString& text, const QFont& font,
                      const QColor& color) {
    if (QSGTexture* known = textures_.value(text)) return known;
    const qreal ratio = window.effectiveDevicePixelRatio();
    const QFontMetricsF metrics(font);
    const QSizeF size(std::ceil(metrics.horizontalAdvance(text)) + 2.0,
                      std::ceil(metrics.height()));
    QImage image((size * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    {
      QPainter painter(&image);
      painter.setFont(font);
      painter.setPen(color);
      painter.drawText(QRectF(QPointF(0, 0), size), Qt::AlignCenter, text);
    }
    QSGTexture* texture = window.createTextureFromImage(image);
    textures_.insert(text, texture);
    return texture;
  }

  // Drops the label textures, and the label nodes that show them; only at
  // the start of a frame, before any label is placed.
  void dropTextures() {
    for (QSGImageNode* node : labels_) {
      labelLayer_.removeChildNode(node);
      delete node;
    }
    labels_.clear();
    qDeleteAll(textures_);
    textures_.clear();
  }

  // Time labels come and go as the window moves; their textures are made
  // afresh now and then rather than kept for ever.
  void dropTexturesWhenMany() {
    if (textures_.size() > 96) dropTextures();
  }

  bool styleApplied = false;
  qreal pixelRatio = 0.0;

 private:
  QSGNode grid_;
  QSGNode lineLayer_;
  QSGNode labelLayer_;
  std::vector<QSGRectangleNode*> rectangles_;
  std::vector<QSGImageNode*> labels_;
  QSGGeometryNode* line_ = nullptr;
  QHash<QString, QSGTexture*> textures_;
};

QString gLabel(double g) {
  const int value = static_cast<int>(std::lround(g));
  QString text = QString::number(std::abs(value));
  // A true minus sign, as wide as a digit, rather than a hyphen.
  if (value < 0) text.prepend(QChar(0x2212));
  return text;
}

// Fills `geometry` with a band `width` wide along `points`, as a triangle
// strip: each point gives two vertices, set off on both sides along the
// bisector of its two segments (mitred, the mitre at most twice the width).
void strokeInto(QSGGeometry& geometry, const std::vector<QPointF>& points, double width) {
  const auto count = static_cast<int>(points.size());
  geometry.allocate(count < 2 ? 0 : 2 * count);
  if (count < 2) return;
  QSGGeometry::Point2D* vertex = geometry.vertexDataAsPoint2D();
  const auto normal = [](QPointF from, QPointF to) {
    const QPointF d = to - from;
    const double length = std::hypot(d.x(), d.y());
    return length > 1e-9 ? QPointF(-d.y() / length, d.x() / length) : QPointF(0, 0);
  };
  const double half = width / 2.0;
  for (int i = 0; i < count; ++i) {
    const QPointF before = i > 0 ? normal(points[i - 1], points[i]) : QPointF(0, 0);
    const QPointF after = i + 1 < count ? normal(points[i], points[i + 1]) : QPointF(0, 0);
    QPointF bisector = before + after;
    double length = std::hypot(bisector.x(), bisector.y());
    if (length < 1e-9) {
      bisector = after.isNull() ? before : after;
      length = std::hypot(bisector.x(), bisector.y());
    }
    QPointF offset(0, 0);
    if (length > 1e-9) {
      bisector /= length;
      const QPointF side = after.isNull() ? before : after;
      const double cosine = std::max(0.5, QPointF::dotProduct(bisector, side));
      offset = bisector * (half / cosine);
    }
    const QPointF& p = points[static_cast<std::size_t>(i)];
    vertex[2 * i].set(static_cast<float>(p.x() + offset.x()),
                      static_cast<float>(p.y() + offset.y()));
    vertex[2 * i + 1].set(static_cast<float>(p.x() - offset.x()),
                          static_cast<float>(p.y() - offset.y()));
  }
}

}  // namespace

FrameClock::FrameClock(QObject* parent) : QObject(parent) {
  timer_.setInterval(kFrameMilliseconds);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &FrameClock::timerTicked);
}

void FrameClock::request() { apply(pacer_.request()); }

void FrameClock::timerTicked() { apply(pacer_.tick()); }

void FrameClock::apply(chart::FramePacer::Step step) {
  const bool wasRunning = timer_.isActive();
  if (step.timerRunning && !wasRunning) timer_.start();
  if (!step.timerRunning) timer_.stop();
  if (wasRunning != step.timerRunning) emit runningChanged();
  // Last, as a listener may ask for the next tick at once.
  if (step.tick) emit ticked();
}

AccelerationChart::AccelerationChart(QQuickItem* parent) : QQuickItem(parent) {
  setFlag(ItemHasContents, true);
  font_ = QGuiApplication::font();
  font_.setPixelSize(fontPixelSize_);
  clockConnection_ = connect(&ownClock_, &FrameClock::ticked, this, &AccelerationChart::frameTick);
}

void AccelerationChart::setModel(JumpViewModel* model) {
  if (model == model_) return;
  disconnect(modelConnection_);
  model_ = model;
  if (model_ != nullptr) {
    modelConnection_ =
        connect(model_, &JumpViewModel::chartChanged, this, &AccelerationChart::pointsChanged);
  }
  emit modelChanged();
  redraw();
}

FrameClock* AccelerationChart::clock() const {
  return sharedClock_ ? sharedClock_.data() : &ownClock_;
}

void AccelerationChart::setClock(FrameClock* clock) {
  if (clock == &ownClock_) clock = nullptr;
  if (clock == sharedClock_) return;
  disconnect(clockConnection_);
  sharedClock_ = clock;
  clockConnection_ =
      connect(this->clock(), &FrameClock::ticked, this, &AccelerationChart::frameTick);
  emit clockChanged();
  // Points waiting for the old clock's tick ask the new one.
  if (pending_) this->clock()->request();
}

void AccelerationChart::setLineColor(const QColor& color) {
  if (color == lineColor_) return;
  lineColor_ = color;
  applyStyle();
}

void AccelerationChart::setTextColor(const QColor& color) {
  if (color == textColor_) return;
  textColor_ = color;
  applyStyle();
}

void AccelerationChart::setGridColor(const QColor& color) {
  if (color == gridColor_) return;
  gridColor_ = color;
  applyStyle();
}

void AccelerationChart::setLineWidth(qreal width) {
  if (width == lineWidth_ || !(width > 0.0)) return;
  lineWidth_ = width;
  applyStyle();
}

void AccelerationChart::setFontPixelSize(int size) {
  if (size == fontPixelSize_ || size <= 0) return;
  fontPixelSize_ = size;
  font_.setPixelSize(size);
  applyStyle();
}

void AccelerationChart::applyStyle() {
  styleDirty_ = true;
  emit styleChanged();
  redraw();
}

void AccelerationChart::pointsChanged() {
  // An emptied chart (Stop) draws at once; new points wait for a tick.
  if (model_ == nullptr || model_->chartPointCount() == 0) {
    pending_ = false;
    redraw();
    return;
  }
  pending_ = true;
  clock()->request();
}

void AccelerationChart::frameTick() {
  if (!pending_) return;
  pending_ = false;
  redraw();
}

void AccelerationChart::redraw() {
  ++frameCount_;
  emit frameCountChanged();
  update();
}

void AccelerationChart::geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry) {
  QQuickItem::geometryChange(newGeometry, oldGeometry);
  if (newGeometry.size() != oldGeometry.size()) redraw();
}

QSGNode* AccelerationChart::updatePaintNode(QSGNode* old, UpdatePaintNodeData* /*data*/) {
  QQuickWindow* win = window();
  if (win == nullptr || width() <= 0.0 || height() <= 0.0) {
    delete old;
    return nullptr;
  }
  auto* node = static_cast<ChartNode*>(old);
  if (node == nullptr) node = new ChartNode;
  if (styleDirty_ || !node->styleApplied) {
    node->dropTextures();
    auto* material = static_cast<QSGFlatColorMaterial*>(node->line()->material());
    material->setColor(lineColor_);
    node->line()->markDirty(QSGNode::DirtyMaterial);
    node->styleApplied = true;
    styleDirty_ = false;
  }
  node->dropTexturesWhenMany();
  // Labels are drawn for the screen's pixel ratio; another screen, new ones.
  if (node->pixelRatio != win->effectiveDevicePixelRatio()) {
    node->dropTextures();
    node->pixelRatio = win->effectiveDevicePixelRatio();
  }

  // The layout: the g labels in a gutter on the left, the time labels in a
  // row at the bottom, the plot over all the rest of the width.
  const QFontMetricsF metrics(font_);
  const double labelHeight = std::ceil(metrics.height());
  double gutter = 0.0;
  for (const double g : chart::kGMarks) {
    gutter = std::max(gutter, std::ceil(metrics.horizontalAdvance(gLabel(g))) + 2.0);
  }
  gutter += 6.0;
  const QRectF plot(gutter, labelHeight / 2.0, std::max(1.0, width() - gutter),
                    std::max(1.0, height() - labelHeight / 2.0 - labelHeight - 5.0));

  std::size_t rectangles = 0;
  std::size_t labels = 0;
  const QColor axisColor = gridColor_.darker(140);
  const auto line = [&](const QRectF& rect, const QColor& color) {
    QSGRectangleNode* r = node->rectangle(*win, rectangles++);
    r->setRect(rect);
    r->setColor(color);
  };
  const auto text = [&](const QString& label, double x, double y, Qt::Alignment align) {
    QSGTexture* texture = node->texture(*win, label, font_, textColor_);
    const QSizeF size = QSizeF(texture->textureSize()) / win->effectiveDevicePixelRatio();
    double left = x;
    if (align & Qt::AlignRight) left = x - size.width();
    if (align & Qt::AlignHCenter) left = x - size.width() / 2.0;
    QSGImageNode* image = node->label(*win, labels++, texture);
    image->setRect(QRectF(QPointF(std::round(left), std::round(y)), size));
  };

  // The g scale: a grid line and a label at each mark, the axis on the left.
  for (const double g : chart::kGMarks) {
    const double y = std::round(chart::yOf(g, plot));
    line(QRectF(plot.left(), y, plot.width(), 1.0), g == chart::kLowestG ? axisColor : gridColor_);
    text(gLabel(g), plot.left() - 5.0, y - labelHeight / 2.0, Qt::AlignRight);
  }
  line(QRectF(plot.left(), plot.top(), 1.0, std::round(plot.height()) + 1.0), axisColor);

  // The time axis and the line, only while there are points.
  static const std::deque<AccelerationData> kNoPoints;
  const std::deque<AccelerationData>& points = model_ ? model_->chartPoints() : kNoPoints;
  const double origin = chart::timeOrigin(points, model_ ? model_->recordingStart() : 0.0);
  chart::linePoints(points, origin, plot, scratch_);
  if (!scratch_.empty()) {
    const double minSpacing = metrics.horizontalAdvance(QStringLiteral("00:00.0")) + 16.0;
    const double bottom = std::round(plot.bottom());
    for (const chart::TimeMark& mark :
         chart::timeMarks(chart::timeWindow(points, origin), plot, minSpacing)) {
      const double x = std::round(mark.x);
      line(QRectF(x, bottom + 1.0, 1.0, 4.0), axisColor);
      const double halfWidth = metrics.horizontalAdvance(mark.label) / 2.0 + 1.0;
      // A label shows whole or not at all: it neither runs off the right
      // edge nor into the gutter.
      if (x - halfWidth >= plot.left() - 2.0 && x + halfWidth <= width()) {
        text(mark.label, x, bottom + 5.0, Qt::AlignHCenter);
      }
    }
  }
  strokeInto(*node->line()->geometry(), scratch_, lineWidth_);
  node->line()->markDirty(QSGNode::DirtyGeometry);
  node->hideFrom(rectangles, labels);
  return node;
}

}  // namespace hopster
