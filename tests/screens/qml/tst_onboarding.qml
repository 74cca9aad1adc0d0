import QtQuick
import QtTest
import Hopster

// The first run inside the home view, on the real core with fake headphones
// and a fake notification centre: the four pages, going back, the reminder
// question and the motion-access request.
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
            verify(home);
        }

        function item(name) {
            const found = findChild(home, name);
            verify(found, name);
            return found;
        }

        function depth() {
            return item("onboardingStack").depth;
        }

        // Taps a button once the stack has finished moving.
        function tap(name) {
            tryVerify(() => !item("onboardingStack").busy);
            mouseClick(item(name));
        }

        function goToPage(page) {
            const forward = ["letsGoButton", "page2Next", "page3Next"];
            for (let i = depth(); i < page; ++i) {
                tap(forward[i - 1]);
                tryCompare(item("onboardingStack"), "depth", i + 1);
            }
        }

        function goBack() {
            const before = depth();
            tap("onboardingBack");
            tryCompare(item("onboardingStack"), "depth", before - 1);
        }

        function verifyTabsOnJump() {
            tryVerify(() => findChild(home, "homeTabs") !== null);
            compare(findChild(home, "homeTabs").currentIndex, 0);
            tryVerify(() => findChild(home, "onboarding") === null);
        }

        function verifyVeiled(veiled) {
            tryVerify(() => !item("onboardingStack").busy);
            compare(item("allowNotificationsButton").enabled, !veiled);
            compare(item("allowNotificationsVeil").visible, veiled);
        }

        function test_pagesGoForwardAndBackOneAtATime() {
            compare(depth(), 1);
            compare(item("onboardingBack").visible, false);
            goToPage(4);
            verify(item("onboardingPage4"));
            compare(item("onboardingBack").visible, true);
            goBack();
            goBack();
            goBack();
            compare(item("onboardingBack").visible, false);
            compare(world.homeModel.hasSeenOnboarding, false);
        }

        function test_keyboardPressesButtonsAndGoesBack() {
            // Tab reaches the first page's button; Space and Enter press.
            for (let i = 0; i < 5 && !item("letsGoButton").activeFocus; ++i)
                keyClick(Qt.Key_Tab);
            verify(item("letsGoButton").activeFocus);
            keyClick(Qt.Key_Space);
            tryCompare(item("onboardingStack"), "depth", 2);
            tryVerify(() => !item("onboardingStack").busy);
            for (let i = 0; i < 5 && !item("page2Next").activeFocus; ++i)
                keyClick(Qt.Key_Tab);
            verify(item("page2Next").activeFocus);
            keyClick(Qt.Key_Return);
            tryCompare(item("onboardingStack"), "depth", 3);
            keyClick(Qt.Key_Escape);
            tryCompare(item("onboardingStack"), "depth", 2);
            keyClick(Qt.Key_Backspace);
            tryCompare(item("onboardingStack"), "depth", 1);
            keyClick(Qt.Key_Escape);
            compare(depth(), 1);
        }

        function test_allowIsVeiledUntilYeahOnEveryNewPage() {
            goToPage(4);
            verifyVeiled(true);
            mouseClick(item("allowNotificationsButton"));
            world.answerNotifications();
            compare(world.notificationStatusQueries(), 0);
            compare(world.homeModel.hasSeenOnboarding, false);

            tap("yeahButton");
            verifyVeiled(false);

            goBack();
            goToPage(4);
            verifyVeiled(true);
        }

        function test_noEndsTheFirstRunWithoutAsking() {
            goToPage(4);
            tap("noButton");
            compare(world.homeModel.hasSeenOnboarding, true);
            verifyTabsOnJump();
            world.answerNotifications();
            compare(world.notificationStatusQueries(), 0);
            compare(world.notificationPrompts(), 0);
            compare(world.scheduledReminders(), 0);
        }

        // Notification status: 0 not determined, 1 denied, 2 authorized.
        function test_allowSettlesTheQuestionAndEndsTheFirstRun_data() {
            return [
                { tag: "already authorized", status: 2, grant: false, prompts: 0, reminders: 30 },
                { tag: "asked and granted", status: 0, grant: true, prompts: 1, reminders: 30 },
                { tag: "asked and refused", status: 0, grant: false, prompts: 1, reminders: 0 },
                { tag: "denied before", status: 1, grant: false, prompts: 1, reminders: 0 }
            ];
        }

        function test_allowSettlesTheQuestionAndEndsTheFirstRun(data) {
            world.setNotificationAuthorization(data.status);
            world.setNotificationGrant(data.grant);
            goToPage(4);
            tap("yeahButton");
            tap("allowNotificationsButton");
            // The answer comes later; until then the page stays.
            compare(world.homeModel.hasSeenOnboarding, false);
            world.answerNotifications();
            compare(world.notificationPrompts(), data.prompts);
            compare(world.scheduledReminders(), data.reminders);
            compare(world.homeModel.hasSeenOnboarding, true);
            verifyTabsOnJump();
        }

        function test_motionAccessRequest_data() {
            return [
                { tag: "headphones with motion", available: true, starts: 1 },
                { tag: "no motion available", available: false, starts: 0 }
            ];
        }

        function test_motionAccessRequest(data) {
            world.setOnboardingMotionAvailable(data.available);
            goToPage(3);
            compare(world.onboardingMotionStarts(), 0);
            goToPage(4);
            compare(world.onboardingMotionStarts(), data.starts);
            compare(world.onboardingMotionActive(), data.available);
            if (!data.available)
                return;
            // A delivery without a sample (a refusal) leaves the stream on;
            // the first sample stops it.
            verify(world.deliverOnboardingMotion(false));
            compare(world.onboardingMotionActive(), true);
            verify(world.deliverOnboardingMotion(true));
            compare(world.onboardingMotionActive(), false);
        }

        function test_endingTheFirstRunStopsAStreamStillWaiting() {
            goToPage(4);
            compare(world.onboardingMotionActive(), true);
            tap("noButton");
            verifyTabsOnJump();
            tryVerify(() => !world.onboardingMotionActive());
        }

        function test_eachNewThirdPageGetsANewMotionService() {
            goToPage(3);
            compare(world.onboardingMotionServices(), 1);
            goToPage(4);
            goBack();
            compare(world.onboardingMotionServices(), 1);
            goBack();
            goToPage(3);
            compare(world.onboardingMotionServices(), 2);
            compare(world.onboardingMotionStarts(), 0);
        }
    }
}
