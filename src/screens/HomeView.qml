import QtQuick
import Hopster

// The first-run pages until "hasSeenOnboarding" is true, then three tabs:
// Jump, Trophies and History. The flag is live: when it is written true the
// tabs replace the pages at once, on the Jump tab. The model's request for
// the Jump tab (the desktop activating Hopster) selects it.
FocusScope {
    id: home

    required property HomeViewModel homeModel
    required property JumpViewModel jumpModel
    required property TrophyListModel trophyModel
    required property HistoryModel historyModel
    required property OnboardingViewModel onboardingModel

    function showContent() {
        if (home.homeModel.hasSeenOnboarding) {
            content.setSource("HomeTabs.qml", {
                "jumpModel": home.jumpModel,
                "trophyModel": home.trophyModel,
                "historyModel": home.historyModel
            });
        } else {
            content.setSource("Onboarding.qml", { "onboardingModel": home.onboardingModel });
        }
    }

    // The loaded screen takes the keyboard focus (the jump screen at launch).
    Loader {
        id: content
        anchors.fill: parent
        focus: true
    }

    Connections {
        target: home.homeModel
        function onHasSeenOnboardingChanged() { home.showContent(); }
        function onJumpTabRequested() {
            const tabs = content.item as HomeTabs;
            if (tabs)
                tabs.currentIndex = 0;
        }
    }

    Component.onCompleted: showContent()
}
