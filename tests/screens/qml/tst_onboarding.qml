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
            root.width = 390;
            root.height = 844;
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

        // Every item named lies inside the window, and no two of them meet.
        function verifyLaidOut(names) {
            const boxes = [];
            for (const name of names) {
                const it = item(name);
                if (!it.visible)
                    continue;
                // As drawn: a scaled item counts at its drawn size.
                const box = it.mapToItem(root, 0, 0, it.width, it.height);
                const where = name + " at " + box.x + "," + box.y + " " + box.width + "x" + box.height;
                verify(box.width > 0 && box.height > 0, where);
                verify(box.x >= -0.5 && box.y >= -0.5, where);
                verify(box.x + box.width <= root.width + 0.5 && box.y + box.height <= root.height + 0.5, where);
                for (const other of boxes) {
                    const apart = box.x >= other.box.x + other.box.width - 0.5
                        || other.box.x >= box.x + box.width - 0.5
                        || box.y >= other.box.y + other.box.height - 0.5
                        || other.box.y >= box.y + box.height - 0.5;
                    verify(apart, where + " meets " + other.name);
                }
                boxes.push({ name: name, box: box });
            }
        }

        function test_everyPageFitsSmallAndWideWindows_data() {
            return [
                { tag: "320x560", width: 320, height: 560 },
                { tag: "1280x900", width: 1280, height: 900 }
            ];
        }

        function test_everyPageFitsSmallAndWideWindows(data) {
            root.width = data.width;
            root.height = data.height;
            world.setOnboardingMotionAvailable(false);  // with the extra notice on page 3
            const pages = [
                ["welcomeTitle", "welcomeIcon", "welcomeTagline", "letsGoButton"],
                ["page2Icon", "page2Title", "page2Text", "fitnessPicture", "page2Next"],
                ["page3Title", "page3Text", "page3Picture", "page3NoMotion", "page3Promise", "page3Next"],
                ["reminderQuestion", "reminderPicture", "noButton", "yeahButton", "allowNotificationsButton"]
            ];
            for (let page = 1; page <= 4; ++page) {
                goToPage(page);
                verifyLaidOut(pages[page - 1]);
            }
            verify(!item("yeahButton").contentItem.truncated);
            verify(!item("noButton").contentItem.truncated);
            // The workout picture on page 2 is shown whole, never cropped.
            mouseClick(item("onboardingBack"));
            settle(3);
            mouseClick(item("onboardingBack"));
            settle(2);
            const picture = item("fitnessPicture");
            fuzzyCompare(picture.width / picture.height, 1, 0.01);
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
