import QtQuick
import QtTest
import Hopster

// The desktop's light or dark preference, as the application window gets it
// (its `appearance`), turns the screens over at once, and back.
Item {
    id: root
    width: 100
    height: 100

    Component {
        id: appComponent
        Main {
            width: 390
            height: 844
            homeModel: world.homeModel
            jumpModel: world.jumpModel
            trophyModel: world.trophyModel
            historyModel: world.historyModel
            onboardingModel: world.onboardingModel
            appearance: world.appearance
        }
    }

    TestCase {
        name: "Appearance"
        when: windowShown

        function same(actual, expected, what) {
            verify(Qt.colorEqual(actual, expected), what + ": " + actual + ", not " + expected);
        }

        // Catches: Theme not bound to the window's appearance; a colour that
        // does not follow Theme.dark; Labels left on the palette's default
        // black (the window's palette not set); Texts with no colour of their
        // own (the count, the trophy titles); a chart drawn in fixed colours.
        function test_everyTabFollowsTheDesktop() {
            world.reset(true);
            world.saveRecord(1764942759, 95, 120);
            const win = createTemporaryObject(appComponent, root);
            waitForRendering(win.contentItem);
            const chart = findChild(win.contentItem, "accelerationChart");
            const texts = ["jumpCount", "totalJumps"].map(name => findChild(win.contentItem, name));
            for (const dark of [true, false, true]) {
                world.setDesktopDark(dark);
                compare(Theme.dark, dark);
                same(win.color, dark ? "#1C1C1E" : "#FFFFFF", "window background");
                texts.forEach(text => same(text.color, dark ? "white" : "black", text.objectName));
                same(chart.textColor, Theme.secondaryText, "chart labels");
                same(chart.gridColor, Theme.separator, "chart grid");
            }
            const tabs = findChild(win.contentItem, "homeTabs");
            tabs.currentIndex = 2;
            tryVerify(() => findChild(win.contentItem, "historyRow_0") !== null, 5000, "a history row");
            const row = findChild(win.contentItem, "historyRow_0");
            same(row.color, "#1C1C1E", "history row");
            same(findChild(row, "historyStartDate").color, "white", "history date");
            tabs.currentIndex = 1;
            const title = findChild(win.contentItem, "cardTitle");
            same(title.color, "white", "trophy card title");
            world.setDesktopDark(false);
            same(title.color, "black", "trophy card title, light");
            same(row.color, "white", "history row, light");
        }
    }
}
