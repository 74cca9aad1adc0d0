pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Controls.impl
import QtQuick.Layouts
import Hopster

// The tab container: the jump screen, the trophy grid and the history list,
// opening on the first tab with the keyboard focus on the jump screen. A flat
// tab bar along the bottom, each tab an icon over its label, the selected one
// tinted green. Ctrl+Tab and Ctrl+Shift+Tab (or Ctrl+1..3) switch tabs from
// the keyboard; Tab also reaches the tabs, where Space, Enter or the arrow
// keys select.
Page {
    id: tabs

    required property JumpViewModel jumpModel
    required property TrophyListModel trophyModel
    required property HistoryModel historyModel
    property alias currentIndex: tabBar.currentIndex

    objectName: "homeTabs"
    // Only a frame for the pages and the tab bar: a screen reader goes
    // straight from the window to them.
    Accessible.ignored: true
    focus: true
    palette.highlight: Theme.appGreen
    // The window's own colour shows through: a full-window background here
    // would only be painted over it again on every frame.
    background: null

    StackLayout {
        id: stack
        anchors.fill: parent
        currentIndex: tabBar.currentIndex
        // A tab switched from the tab bar leaves the focus on the tab bar;
        // otherwise (a shortcut, a tap) the new screen takes it.
        onCurrentIndexChanged: {
            if (!tabBar.activeFocus && tabs.activeFocus)
                stack.children[currentIndex].forceActiveFocus();
        }

        JumpView {
            jumpModel: tabs.jumpModel
            active: StackLayout.isCurrentItem
            focus: true
        }
        TrophyListView {
            trophyModel: tabs.trophyModel
        }
        // A Page tells a screen reader it is a page tab, whatever its
        // Accessible.role says; the pane around it is the tab's page instead,
        // named after its tab as the other two are.
        FocusScope {
            id: historyPage
            Accessible.role: Accessible.Pane
            Accessible.name: qsTr("History")

            SavedDataView {
                anchors.fill: parent
                focus: true
                historyModel: tabs.historyModel
                active: historyPage.StackLayout.isCurrentItem
                Accessible.ignored: true
            }
        }
    }

    footer: TabBar {
        id: tabBar
        objectName: "tabBar"
        Accessible.name: qsTr("Tabs")
        position: TabBar.Footer
        spacing: 0
        // On a wide window the three tabs keep to the content width, centred.
        leftPadding: Math.max(0, (width - Theme.contentMaxWidth) / 2)
        rightPadding: leftPadding
        topPadding: 1
        bottomPadding: 4

        background: Rectangle {
            color: Theme.tabBarBackground
            Rectangle {
                width: parent.width
                height: 1
                color: Theme.separator
            }
        }

        Repeater {
            model: [
                { "label": qsTr("Jump"), "icon": "images/tab-jump.svg", "name": "jumpTab" },
                { "label": qsTr("Trophies"), "icon": "images/tab-trophy.svg", "name": "trophiesTab" },
                { "label": qsTr("History"), "icon": "images/tab-history.svg", "name": "historyTab" }
            ]
            TabButton {
                id: tab

                required property var modelData
                // Selected tabs are dark green, the others grey: icon and label alike.
                readonly property color tint: checked ? Theme.darkGreen : Theme.secondaryText

                objectName: modelData.name
                text: modelData.label
                icon.source: modelData.icon
                focusPolicy: Qt.StrongFocus
                implicitHeight: 56
                padding: 4
                Accessible.role: Accessible.PageTab
                Accessible.name: modelData.label
                // Qt offers a page tab no press action of its own.
                Accessible.onPressAction: tabBar.setCurrentIndex(TabBar.index)
                Keys.onReturnPressed: tabBar.setCurrentIndex(TabBar.index)
                Keys.onEnterPressed: tabBar.setCurrentIndex(TabBar.index)
                // Left and Right step through the tabs, selecting as they go.
                Keys.onLeftPressed: tabs.stepTab(-1)
                Keys.onRightPressed: tabs.stepTab(1)

                contentItem: ColumnLayout {
                    spacing: 2
                    IconImage {
                        objectName: tab.modelData.name + "Icon"
                        Layout.alignment: Qt.AlignHCenter
                        Layout.preferredWidth: 26
                        Layout.preferredHeight: 26
                        source: tab.icon.source
                        sourceSize.width: 52
                        sourceSize.height: 52
                        color: tab.tint
                        Accessible.ignored: true
                    }
                    Text {
                        objectName: tab.modelData.name + "Label"
                        Layout.fillWidth: true
                        text: tab.text
                        color: tab.tint
                        font.pixelSize: 12
                        font.weight: tab.checked ? Font.DemiBold : Font.Medium
                        horizontalAlignment: Text.AlignHCenter
                        elide: Text.ElideRight
                    }
                }
                background: Item {
                    // The keyboard focus: a rounded ring inside the tab, so
                    // nothing clips it.
                    Rectangle {
                        anchors.fill: parent
                        anchors.margins: 2
                        radius: 10
                        color: "transparent"
                        border.width: Theme.focusRingWidth
                        border.color: Theme.focusRing
                        visible: tab.visualFocus
                    }
                }
            }
        }
    }

    // Focus first, as a keyboard move: selecting hands the focus to the
    // selected tab as well, but with no reason that shows it.
    function stepTab(step: int) {
        const next = (tabBar.currentIndex + 3 + step) % 3;
        tabBar.itemAt(next).forceActiveFocus(Qt.TabFocusReason);
        tabBar.setCurrentIndex(next);
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
