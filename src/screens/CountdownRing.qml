import QtQuick
import QtQuick.Shapes
import Hopster

// The countdown in place of the Start button: a pale green disc, a ring that
// fills clockwise from the top by a third each second, and the number. A tap
// anywhere on it, or Space, Enter or Escape while it has the keyboard focus,
// cancels.
Item {
    id: ring

    property int countdown: 3
    // The share of the ring drawn: empty at 3, full at 0.
    readonly property real progress: Math.max(0, Math.min(3, 3 - countdown)) / 3
    property real drawnProgress: progress
    // Whether keyboard focus is drawn (a ring around the disc).
    property bool showFocus: true
    signal tapped()

    width: 100
    height: 100
    Accessible.role: Accessible.Button
    Accessible.name: qsTr("Starting in %1, tap to cancel").arg(countdown)
    Accessible.onPressAction: ring.tapped()
    activeFocusOnTab: true

    Keys.onPressed: (event) => {
        if (event.key === Qt.Key_Space || event.key === Qt.Key_Return || event.key === Qt.Key_Enter
                || event.key === Qt.Key_Escape) {
            event.accepted = true;
            ring.tapped();
        }
    }

    Behavior on drawnProgress { NumberAnimation { duration: 750; easing.type: Easing.OutQuad } }

    Rectangle {
        anchors.fill: parent
        radius: width / 2
        color: Qt.alpha(Theme.darkGreen, 0.2)
    }
    // The keyboard focus, a ring just outside the disc.
    Rectangle {
        anchors.centerIn: parent
        // Clear of the progress ring's stroke, which reaches past the disc.
        width: parent.width + 7 + 4 * Theme.focusRingWidth
        height: width
        radius: width / 2
        color: "transparent"
        border.width: Theme.focusRingWidth
        border.color: Theme.focusRing
        visible: ring.activeFocus && ring.showFocus
    }
    Shape {
        anchors.fill: parent
        antialiasing: true
        ShapePath {
            strokeColor: Theme.darkGreen
            strokeWidth: 7
            fillColor: "transparent"
            capStyle: ShapePath.RoundCap
            joinStyle: ShapePath.MiterJoin
            PathAngleArc {
                centerX: ring.width / 2
                centerY: ring.height / 2
                radiusX: ring.width / 2
                radiusY: ring.height / 2
                startAngle: -90
                sweepAngle: 360 * ring.drawnProgress
            }
        }
    }
    Text {
        objectName: "countdownNumber"
        anchors.centerIn: parent
        text: String(ring.countdown)
        color: Theme.darkGreen
        font.pixelSize: Theme.largeTitleSize
        font.weight: Font.DemiBold
    }
    TapHandler {
        onTapped: ring.tapped()
    }
}
