import QtQuick
import QtQuick.Controls
import Hopster

// The first-run pages' main button: 275 × 54, rounded by 12, filled with the
// app colour, its label centred in bold black. Tab focuses it; Space, Enter
// or Return presses it.
Button {
    id: button

    // The label's text size (a text style's size from Theme).
    property int textSize: Theme.title3Size

    implicitWidth: 275
    implicitHeight: 54
    padding: 0
    focusPolicy: Qt.StrongFocus
    Accessible.role: Accessible.Button
    Accessible.name: text
    // A screen reader's press clicks, as a tap does.
    Accessible.onPressAction: button.clicked()

    Keys.onReturnPressed: button.clicked()
    Keys.onEnterPressed: button.clicked()

    background: Rectangle {
        radius: 12
        color: button.down ? Qt.darker(Theme.appGreen, 1.15) : Theme.appGreen
        // The keyboard focus: a ring just outside the edge.
        Rectangle {
            anchors.fill: parent
            anchors.margins: -2 * Theme.focusRingWidth
            radius: parent.radius + 2 * Theme.focusRingWidth
            color: "transparent"
            border.width: Theme.focusRingWidth
            border.color: Theme.focusRing
            visible: button.visualFocus
        }
    }
    contentItem: Text {
        text: button.text
        font.pixelSize: button.textSize
        font.bold: true
        color: "black"
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }
}
