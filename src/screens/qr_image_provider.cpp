#include "screens/qr_image_provider.h"

#include <qrencode.h>

#include <QPainter>
#include <QUrl>
#include <memory>

namespace hopster {

QrImageProvider::QrImageProvider() : QQuickImageProvider(QQuickImageProvider::Image) {}

QImage QrImageProvider::requestImage(const QString& id, QSize* size, const QSize& requestedSize) {
  const QByteArray text = QUrl::fromPercentEncoding(id.toUtf8()).toUtf8();
  const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
      QRcode_encodeString8bit(text.constData(), 0, QR_ECLEVEL_M), &QRcode_free);
  constexpr int kQuietZone = 4;  // modules of white around the code
  const int modules = code ? code->width + 2 * kQuietZone : 1;
  const int side =
      std::max(requestedSize.width() > 0 ? requestedSize.width() : modules * 4, modules);
  QImage image(side, side, QImage::Format_RGB32);
  image.fill(Qt::white);
  if (code) {
    // Whole pixels per module keep the edges sharp for a camera; the rest is margin.
    const int scale = side / modules;
    const int offset = (side - scale * code->width) / 2;
    QPainter painter(&image);
    for (int y = 0; y < code->width; ++y) {
      for (int x = 0; x < code->width; ++x) {
        if ((code->data[y * code->width + x] & 1) != 0) {
          painter.fillRect(offset + x * scale, offset + y * scale, scale, scale, Qt::black);
        }
      }
    }
  }
  if (size != nullptr) *size = image.size();
  return image;
}

}  // namespace hopster
