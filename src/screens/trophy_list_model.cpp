#include "screens/trophy_list_model.h"

#include <QPointer>
#include <QString>

#include "screens/trophy_presentation.h"

namespace hopster {

TrophyListModel::TrophyListModel(TrophyManager& manager, HapticDevice& haptics, Log& log,
                                 Scheduler& scheduler, QObject* parent)
    : QAbstractListModel(parent),
      manager_(manager),
      haptics_(haptics),
      log_(log),
      scheduler_(scheduler),
      willChange_(manager.observeWillChange([this](const auto& change) { willChange(change); })),
      didChange_(manager.observeDidChange([this](const auto& change) { didChange(change); })) {
  matchCardsToTrophies();
}

int TrophyListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(manager_.trophies().size());
}

QVariant TrophyListModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
    return {};
  }
  const auto row = static_cast<std::size_t>(index.row());
  const Trophy& trophy = manager_.trophies()[row];
  switch (role) {
    case Qt::DisplayRole:
    case TitleRole:
      return QString::fromStdString(trophy.title);
    case TrophyIdRole:
      return QString::fromStdString(trophy.id);
    case SubtitleRole:
      return QString::fromStdString(trophy.subtitle);
    case CardSubtitleRole:
      // A secret stays a secret on its card even once it is earned.
      return trophy.hidden ? tr("Hidden Trophy") : QString::fromStdString(trophy.subtitle);
    case HiddenRole:
      return trophy.hidden;
    case IsUnlockedRole:
      return trophy.isUnlocked;
    case ImageNameRole:
      return trophyImageName(trophy.difficulty);
    case ShakingRole:
      return row < cards_.size() && cards_[row].shaking;
    default:
      return {};
  }
}

QHash<int, QByteArray> TrophyListModel::roleNames() const {
  return {{TrophyIdRole, "trophyId"},   {TitleRole, "title"},
          {SubtitleRole, "subtitle"},   {CardSubtitleRole, "cardSubtitle"},
          {HiddenRole, "hidden"},       {IsUnlockedRole, "isUnlocked"},
          {ImageNameRole, "imageName"}, {ShakingRole, "shaking"}};
}

void TrophyListModel::cardAppeared(int row) {
  if (!isRow(row)) return;
  Card& card = cards_[static_cast<std::size_t>(row)];
  card.haptics.prepareTrophyHaptics();
  card.prepared = true;
}

void TrophyListModel::cardTapped(int row) {
  if (!isRow(row)) return;
  const auto at = static_cast<std::size_t>(row);
  if (!manager_.trophies()[at].isUnlocked) return;
  if (!cards_[at].prepared) cardAppeared(row);
  cards_[at].haptics.playTrophyHaptic();
  setShaking(row, true);
  // Each tap settles the card on its own schedule, even while an earlier
  // tap's reset is still pending. The model may be gone by then.
  scheduler_.runAfter(kShakeSeconds, [model = QPointer<TrophyListModel>(this), row] {
    if (model && model->isRow(row)) model->setShaking(row, false);
  });
}

bool TrophyListModel::isRow(int row) const {
  return row >= 0 && static_cast<std::size_t>(row) < manager_.trophies().size() &&
         static_cast<std::size_t>(row) < cards_.size();
}

void TrophyListModel::setShaking(int row, bool shaking) {
  Card& card = cards_[static_cast<std::size_t>(row)];
  if (card.shaking == shaking) return;
  card.shaking = shaking;
  const QModelIndex changed = index(row);
  emit dataChanged(changed, changed, {ShakingRole});
}

// A card keeps its place, engine and shake flag across changes of the list;
// only a change of the list's length adds or drops cards at its end.
void TrophyListModel::matchCardsToTrophies() {
  const std::size_t count = manager_.trophies().size();
  while (cards_.size() > count) cards_.pop_back();
  while (cards_.size() < count)
    cards_.push_back(Card{TrophyCardHaptics(haptics_, log_), false, false});
}

void TrophyListModel::willChange(const TrophyManager::Change& change) {
  if (change.kind == TrophyManager::Change::Kind::wholeList) beginResetModel();
}

void TrophyListModel::didChange(const TrophyManager::Change& change) {
  if (change.kind == TrophyManager::Change::Kind::wholeList) {
    matchCardsToTrophies();
    endResetModel();
    return;
  }
  const int row = static_cast<int>(change.index);
  if (!isRow(row)) return;
  const QModelIndex changed = index(row);
  emit dataChanged(changed, changed);
}

}  // namespace hopster
