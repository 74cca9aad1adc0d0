#include "screens/home_view_model.h"

namespace hopster {

HomeViewModel::HomeViewModel(KeyValueStore& store, QObject* parent)
    : QObject(parent),
      binding_(store, kKey),
      subscription_(binding_.onChange([this](bool) { emit hasSeenOnboardingChanged(); })) {}

}  // namespace hopster
