import QtQuick
import QtTest
import Hopster

// Renders every screen and state in the real application window, at the
// smallest supported phone window, two common phone sizes and a desktop
// window, to PNG files under the build folder (screenshots/<size>/), so a
// reviewer sees what a user sees, and checks none is blank. It must run on an
// X server with OpenGL (Mesa's software rasteriser will do), so the blur,
// masks, gradients and shadows are drawn as on a desktop.
Item {
    id: root
    width: 100
    height: 100

    Component {
        id: appComponent
        Main {
            homeModel: world.homeModel
            jumpModel: world.jumpModel
            trophyModel: world.trophyModel
            historyModel: world.historyModel
            onboardingModel: world.onboardingModel
            appearance: world.appearance
        }
    }

    TestCase {
        name: "Screenshots"
        when: windowShown

        property var win: null
        property string size: ""

        function initTestCase() {
            verify(Qt.platform.pluginName === "xcb",
                   "screenshots need an X server (run under xvfb-run with QT_QPA_PLATFORM=xcb), not "
                   + Qt.platform.pluginName);
            verify(GraphicsInfo.api === GraphicsInfo.OpenGL,
                   "screenshots need OpenGL (install Mesa's drivers, libgl1-mesa-dri); the windows "
                   + "render with graphics API " + GraphicsInfo.api);
        }

        function openApp(data, hasSeenOnboarding) {
            world.reset(hasSeenOnboarding);
            world.setDesktopDark(data.dark === true);
            size = data.tag;
            win = createTemporaryObject(appComponent, root, { width: data.w, height: data.h });
            verify(win, "the main window");
            tryVerify(() => win.width === data.w && win.height === data.h, 2000);
            waitForRendering(win.contentItem);
        }

        function shoot(name, settle) {
            // Transitions play out for `settle` ms of the animations' own time.
            const until = animations.elapsed() + (settle === undefined ? 250 : settle);
            tryVerify(() => animations.elapsed() >= until, 5000, "transitions play out");
            const path = world.screenshotPath(size + "/" + name);
            grabImage(win.contentItem).save(path);
            verify(world.isNotBlank(path), size + "/" + name + " is blank");
        }

        function find(name) {
            // Popups are not visual children: the window owns them.
            const found = findChild(win.contentItem, name) || findChild(win, name);
            verify(found, name);
            return found;
        }

        function tabs() {
            return findChild(win.contentItem, "homeTabs");
        }

        // The window at each size, for every test.
        function init_data() {
            return [
                { tag: "320x560", w: 320, h: 560 },
                { tag: "360x720", w: 360, h: 720 },
                { tag: "390x844", w: 390, h: 844 },
                { tag: "1280x900", w: 1280, h: 900 },
                // The dark style, at the smallest phone window and the desktop one.
                { tag: "320x560-dark", w: 320, h: 560, dark: true },
                { tag: "1280x900-dark", w: 1280, h: 900, dark: true }
            ];
        }

        function test_firstRunThenEveryTab(data) {
            openApp(data, false);
            const stack = find("onboardingStack");
            const next = ["letsGoButton", "page2Next", "page3Next"];
            for (let page = 1; page <= 4; ++page) {
                tryVerify(() => !stack.busy, 3000);
                shoot("onboarding-" + page);
                if (page < 4)
                    mouseClick(find(next[page - 1]));
            }
            mouseClick(find("yeahButton"));
            shoot("onboarding-4-allowed");
            mouseClick(find("noButton"));
            tryVerify(() => tabs() !== null, 3000, "the tabs replace the first run");
            shoot("jump-idle");

            world.jumpModel.toggleRecording();
            world.advance(2.0);
            shoot("jump-countdown", 800);  // the ring fills
            world.advance(2.0);
            world.jump(40);
            world.advance(20.0);
            shoot("jump-recording");
            world.jumpModel.toggleRecording();
            shoot("jump-trophy-popup", 700);  // slid in
            world.advance(4.0);

            world.unlockTrophy("60-1min");
            world.unlockTrophy("750-under-5min");
            tabs().currentIndex = 1;
            shoot("trophies");
            const card = find("trophyCard_trophy-first-10");
            mouseClick(findChild(card, "trophyPicture"));
            shoot("trophies-tapped-card", 300);  // mid-shake, grown
            world.advance(0.3);

            world.saveRecord(1764950000, 65.257, 150);
            world.saveRecord(1764960000, 0, 3);
            world.saveRecord(1765036800, 3725.9, 9999);
            tabs().currentIndex = 2;
            shoot("history");
        }

        function test_emptyHistoryAndAlerts(data) {
            openApp(data, true);
            verify(tabs(), "the tabs show");
            tabs().currentIndex = 2;
            shoot("history-empty");
            tabs().currentIndex = 0;

            world.setHeadphones(false);
            world.jumpModel.toggleRecording();
            shoot("jump-no-headphones-alert");
            find("headphoneAlert").close();

            world.setHeadphones(true);
            world.setMotionAuthorization(0);
            world.jumpModel.toggleRecording();
            shoot("jump-motion-access-alert");
        }
    }
}
