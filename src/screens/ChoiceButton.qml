import QtQuick
import QtQuick.Controls
import Qt5Compat.GraphicalEffects
import Hopster

// A choice on the reminder page: a black 140 × 54 face inside a 144 × 57 rim
// of the accent colour, both rounded by 12, the label in bold accent colour
// with a soft white glow. Made narrower, it keeps the rim's thickness. Tab
// focuses it; Space, Enter or Return presses it.
Button {
    id: button

    property color accent: Theme.appGreen

    implicitWidth: 144
    implicitHeight: 57
    focusPolicy: Qt.StrongFocus
    Accessible.role: Accessible.Button
    Accessible.name: text
    // A screen reader's press clicks, as a tap does.
    Accessible.onPressAction: button.clicked()

    Keys.onReturnPressed: button.clicked()
    Keys.onEnterPressed: button.clicked()

    background: Rectangle {
        implicitWidth: 144
        implicitHeight: 57
        radius: 12
        color: button.accent
        opacity: button.down ? 0.7 : 1.0

        Rectangle {
            anchors.centerIn: parent
            width: parent.width - 4
            height: parent.height - 3
            radius: 12
            color: "black"
            // The keyboard focus shows as a white ring inside the rim.
            border.width: button.visualFocus ? 2 : 0
            border.color: "white"
        }
    }
    // The glow is a shader; the software renderer draws the plain label.
    readonly property bool effects: GraphicsInfo.api !== GraphicsInfo.Software

    contentItem: label

    Text {
        id: label
        text: button.text
        font.pixelSize: Theme.title3Size
        font.bold: true
        color: button.accent
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
        visible: !button.effects
    }
    DropShadow {
        anchors.fill: label
        source: label
        visible: button.effects
        radius: 2
        samples: 5
        color: Qt.rgba(1, 1, 1, 0.5)
        horizontalOffset: 0
        verticalOffset: 0
        transparentBorder: true
    }
}
