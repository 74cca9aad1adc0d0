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

    Keys.onReturnPressed: button.clicked()
    Keys.onEnterPressed: button.clicked()

    background: Rectangle {
        radius: 12
        color: Theme.appGreen
        // The keyboard focus shows as a white ring inside the edge.
        border.width: button.visualFocus ? 3 : 0
        border.color: "white"
        opacity: button.down ? 0.7 : 1.0
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
