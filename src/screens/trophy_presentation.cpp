#include "screens/trophy_presentation.h"

namespace hopster {

QString trophyImageName(DifficultyLevels difficulty) {
  switch (difficulty) {
    case DifficultyLevels::easy:
      return QStringLiteral("BronzeTrophy");
    case DifficultyLevels::normal:
      return QStringLiteral("SilverTrophy");
    case DifficultyLevels::hard:
      return QStringLiteral("GoldTrophy");
    case DifficultyLevels::extreme:
      return QStringLiteral("PlatinumTrophy");
  }
  return QStringLiteral("BronzeTrophy");
}

QVariantMap trophyProperties(const Trophy& trophy) {
  return QVariantMap{{QStringLiteral("id"), QString::fromStdString(trophy.id)},
                     {QStringLiteral("title"), QString::fromStdString(trophy.title)},
                     {QStringLiteral("subtitle"), QString::fromStdString(trophy.subtitle)},
                     {QStringLiteral("hidden"), trophy.hidden},
                     {QStringLiteral("isUnlocked"), trophy.isUnlocked},
                     {QStringLiteral("imageName"), trophyImageName(trophy.difficulty)}};
}

}  // namespace hopster
