#pragma once

#include <QtQml/qqmlregistration.h>
#include <QAbstractListModel>
#include <QByteArray>
#include <QHash>
#include <QModelIndex>
#include <QVariant>
#include <vector>

#include "platform/haptic_device.h"
#include "platform/log.h"
#include "platform/scheduler.h"
#include "platform/subscription.h"
#include "recording/trophy_card_haptics.h"
#include "trophies/trophy_manager.h"

namespace hopster {

// The trophy grid's rows: one per trophy of the shared manager, in list
// order, following every change of the list. Each row also carries its
// card's screen state: the card's own haptic engine and its shake flag.
class TrophyListModel : public QAbstractListModel {
  Q_OBJECT
  QML_ELEMENT
  QML_UNCREATABLE("made by the application")

 public:
  enum Role {
    TrophyIdRole = Qt::UserRole + 1,
    TitleRole,
    SubtitleRole,
    CardSubtitleRole,  // "Hidden Trophy" for a hidden trophy, else the subtitle
    HiddenRole,
    IsUnlockedRole,
    ImageNameRole,
    ShakingRole,
  };

  // How long a tapped card shakes before it settles again.
  static constexpr double kShakeSeconds = 0.3;

  TrophyListModel(TrophyManager& manager, HapticDevice& haptics, Log& log, Scheduler& scheduler,
                  QObject* parent = nullptr);

  [[nodiscard]] int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
  [[nodiscard]] QHash<int, QByteArray> roleNames() const override;

  // The card of `row` came on screen: makes and starts its haptic engine.
  // Cards that never come on screen make none.
  Q_INVOKABLE void cardAppeared(int row);
  // The picture of the card of `row` was tapped: an unlocked trophy plays
  // its haptic and shakes for kShakeSeconds; a locked one does nothing. A
  // card tapped before it was reported on screen prepares its engine first.
  Q_INVOKABLE void cardTapped(int row);

 private:
  struct Card {
    TrophyCardHaptics haptics;
    bool shaking = false;
    bool prepared = false;
  };

  [[nodiscard]] bool isRow(int row) const;
  void setShaking(int row, bool shaking);
  void matchCardsToTrophies();
  void willChange(const TrophyManager::Change& change);
  void didChange(const TrophyManager::Change& change);

  TrophyManager& manager_;
  HapticDevice& haptics_;
  Log& log_;
  Scheduler& scheduler_;
  std::vector<Card> cards_;
  Subscription willChange_;
  Subscription didChange_;
};

}  // namespace hopster
