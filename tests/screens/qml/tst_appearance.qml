import QtQuick
import QtTest
import Hopster

// The desktop's light or dark preference, as the application window gets it
// (its `appearance`), turns every screen over at once, and back.
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

        property var win: null

        function init() {
            world.reset(true);
            world.saveRecord(1764942759, 95, 120);
            win = createTemporaryObject(appComponent, root);
            verify(win, "the main window");
            waitForRendering(win.contentItem);
        }

        function find(name) {
            const found = findChild(win.contentItem, name);
            verify(found, name);
            return found;
        }

        function same(actual, expected, what) {
            verify(Qt.colorEqual(actual, expected), what + ": " + actual + ", not " + expected);
        }

        // What a screen draws its text and background in, for each palette.
        function expectPalette(dark) {
            compare(Theme.dark, dark, "the theme follows the desktop");
            same(win.color, dark ? "#1C1C1E" : "#FFFFFF", "window background");
            same(find("jumpCount").color, dark ? "white" : "black", "jump count");
            // A Label without a colour of its own takes the window's palette.
            same(find("totalJumps").color, dark ? "white" : "black", "total jumps");
            const chart = find("accelerationChart");
            same(chart.textColor, Theme.secondaryText, "chart labels");
            same(chart.gridColor, Theme.separator, "chart grid");
        }

        // Catches: Theme not bound to the window's appearance; a colour that
        // does not follow Theme.dark; uncoloured Labels left on the default
        // black; a chart drawn in fixed colours.
        function test_theJumpScreenFollowsTheDesktop() {
            expectPalette(false);
            world.setDesktopDark(true);
            expectPalette(true);
            world.setDesktopDark(false);
            expectPalette(false);
        }

        // Catches lists and cards that keep their light colours: the history
        // rows, the trophy cards' titles and the recording's chart.
        function test_theOtherTabsFollowTheDesktop() {
            world.setDesktopDark(true);
            find("homeTabs").currentIndex = 2;
            tryVerify(() => findChild(win.contentItem, "historyRow_0") !== null, 5000, "a history row");
            const row = find("historyRow_0");
            same(row.color, "#1C1C1E", "history row");
            same(findChild(row, "historyStartDate").color, "white", "history date");
            find("homeTabs").currentIndex = 1;
            const title = find("cardTitle");
            same(title.color, "white", "trophy card title");
            world.setDesktopDark(false);
            same(title.color, "black", "trophy card title, light");
            same(row.color, "white", "history row, light");
        }
    }
}
