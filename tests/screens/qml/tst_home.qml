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
            focus: true
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
            verify(findChild(home, "letsGoButton"));
            verify(!findChild(home, "homeTabs"));
            world.homeModel.hasSeenOnboarding = true;
            tryVerify(() => findChild(home, "homeTabs") !== null);
            compare(findChild(home, "homeTabs").currentIndex, 0);
            tryVerify(() => findChild(home, "onboarding") === null);
        }

        // The desktop activating Hopster asks for the Jump tab: it is
        // selected from any tab (a lost handler leaves the tab as it was).
        function test_theModelsRequestSelectsTheJumpTab() {
            world.reset(true);
            const home = createTemporaryObject(homeComponent, root);
            const tabs = findChild(home, "homeTabs");
            for (const from of [2, 1, 0]) {
                tabs.currentIndex = from;
                world.homeModel.showJumpTab();
                compare(tabs.currentIndex, 0);
            }
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

        // Tab walks from Start into the tab bar, where Space selects a tab
        // and Left steps back; each tab shows its focus while it has it.
        function test_tabReachesTheTabsWithAVisibleFocus() {
            world.reset(true);
            const home = createTemporaryObject(homeComponent, root);
            const tabs = findChild(home, "homeTabs");
            const history = findChild(home, "historyTab");
            for (let i = 0; i < 10 && !history.activeFocus; ++i)
                keyClick(Qt.Key_Tab);
            verify(history.activeFocus);
            verify(history.visualFocus);
            keyClick(Qt.Key_Space);
            compare(tabs.currentIndex, 2);
            verify(history.activeFocus);
            keyClick(Qt.Key_Left);
            compare(tabs.currentIndex, 1);
            verify(findChild(home, "trophiesTab").activeFocus);
            verify(findChild(home, "trophiesTab").visualFocus);
        }

        // The Start button's appearance runs the headphone check; while the
        // countdown ring stands in its place, reopening the tab must not.
        function test_reopeningTheJumpTabDuringACountdownLeavesTheHeadphonesAlone() {
            world.reset(true);
            const home = createTemporaryObject(homeComponent, root);
            const tabs = findChild(home, "homeTabs");
            keyClick(Qt.Key_Space);
            compare(world.jumpModel.isStarting, true);
            world.setHeadphones(false);
            keySequence("Ctrl+2");
            keySequence("Ctrl+1");
            compare(tabs.currentIndex, 0);
            compare(world.jumpModel.isHeadphonesConnected, true);
            // The button's return after a cancel is an appearance: it checks.
            keyClick(Qt.Key_Escape);
            compare(world.jumpModel.isStarting, false);
            compare(world.jumpModel.isHeadphonesConnected, false);
        }
    }
}
