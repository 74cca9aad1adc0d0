import QtQuick
import QtQuick.Controls
import Hopster

// The one window: the home view, phone-shaped by default and resizable.
ApplicationWindow {
    id: window

    required property HomeViewModel homeModel
    required property JumpViewModel jumpModel
    required property TrophyListModel trophyModel
    required property HistoryModel historyModel
    required property OnboardingViewModel onboardingModel

    width: 390
    height: 844
    minimumWidth: 320
    minimumHeight: 560
    visible: true
    title: qsTr("Hopster")
    color: Theme.background

    HomeView {
        anchors.fill: parent
        focus: true
        homeModel: window.homeModel
        jumpModel: window.jumpModel
        trophyModel: window.trophyModel
        historyModel: window.historyModel
        onboardingModel: window.onboardingModel
    }
}
