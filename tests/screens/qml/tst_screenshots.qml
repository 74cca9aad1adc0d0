import QtQuick
import QtTest
import Hopster

// Renders every screen and state to PNG files under the build folder
// (screenshots/), so a reviewer can look at them, and checks none is blank.
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
        name: "Screenshots"
        when: windowShown

        property var home

        function shoot(name) {
            wait(700);  // let transitions finish
            const path = world.screenshotPath(name);
            grabImage(root).save(path);
            verify(world.isNotBlank(path), name + " is blank");
        }

        function tabs() {
            return findChild(home, "homeTabs");
        }

        function test_everyScreen() {
            world.reset(false);
            home = createTemporaryObject(homeComponent, root);
            const pages = ["letsGoButton", "page2Next", "page3Next"];
            for (let page = 1; page <= 4; ++page) {
                shoot("onboarding-" + page);
                if (page < 4)
                    mouseClick(findChild(home, pages[page - 1]));
            }
            mouseClick(findChild(home, "yeahButton"));
            shoot("onboarding-4-allowed");
            mouseClick(findChild(home, "noButton"));
            tryVerify(() => tabs() !== null);
            shoot("jump-idle");

            world.jumpModel.toggleRecording();
            world.advance(2.0);
            shoot("jump-countdown");
            world.advance(2.0);
            world.jump(40);
            world.advance(20.0);
            shoot("jump-recording");
            world.jumpModel.toggleRecording();
            shoot("jump-trophy-popup");
            world.advance(4.0);

            world.unlockTrophy("60-1min");
            world.unlockTrophy("750-under-5min");
            tabs().currentIndex = 1;
            shoot("trophies");

            tabs().currentIndex = 2;
            shoot("history-one-row");
            world.saveRecord(1764950000, 65.257, 150);
            world.saveRecord(1764960000, 0, 3);
            tabs().currentIndex = 0;
            tabs().currentIndex = 2;
            shoot("history");
        }

        function test_emptyHistory() {
            world.reset(true);
            home = createTemporaryObject(homeComponent, root);
            tabs().currentIndex = 2;
            shoot("history-empty");
            world.setHeadphones(false);
            tabs().currentIndex = 0;
            world.jumpModel.toggleRecording();
            shoot("jump-no-headphones-alert");
        }
    }
}
