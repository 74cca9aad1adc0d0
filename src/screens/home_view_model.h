#pragma once

#include <QtQml/qqmlregistration.h>
#include <QObject>

#include "platform/key_value_store.h"

namespace hopster {

// The home view's choice between the first-run pages and the tabs: the
// persisted flag "hasSeenOnboarding", live, so a write by anyone switches
// the view at once. It also carries requests from outside the window (the
// desktop activating Hopster) to show the Jump tab.
class HomeViewModel : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_UNCREATABLE("made by the application")
  Q_PROPERTY(bool hasSeenOnboarding READ hasSeenOnboarding WRITE setHasSeenOnboarding NOTIFY
                 hasSeenOnboardingChanged)

 public:
  static constexpr const char* kKey = "hasSeenOnboarding";

  explicit HomeViewModel(KeyValueStore& store, QObject* parent = nullptr);

  [[nodiscard]] bool hasSeenOnboarding() const { return binding_.value(); }
  void setHasSeenOnboarding(bool value) { binding_.set(value); }
  // Asks the home view for the Jump tab (the first-run pages, while they
  // show, stay: they lead to the tabs by their own steps).
  Q_INVOKABLE void showJumpTab() { emit jumpTabRequested(); }

 signals:
  void hasSeenOnboardingChanged();
  void jumpTabRequested();

 private:
  BoolBinding binding_;
  Subscription subscription_;
};

}  // namespace hopster
