#pragma once

#include <QString>
#include <QVariantMap>

#include "trophies/trophy.h"

namespace hopster {

// The picture of a trophy, by its difficulty: bronze, silver, gold, platinum.
[[nodiscard]] QString trophyImageName(DifficultyLevels difficulty);

// What a screen draws of a trophy: id, title, subtitle, hidden, isUnlocked,
// imageName.
[[nodiscard]] QVariantMap trophyProperties(const Trophy& trophy);

}  // namespace hopster
