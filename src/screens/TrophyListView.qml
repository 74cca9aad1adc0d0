pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Hopster

// The "Trophies" tab: one card per trophy of the shared list, in list
// order, in two flexible columns that share the width, scrolling vertically.
ScrollView {
    id: view

    required property TrophyListModel trophyModel
    // The screen's title, for a container that shows one.
    readonly property string title: qsTr("Trophies")

    // Scrolls just far enough to show all of `item`, a card in the grid.
    function reveal(item: Item) {
        const top = item.mapToItem(flick.contentItem, 0, 0).y - Theme.margin;
        const bottom = top + item.height + 2 * Theme.margin;
        if (top < flick.contentY)
            flick.contentY = top;
        else if (bottom > flick.contentY + flick.height)
            flick.contentY = Math.min(bottom - flick.height, flick.contentHeight - flick.height);
    }

    objectName: "trophyList"
    Accessible.role: Accessible.List
    Accessible.name: title
    ScrollBar.vertical.policy: ScrollBar.AsNeeded
    ScrollBar.horizontal.policy: ScrollBar.AlwaysOff

    Flickable {
        id: flick
        contentWidth: width
        contentHeight: grid.implicitHeight + 2 * Theme.margin
        flickableDirection: Flickable.VerticalFlick
        boundsBehavior: Flickable.StopAtBounds

        GridLayout {
            id: grid
            x: Theme.margin
            y: Theme.margin
            width: flick.width - 2 * Theme.margin
            columns: 2
            columnSpacing: 20
            rowSpacing: 20

            Repeater {
                model: view.trophyModel

                // Each column gets half of what the spacing leaves; cards in
                // one row share the row's height.
                delegate: TrophyView {
                    trophyModel: view.trophyModel
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    Layout.minimumWidth: 10
                    Layout.preferredWidth: Math.max(10, (grid.width - grid.columnSpacing) / 2)
                    Layout.alignment: Qt.AlignHCenter | Qt.AlignTop
                    onActiveFocusChanged: if (activeFocus) view.reveal(this)
                }
            }
        }
    }
}
