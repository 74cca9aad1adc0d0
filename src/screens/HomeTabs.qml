import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Hopster

// The tab container: the jump screen, the trophy grid and the history list,
// opening on the first tab. Ctrl+Tab and Ctrl+Shift+Tab (or Ctrl+1..3)
// switch tabs from the keyboard.
Page {
    id: tabs

    required property JumpViewModel jumpModel
    required property TrophyListModel trophyModel
    required property HistoryModel historyModel
    property alias currentIndex: tabBar.currentIndex

    objectName: "homeTabs"
    palette.highlight: Theme.appGreen

    StackLayout {
        id: stack
        anchors.fill: parent
        currentIndex: tabBar.currentIndex

        JumpView {
            jumpModel: tabs.jumpModel
            active: StackLayout.isCurrentItem
        }
        TrophyListView {
            trophyModel: tabs.trophyModel
        }
        SavedDataView {
            historyModel: tabs.historyModel
            active: StackLayout.isCurrentItem
        }
    }

    footer: TabBar {
        id: tabBar
        objectName: "tabBar"
        Accessible.name: qsTr("Tabs")
        position: TabBar.Footer

        Repeater {
            model: [
                { "label": qsTr("Jump"), "icon": "images/tab-jump.svg", "name": "jumpTab" },
                { "label": qsTr("Trophies"), "icon": "images/tab-trophy.svg", "name": "trophiesTab" },
                { "label": qsTr("History"), "icon": "images/tab-history.svg", "name": "historyTab" }
            ]
            TabButton {
                required property var modelData
                objectName: modelData.name
                text: modelData.label
                icon.source: modelData.icon
                icon.width: 26
                icon.height: 26
                icon.color: checked ? Theme.appGreen : Theme.gray
                display: AbstractButton.TextUnderIcon
                Accessible.role: Accessible.PageTab
                Accessible.name: modelData.label
            }
        }
    }

    Shortcut {
        sequence: "Ctrl+Tab"
        onActivated: tabBar.currentIndex = (tabBar.currentIndex + 1) % 3
    }
    Shortcut {
        sequences: ["Ctrl+Shift+Tab", "Ctrl+Backtab"]
        onActivated: tabBar.currentIndex = (tabBar.currentIndex + 2) % 3
    }
    Shortcut { sequence: "Ctrl+1"; onActivated: tabBar.currentIndex = 0 }
    Shortcut { sequence: "Ctrl+2"; onActivated: tabBar.currentIndex = 1 }
    Shortcut { sequence: "Ctrl+3"; onActivated: tabBar.currentIndex = 2 }
}
