#pragma once

#include <QColor>
#include <QFont>
#include <QHash>
#include <QPointF>
#include <QRectF>
#include <QSGGeometryNode>
#include <QSGImageNode>
#include <QSGNode>
#include <QSGRectangleNode>
#include <QSGTexture>
#include <QString>
#include <cstddef>
#include <vector>

class QQuickWindow;

namespace hopster::chart {

// The chart's scene-graph nodes, kept from frame to frame and changed in
// place: the grid and axis lines, the line of points and the labels, whose
// textures are drawn once per distinct text.
class ChartNode : public QSGNode {
 public:
  ChartNode();
  ~ChartNode() override;
  ChartNode(const ChartNode&) = delete;
  ChartNode& operator=(const ChartNode&) = delete;

  // The grid rectangle at `index`, made on first use.
  QSGRectangleNode* rectangle(QQuickWindow& window, std::size_t index);
  // The label node at `index`, showing `texture`. A new node gets its texture
  // before it joins the tree: the software renderer cannot take an image
  // node without one.
  QSGImageNode* label(QQuickWindow& window, std::size_t index, QSGTexture* texture);
  // Hides the rectangles and labels from the given counts on.
  void hideFrom(std::size_t rectangles, std::size_t labels);
  // The line of points, drawn as a triangle strip in one colour.
  QSGGeometryNode* line();
  // The texture of a label's text, made on first use.
  QSGTexture* texture(QQuickWindow& window, const QString& text, const QFont& font,
                      const QColor& color);
  // Drops the label textures, and the label nodes that show them; only at
  // the start of a frame, before any label is placed.
  void dropTextures();
  // Time labels come and go as the window moves; their textures are made
  // afresh now and then rather than kept for ever.
  void dropTexturesWhenMany();

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

// One frame's drawing into a ChartNode: grid lines and labels placed in
// order, and whatever the last frame had beyond them hidden at the end.
class ChartFrame {
 public:
  ChartFrame(ChartNode& node, QQuickWindow& window, const QFont& font, const QColor& textColor)
      : node_(node), window_(window), font_(font), textColor_(textColor) {}
  ChartFrame(const ChartFrame&) = delete;
  ChartFrame& operator=(const ChartFrame&) = delete;
  ~ChartFrame() { node_.hideFrom(rectangles_, labels_); }

  void line(const QRectF& rect, const QColor& color);
  // `label` with its top at `y`, its left, right or centre at `x` as `align` says.
  void text(const QString& label, double x, double y, Qt::Alignment align);

 private:
  ChartNode& node_;
  QQuickWindow& window_;
  const QFont& font_;
  const QColor& textColor_;
  std::size_t rectangles_ = 0;
  std::size_t labels_ = 0;
};

// A g mark's label ("−4", "0", "2"), with a true minus sign.
[[nodiscard]] QString gLabel(double g);

// Fills `geometry` with a band `width` wide along `points`, as a triangle
// strip: each point gives two vertices, set off on both sides along the
// bisector of its two segments (mitred, the mitre at most twice the width).
void strokeInto(QSGGeometry& geometry, const std::vector<QPointF>& points, double width);

}  // namespace hopster::chart
