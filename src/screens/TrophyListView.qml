pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import Hopster

// The "Trophies" tab: one card per trophy of the shared list, in list
// order, in two columns that share the width, scrolling vertically. On a
// wide window the grid keeps a readable width and stays centred.
//
// The cards are placed here rather than by a layout so that the grid knows
// at once where each card is: a card counts as shown only while it is on
// screen, and only then does it prepare its haptic engine.
ScrollView {
    id: view

    required property TrophyListModel trophyModel
    // The screen's title, for a container that shows one.
    readonly property string title: qsTr("Trophies")

    // Space between the two columns and between rows.
    readonly property real gutter: 20
    // The widest the grid gets, cards and the gutter between them.
    readonly property real maximumGridWidth: Theme.contentMaxWidth - 2 * Theme.margin
    // Each column's width; never below 10.
    readonly property real cellWidth: Math.max(10, (grid.width - gutter) / 2)

    // Scrolls just far enough to show all of `item`, a card in the grid.
    function reveal(item: Item) {
        const top = item.mapToItem(flick.contentItem, 0, 0).y - Theme.margin;
        const bottom = top + item.height + 2 * Theme.margin;
        if (top < flick.contentY)
            flick.contentY = top;
        else if (bottom > flick.contentY + flick.height)
            flick.contentY = Math.min(bottom - flick.height, flick.contentHeight - flick.height);
    }

    // Places the cards row by row, two to a row, each row as tall as its
    // taller card, then tells each card whether it is on screen. Runs once
    // per batch of changes.
    function relayout() {
        let top = 0;
        for (let i = 0; i < cards.count; i += 2) {
            const left = cards.itemAt(i);
            const right = cards.itemAt(i + 1);
            if (!left)
                return;
            const rowHeight = Math.max(left.implicitHeight, right ? right.implicitHeight : 0);
            left.x = 0;
            left.y = top;
            left.height = rowHeight;
            if (right) {
                right.x = cellWidth + gutter;
                right.y = top;
                right.height = rowHeight;
            }
            top += rowHeight + gutter;
        }
        grid.height = Math.max(0, top - gutter);
        updateShown();
    }

    // A card is shown while the tab is and some of it lies in the viewport.
    function updateShown() {
        const viewTop = flick.contentY - grid.y;
        const viewBottom = viewTop + flick.height;
        const tabShown = view.visible && flick.height > 0;
        for (let i = 0; i < cards.count; ++i) {
            const card = cards.itemAt(i);
            if (card)
                card.shown = tabShown && card.height > 0 && card.y < viewBottom && card.y + card.height > viewTop;
        }
    }

    function scheduleLayout() {
        if (!layoutTimer.running)
            layoutTimer.start();
    }

    objectName: "trophyList"
    // Grouped: the white cards stand out against it.
    background: Rectangle { color: Theme.groupedBackground }
    // A scroll view is a pane to a screen reader, here the tab's page.
    Accessible.name: title
    ScrollBar.vertical.policy: ScrollBar.AsNeeded
    ScrollBar.horizontal.policy: ScrollBar.AlwaysOff

    onVisibleChanged: scheduleLayout()
    onCellWidthChanged: scheduleLayout()

    Flickable {
        id: flick
        objectName: "trophyFlick"
        contentWidth: width
        contentHeight: grid.height + 2 * Theme.margin
        flickableDirection: Flickable.VerticalFlick
        boundsBehavior: Flickable.StopAtBounds
        onContentYChanged: view.scheduleLayout()
        onHeightChanged: view.scheduleLayout()

        Item {
            id: grid
            objectName: "trophyGrid"
            width: Math.min(flick.width - 2 * Theme.margin, view.maximumGridWidth)
            x: (flick.width - width) / 2
            y: Theme.margin

            // Gathers the changes of one pass of the event loop into one
            // layout. (Kept in here: the scroll view takes its flickable to
            // be its only child.)
            Timer {
                id: layoutTimer
                interval: 0
                onTriggered: view.relayout()
            }

            Repeater {
                id: cards
                model: view.trophyModel
                onItemAdded: view.scheduleLayout()
                onItemRemoved: view.scheduleLayout()

                delegate: TrophyView {
                    trophyModel: view.trophyModel
                    width: view.cellWidth
                    onImplicitHeightChanged: view.scheduleLayout()
                    onActiveFocusChanged: if (activeFocus) view.reveal(this)
                }
            }
        }
    }
}
