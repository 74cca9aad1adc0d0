#pragma once

#include <QQuickImageProvider>

namespace hopster {

// Draws QR codes for QML: "image://qr/<text>" is the code of <text>
// (percent-encoded in the id), black modules on white with the quiet zone
// the format asks for, scaled to the requested size.
class QrImageProvider final : public QQuickImageProvider {
 public:
  QrImageProvider();
  QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;
};

}  // namespace hopster
