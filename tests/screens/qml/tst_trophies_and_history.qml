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

        function test_lockedCardsIgnoreTapsUnlockedOnesShakeAndHiddenOnesKeepTheSecret() {
            world.unlockTrophy("trophy-first-10");
            const grid = createTemporaryObject(gridComponent, root);
            const locked = findChild(grid, "trophyCard_60-1min");
            const unlocked = findChild(grid, "trophyCard_trophy-first-10");
            verify(findChild(locked, "padlock").visible);
            verify(!findChild(unlocked, "padlock").visible);
            mouseClick(findChild(locked, "trophyPicture"));
            compare(locked.shaking, false);
            compare(world.hapticTaps(), 0);
            mouseClick(findChild(unlocked, "trophyPicture"));
            compare(unlocked.shaking, true);
            compare(world.hapticTaps(), 1);
            world.advance(0.3);
            compare(unlocked.shaking, false);

            const hidden = findChild(grid, "trophyCard_750-under-5min");
            compare(findChild(hidden, "cardSubtitle").text, "Hidden Trophy");
            world.unlockTrophy("750-under-5min");
            tryVerify(() => hidden.isUnlocked);
            compare(findChild(hidden, "cardSubtitle").text, "Hidden Trophy");
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
            compare(row(0).speedText, "Speed: inf J/S");
            compare(row(1).speedText, "Speed: 2.00 J/S");
            compare(row(2).durationText, "Duration: 1m 5.25s");
            compare(row(2).jumpsText, "Jumps: 150");
        }
    }
}
