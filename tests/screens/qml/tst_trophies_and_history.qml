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

    Component {
        id: popupComponent
        Item {
            property alias popup: popup
            property int clicksBelow: 0
            anchors.fill: parent
            // A control under the popup: only the popup's card may hide it.
            MouseArea {
                anchors.fill: parent
                onClicked: parent.clicksBelow += 1
            }
            TrophyAlertView {
                id: popup
                y: 40
                trophy: ({ id: "10k-max-jumps", title: "10,000 Total Jumps",
                           subtitle: "Incredible! You've conquered 10,000 jumps!",
                           imageName: "SilverTrophy" })
            }
        }
    }

    // Relative luminance of an sRGB colour, for contrast ratios.
    function luminance(c) {
        const lin = (v) => v <= 0.04045 ? v / 12.92 : Math.pow((v + 0.055) / 1.055, 2.4);
        return 0.2126 * lin(c.r) + 0.7152 * lin(c.g) + 0.0722 * lin(c.b);
    }

    function contrast(a, b) {
        const la = luminance(a), lb = luminance(b);
        return (Math.max(la, lb) + 0.05) / (Math.min(la, lb) + 0.05);
    }

    TestCase {
        name: "TrophiesAndHistory"
        when: windowShown

        function init() {
            root.width = 390;
            world.reset(true);
        }

        function test_lockedCardsIgnoreTapsUnlockedOnesShakeAndHiddenOnesKeepTheSecret() {
            world.unlockTrophy("trophy-first-10");
            const grid = createTemporaryObject(gridComponent, root);
            const locked = findChild(grid, "trophyCard_60-1min");
            const unlocked = findChild(grid, "trophyCard_trophy-first-10");
            tryVerify(() => unlocked.shown);
            verify(findChild(locked, "padlock").visible);
            verify(!findChild(unlocked, "padlock").visible);
            // A screen reader hears the title and the state, not an item's name.
            compare(unlocked.Accessible.name, "First 10 Times, unlocked");
            compare(locked.Accessible.name, locked.title + ", locked");
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

        // Every card, in the catalogue's order.
        function cards(grid) {
            return Array.from(findChild(grid, "trophyGrid").children)
                .filter((item) => item.objectName.startsWith("trophyCard_"));
        }

        // Cards make their haptic engine when they come on screen, not when
        // the grid is built, and again each time they come back.
        function test_onlyCardsOnScreenPrepareTheirHaptics() {
            const grid = createTemporaryObject(gridComponent, root, { visible: false });
            const all = cards(grid);
            wait(0);
            compare(world.hapticEnginesMade(), 0, "a hidden tab prepares nothing");

            grid.visible = true;
            tryVerify(() => all[0].shown);
            const onScreen = all.filter((card) => card.shown).length;
            verify(onScreen >= 2 && onScreen < all.length, onScreen);
            compare(world.hapticEnginesMade(), onScreen);
            verify(!all[all.length - 1].shown);

            const flick = findChild(grid, "trophyFlick");
            flick.contentY = flick.contentHeight - flick.height;
            tryVerify(() => all[all.length - 1].shown);
            verify(!all[0].shown);
            const afterScroll = world.hapticEnginesMade();
            verify(afterScroll > onScreen);

            flick.contentY = 0;
            tryVerify(() => all[0].shown);
            verify(world.hapticEnginesMade() > afterScroll, "a card back on screen prepares again");
        }

        // A card activated before the grid reported it on screen (from the
        // keyboard or an assistive tool) still taps, on an engine of its own.
        function test_aCardTappedBeforeItWasShownPreparesAndPlays() {
            world.unlockTrophy("trophy-first-10");
            world.trophyModel.cardTapped(0);
            compare(world.hapticEnginesMade(), 1);
            compare(world.hapticTaps(), 1);
        }

        function test_gridSharesTheWidthAndTheGrownPictureKeepsClearOfTheTitle_data() {
            return [{ tag: "320", width: 320 }, { tag: "360", width: 360 },
                    { tag: "390", width: 390 }, { tag: "1280", width: 1280 }];
        }

        function test_gridSharesTheWidthAndTheGrownPictureKeepsClearOfTheTitle(data) {
            root.width = data.width;
            const grid = createTemporaryObject(gridComponent, root);
            const all = cards(grid);
            tryVerify(() => all[0].shown);
            const left = all[0], right = all[1];
            const leftBox = left.mapToItem(root, 0, 0), rightBox = right.mapToItem(root, 0, 0);
            compare(rightBox.x - (leftBox.x + left.width), 20, "gutter");
            compare(left.width, right.width);
            const gridWidth = 2 * left.width + 20;
            verify(gridWidth <= data.width - 2 * Theme.margin + 0.5);
            verify(gridWidth <= Theme.contentMaxWidth, "a wide window keeps the grid readable");
            fuzzyCompare(leftBox.x, (data.width - gridWidth) / 2, 1, "centred");
            for (let i = 0; i + 2 < all.length; ++i)
                verify(all[i + 2].y >= all[i].y + all[i].height + 20, "rows keep apart");
            for (const card of all) {
                const picture = findChild(card, "trophyPicture");
                const title = findChild(card, "cardTitle");
                verify(picture.width <= card.width - 2 * 8 && picture.width >= 60, picture.width);
                // Grown by a fifth about its centre, the picture ends a tenth
                // of its size lower down.
                const grownBottom = picture.mapToItem(card, 0, 0).y + 1.1 * picture.height;
                verify(grownBottom <= title.mapToItem(card, 0, 0).y, card.objectName);
                const subtitle = findChild(card, "cardSubtitle");
                verify(subtitle.mapToItem(card, 0, subtitle.height).y <= card.height, card.objectName);
            }
        }

        // The popup keeps a margin at every width, never cuts its subtitle,
        // takes taps only on its card, and its "Ok" reads at WCAG AA.
        function test_popupFitsTheWindowAndLeavesTheRestUsable_data() {
            return [{ tag: "320", width: 320, full: false, fullPicture: false },
                    { tag: "360", width: 360, full: false, fullPicture: false },
                    { tag: "390", width: 390, full: false, fullPicture: true },
                    { tag: "1280", width: 1280, full: true, fullPicture: true }];
        }

        function test_popupFitsTheWindowAndLeavesTheRestUsable(data) {
            root.width = data.width;
            const layer = createTemporaryObject(popupComponent, root);
            const card = findChild(layer.popup, "trophyPopup");
            const picture = findChild(layer.popup, "trophyAlertPicture");
            const subtitle = findChild(layer.popup, "trophyAlertSubtitle");
            const ok = findChild(layer.popup, "trophyAlertOk");
            tryVerify(() => subtitle.width > 0);
            const box = card.mapToItem(root, 0, 0);
            verify(box.x >= Theme.margin - 0.5 && box.x + card.width <= data.width - Theme.margin + 0.5);
            compare(card.width === 362, data.full);
            compare(picture.width === 150, data.fullPicture);
            verify(picture.width >= 64);
            verify(!subtitle.truncated);
            // The card grows with its text once the layout has settled.
            tryVerify(() => ok.mapToItem(card, 0, ok.height).y <= card.height, 1000, "the card holds its content");

            mouseClick(card, card.width / 2, 4);
            compare(layer.clicksBelow, 0, "a tap on the card stays on it");
            mouseClick(layer, 4, layer.height - 4);
            compare(layer.clicksBelow, 1, "a tap beside the card reaches what is under it");

            verify(contrast(ok.contentItem.color, ok.background.color) >= 4.5);
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
            // A load already under way may show fewer rows first; the reload
            // asked for on reappearing follows it.
            tryCompare(list, "count", 3);
            const row = (i) => {
                list.positionViewAtIndex(i, ListView.Beginning);
                return findChild(view, "historyRow_" + i);
            };
            compare(row(0).speedText, "Speed: inf J/S");
            compare(row(1).speedText, "Speed: 2.00 J/S");
            compare(row(2).durationText, "Duration: 1m 5.25s");
            compare(row(2).jumpsText, "Jumps: 150");
        }

        // A tapped row opens its recording over the list; Escape, the Back
        // button and Enter on the current row go back and forth, and the list
        // is where it was.
        function test_aRowOpensItsRecordingAndBackReturnsToTheSamePlace() {
            for (let i = 0; i < 30; ++i)
                world.saveRecord(1000 + 100 * i, 60, 10 + i);
            const view = createTemporaryObject(historyComponent, root);
            view.active = true;
            const list = findChild(view, "historyList");
            tryCompare(list, "count", 30);
            list.positionViewAtIndex(20, ListView.Beginning);
            const place = list.contentY;
            verify(place > 0);
            const row = findChild(view, "historyRow_20");
            const recording = findChild(view, "recordingView");
            const shown = () => recording.visible ? recording : null;
            mouseClick(row);
            tryVerify(() => shown() !== null);
            compare(shown().jumpsText, row.jumpsText);
            compare(shown().startDateText, row.startDateText);
            tryVerify(() => !world.historyModel.recording.loading);
            verify(findChild(view, "recordingBack").activeFocus);

            keyClick(Qt.Key_Escape);
            tryVerify(() => shown() === null);
            compare(list.contentY, place);
            compare(list.currentIndex, 20);
            verify(list.activeFocus);

            keyClick(Qt.Key_Return);
            tryVerify(() => shown() !== null);
            compare(shown().jumpsText, row.jumpsText);
            mouseClick(findChild(view, "recordingBack"));
            tryVerify(() => shown() === null);
            compare(list.contentY, place);
        }
    }
}
