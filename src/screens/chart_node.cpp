#include "screens/chart_node.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QQuickWindow>
#include <QSGFlatColorMaterial>
#include <algorithm>
#include <cmath>

namespace hopster::chart {

ChartNode::ChartNode() {
  // Drawn in this order: the grid under the line, the labels on top.
  appendChildNode(&grid_);
  appendChildNode(&lineLayer_);
  appendChildNode(&labelLayer_);
  grid_.setFlag(QSGNode::OwnedByParent, false);
  lineLayer_.setFlag(QSGNode::OwnedByParent, false);
  labelLayer_.setFlag(QSGNode::OwnedByParent, false);
}

ChartNode::~ChartNode() {
  removeAllChildNodes();
  qDeleteAll(textures_);
}

QSGRectangleNode* ChartNode::rectangle(QQuickWindow& window, std::size_t index) {
  while (rectangles_.size() <= index) {
    QSGRectangleNode* node = window.createRectangleNode();
    grid_.appendChildNode(node);
    rectangles_.push_back(node);
  }
  return rectangles_[index];
}

QSGImageNode* ChartNode::label(QQuickWindow& window, std::size_t index, QSGTexture* texture) {
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

void ChartNode::hideFrom(std::size_t rectangles, std::size_t labels) {
  for (std::size_t i = rectangles; i < rectangles_.size(); ++i) rectangles_[i]->setRect(QRectF());
  for (std::size_t i = labels; i < labels_.size(); ++i) labels_[i]->setRect(QRectF());
}

QSGGeometryNode* ChartNode::line() {
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

QSGTexture* ChartNode::texture(QQuickWindow& window, const QString& text, const QFont& font,
                               const QColor& color) {
  if (QSGTexture* known = textures_.value(text)) return known;
  const qreal ratio = window.effectiveDevicePixelRatio();
  const QFontMetricsF metrics(font);
  const QSizeF size(std::ceil(metrics.horizontalAdvance(text)) + 2.0, std::ceil(metrics.height()));
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

void ChartNode::dropTextures() {
  for (QSGImageNode* node : labels_) {
    labelLayer_.removeChildNode(node);
    delete node;
  }
  labels_.clear();
  qDeleteAll(textures_);
  textures_.clear();
}

void ChartNode::dropTexturesWhenMany() {
  if (textures_.size() > 96) dropTextures();
}

void ChartFrame::line(const QRectF& rect, const QColor& color) {
  QSGRectangleNode* r = node_.rectangle(window_, rectangles_++);
  r->setRect(rect);
  r->setColor(color);
}

void ChartFrame::text(const QString& label, double x, double y, Qt::Alignment align) {
  QSGTexture* texture = node_.texture(window_, label, font_, textColor_);
  const QSizeF size = QSizeF(texture->textureSize()) / window_.effectiveDevicePixelRatio();
  double left = x;
  if (align & Qt::AlignRight) left = x - size.width();
  if (align & Qt::AlignHCenter) left = x - size.width() / 2.0;
  QSGImageNode* image = node_.label(window_, labels_++, texture);
  image->setRect(QRectF(QPointF(std::round(left), std::round(y)), size));
}

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

}  // namespace hopster::chart
