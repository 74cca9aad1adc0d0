import QtQuick
import QtTest
import Hopster

// The first run inside the home view, on the real core with a fake
// notification centre and fake motion services for page 3.
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
        name: "Onboarding"
        when: windowShown

        property var home

        function init() {
            world.reset(false);
            home = createTemporaryObject(homeComponent, root);
        }

        function item(name) {
            const found = findChild(home, name);
            verify(found, name);
            return found;
        }

        // Waits until the stack has come to rest `depth` pages deep.
        function settle(depth) {
            tryCompare(item("onboardingStack"), "depth", depth);
            tryVerify(() => !item("onboardingStack").busy);
        }

        function goToPage(page) {
            const next = ["letsGoButton", "page2Next", "page3Next"];
            for (let depth = item("onboardingStack").depth; depth < page; ++depth) {
                mouseClick(item(next[depth - 1]));
                settle(depth + 1);
            }
        }

        function verifyAllowVeiled(veiled) {
            compare(item("allowNotificationsButton").enabled, !veiled);
            compare(item("allowNotificationsVeil").visible, veiled);
        }

        function verifyEndedOnTheJumpTab() {
            compare(world.homeModel.hasSeenOnboarding, true);
            tryVerify(() => findChild(home, "onboarding") === null);
            compare(findChild(home, "homeTabs").currentIndex, 0);
        }

        function test_pagesGoForwardAndBackByMouseAndKeyboard() {
            compare(item("onboardingBack").visible, false);
            for (let i = 0; i < 5 && !item("letsGoButton").activeFocus; ++i)
                keyClick(Qt.Key_Tab);
            keyClick(Qt.Key_Return);
            settle(2);
            goToPage(4);
            mouseClick(item("onboardingBack"));
            settle(3);
            for (const [key, depth] of [[Qt.Key_Escape, 2], [Qt.Key_Backspace, 1], [Qt.Key_Escape, 1]]) {
                keyClick(key);
                settle(depth);
            }
            compare(item("onboardingBack").visible, false);
            compare(world.homeModel.hasSeenOnboarding, false);
        }

        function test_allowIsVeiledUntilYeahOnEveryNewPage() {
            goToPage(4);
            verifyAllowVeiled(true);
            mouseClick(item("yeahButton"));
            verifyAllowVeiled(false);
            mouseClick(item("onboardingBack"));
            settle(3);
            goToPage(4);
            verifyAllowVeiled(true);
        }

        function test_noEndsTheFirstRunAtOnceWithoutAsking() {
            goToPage(4);
            verify(world.onboardingMotionActive());
            mouseClick(item("noButton"));
            verifyEndedOnTheJumpTab();
            // The motion request still waiting for a sample ends with the pages.
            tryVerify(() => !world.onboardingMotionActive());
            world.answerNotifications();
            compare(world.notificationPrompts(), 0);
            compare(world.scheduledReminders(), 0);
        }

        function test_allowAsksSchedulesIfGrantedAndEndsTheFirstRun_data() {
            return [
                { tag: "granted", grant: true, reminders: 30 },
                { tag: "refused", grant: false, reminders: 0 }
            ];
        }

        function test_allowAsksSchedulesIfGrantedAndEndsTheFirstRun(data) {
            world.setNotificationGrant(data.grant);
            goToPage(4);
            mouseClick(item("yeahButton"));
            mouseClick(item("allowNotificationsButton"));
            compare(world.homeModel.hasSeenOnboarding, false, "the page stays until the answer");
            world.answerNotifications();
            compare(world.notificationPrompts(), 1);
            compare(world.scheduledReminders(), data.reminders);
            verifyEndedOnTheJumpTab();
        }

        function test_page3AsksForMotionAccessUntilTheFirstSample_data() {
            return [{ tag: "motion", available: true }, { tag: "no motion", available: false }];
        }

        function test_page3AsksForMotionAccessUntilTheFirstSample(data) {
            world.setOnboardingMotionAvailable(data.available);
            goToPage(3);
            compare(world.onboardingMotionStarts(), 0);
            goToPage(4);
            compare(world.onboardingMotionStarts(), data.available ? 1 : 0);
            compare(world.onboardingMotionActive(), data.available);
            world.deliverOnboardingMotion(false);  // only an error: still waiting
            compare(world.onboardingMotionActive(), data.available);
            world.deliverOnboardingMotion(true);
            compare(world.onboardingMotionActive(), false);
        }
    }
}
