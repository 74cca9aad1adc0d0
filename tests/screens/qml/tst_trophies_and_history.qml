import QtQuick
import QtTest
import Hopster

// The trophy grid and the history list on the real core.
Item {
    id: root
    width: 390
    height: 844

    Component {
        id: gridComponent
        TrophyListView {
            anchors.fill: parent
            trophyModel: world.trophyModel
        }
    }

    Component {
        id: historyComponent
        SavedDataView {
            anchors.fill: parent
            historyModel: world.historyModel
            active: false
        }
    }

    TestCase {
        name: "TrophiesAndHistory"
        when: windowShown

        function init() {
            world.reset(true);
        }

        function test_lockedCardsIgnoreTapsAndUnlockedOnesShake() {
            world.unlockTrophy("trophy-first-10");
            const grid = createTemporaryObject(gridComponent, root);
            const locked = findChild(grid, "trophyCard_60-1min");
            const unlocked = findChild(grid, "trophyCard_trophy-first-10");
            verify(locked && unlocked);
            verify(findChild(locked, "padlock").visible);
            verify(!findChild(unlocked, "padlock").visible);

            const taps = world.hapticTaps();
            mouseClick(findChild(locked, "trophyPicture"));
            compare(locked.shaking, false);
            compare(world.hapticTaps(), taps);

            mouseClick(findChild(unlocked, "trophyPicture"));
            compare(unlocked.shaking, true);
            compare(world.hapticTaps(), taps + 1);
            world.advance(0.3);
            compare(unlocked.shaking, false);
        }

        function test_theHiddenTrophySaysSoLockedAndUnlocked() {
            const grid = createTemporaryObject(gridComponent, root);
            const card = () => findChild(grid, "trophyCard_750-under-5min");
            compare(findChild(card(), "cardSubtitle").text, "Hidden Trophy");
            world.unlockTrophy("750-under-5min");
            tryVerify(() => card() && card().isUnlocked);
            compare(findChild(card(), "cardSubtitle").text, "Hidden Trophy");
        }

        function test_historyListsLatestStartFirstOrShowsThePlaceholder() {
            const view = createTemporaryObject(historyComponent, root);
            view.active = true;
            verify(findChild(view, "historyPlaceholder").visible);

            world.saveRecord(100, 65.257, 150);
            world.saveRecord(300, 0, 1);
            world.saveRecord(200, 60, 120);
            view.active = false;
            view.active = true;
            tryVerify(() => !findChild(view, "historyPlaceholder").visible);
            const list = findChild(view, "historyList");
            compare(list.count, 3);
            const row = (i) => {
                list.positionViewAtIndex(i, ListView.Beginning);
                return findChild(view, "historyRow_" + i);
            };
            verify(row(0).speedText.indexOf("inf J/S") >= 0);
            compare(row(1).speedText, "Speed: 2.00 J/S");
            compare(row(2).durationText, "Duration: 1m 5.25s");
            compare(row(2).jumpsText, "Jumps: 150");
            compare(row(2).speedText, "Speed: 2.30 J/S");
        }
    }
}
