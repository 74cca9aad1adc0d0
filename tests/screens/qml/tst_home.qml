import QtQuick
import QtTest
import Hopster

// The home view: the first-run pages until the flag is written, then the tabs.
Item {
    id: root
    width: 390
    height: 844

    Component {
        id: homeComponent
        HomeView {
            anchors.fill: parent
            homeModel: world.homeModel
            jumpModel: world.jumpModel
            trophyModel: world.trophyModel
            historyModel: world.historyModel
            onboardingModel: world.onboardingModel
        }
    }

    TestCase {
        name: "HomeView"
        when: windowShown

        function test_theFlagSwitchesToTheTabsLiveOnTheJumpTab() {
            world.reset(false);
            const home = createTemporaryObject(homeComponent, root);
            compare(world.homeModel.hasSeenOnboarding, false);
            verify(findChild(home, "letsGoButton"));
            verify(!findChild(home, "homeTabs"));
            world.homeModel.hasSeenOnboarding = true;
            tryVerify(() => findChild(home, "homeTabs") !== null);
            compare(findChild(home, "homeTabs").currentIndex, 0);
            tryVerify(() => findChild(home, "onboarding") === null);
        }

        function test_tabsSwitchByTapAndKeyboard() {
            world.reset(true);
            const home = createTemporaryObject(homeComponent, root);
            const tabs = findChild(home, "homeTabs");
            verify(tabs);
            mouseClick(findChild(home, "historyTab"));
            compare(tabs.currentIndex, 2);
            keySequence("Ctrl+Tab");
            compare(tabs.currentIndex, 0);
            keySequence("Ctrl+2");
            compare(tabs.currentIndex, 1);
        }
    }
}
