import QtQuick
import QtQuick.Controls
import Hopster

// A small bordered button (the recording screen's Back and zoom buttons),
// its keyboard focus a ring in place of the border. Tab focuses it; Space,
// Enter or Return presses it.
Button {
    id: small

    focusPolicy: Qt.StrongFocus
    font.pixelSize: Theme.subheadlineSize
    Accessible.role: Accessible.Button
    Accessible.name: text
    // A screen reader's press clicks, as a tap does.
    Accessible.onPressAction: small.clicked()
    Keys.onReturnPressed: small.clicked()
    Keys.onEnterPressed: small.clicked()

    background: Rectangle {
        implicitWidth: 44
        implicitHeight: 36
        radius: 8
        color: small.down ? Theme.groupedBackground : Theme.background
        opacity: small.enabled ? 1 : 0.5
        border.width: small.visualFocus ? Theme.focusRingWidth : 1
        border.color: small.visualFocus ? Theme.focusRing : Theme.separator
    }
}
