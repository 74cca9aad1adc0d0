#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <vector>

namespace hopster::testing {

// The whole core behind the real QML, on test doubles, in virtual time. QML
// tests `reset` it in each test's init, then `advance` time, `jump` on the
// fake headphones, and so on.
class TestWorld : public QObject {
  Q_OBJECT
  Q_PROPERTY(QObject* homeModel READ homeModel NOTIFY modelsChanged)
  Q_PROPERTY(QObject* jumpModel READ jumpModel NOTIFY modelsChanged)
  Q_PROPERTY(QObject* trophyModel READ trophyModel NOTIFY modelsChanged)
  Q_PROPERTY(QObject* historyModel READ historyModel NOTIFY modelsChanged)
  Q_PROPERTY(QObject* onboardingModel READ onboardingModel NOTIFY modelsChanged)
  Q_PROPERTY(QObject* appearance READ appearance NOTIFY modelsChanged)

 public:
  explicit TestWorld(QObject* parent = nullptr);
  ~TestWorld() override;

  [[nodiscard]] QObject* homeModel() const;
  [[nodiscard]] QObject* jumpModel() const;
  [[nodiscard]] QObject* trophyModel() const;
  [[nodiscard]] QObject* historyModel() const;
  [[nodiscard]] QObject* onboardingModel() const;
  [[nodiscard]] QObject* appearance() const;

  // A fresh world: empty settings (or with the onboarding seen), no records.
  Q_INVOKABLE void reset(bool hasSeenOnboarding = true);
  Q_INVOKABLE void advance(double seconds);
  // What the desktop prefers, as the portal would say it (light at a reset).
  Q_INVOKABLE void setDesktopDark(bool dark);
  // Takes the records folder away (an unmounted card, say): no journal, no record.
  Q_INVOKABLE void loseRecordsFolder();
  Q_INVOKABLE void jump(int jumps);
  Q_INVOKABLE void setHeadphones(bool connected);
  // 0 not determined, 1 restricted, 2 denied, 3 authorized.
  Q_INVOKABLE void setMotionAuthorization(int status);
  Q_INVOKABLE void unlockTrophy(const QString& id);
  Q_INVOKABLE void saveRecord(double dateStart, double timeSpent, int jumps);
  Q_INVOKABLE [[nodiscard]] int hapticTaps() const;
  // Haptic engines made so far (each trophy card shown makes one).
  Q_INVOKABLE [[nodiscard]] int hapticEnginesMade() const;

  // The motion service of the newest page 3 of the first run: whether the
  // ones made from now on have motion, its starts, whether it runs, and a
  // delivery to its handler of a sample or of only an error.
  Q_INVOKABLE void setOnboardingMotionAvailable(bool available);
  Q_INVOKABLE [[nodiscard]] int onboardingMotionStarts() const;
  Q_INVOKABLE [[nodiscard]] bool onboardingMotionActive() const;
  Q_INVOKABLE void deliverOnboardingMotion(bool withSample);
  // The fake notification centre: the user's answer to the prompt, and
  // `answerNotifications` delivers every waiting answer and what follows.
  Q_INVOKABLE void setNotificationGrant(bool grant);
  Q_INVOKABLE void answerNotifications();
  Q_INVOKABLE [[nodiscard]] int notificationPrompts() const;
  Q_INVOKABLE [[nodiscard]] int scheduledReminders() const;

  // <build folder>/screenshots/<name>.png (its folders made), and whether a
  // picture there holds more than a few colours (something was drawn).
  Q_INVOKABLE [[nodiscard]] QString screenshotPath(const QString& name) const;
  Q_INVOKABLE [[nodiscard]] bool isNotBlank(const QString& path) const;

 signals:
  void modelsChanged();

 private:
  struct Core;
  std::unique_ptr<Core> core_;
  std::vector<std::unique_ptr<Core>> retired_;
};

}  // namespace hopster::testing
