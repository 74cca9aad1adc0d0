import QtQuick
import QtQuick.Shapes
import Hopster

// The countdown in place of the Start button: a pale green disc, a ring that
// fills clockwise from the top by a third each second, and the number. A tap
// anywhere on it cancels.
Item {
    id: ring

    property int countdown: 3
    // The share of the ring drawn: empty at 3, full at 0.
    readonly property real progress: Math.max(0, Math.min(3, 3 - countdown)) / 3
    property real drawnProgress: progress
    signal tapped()

    width: 100
    height: 100
    Accessible.role: Accessible.Button
    Accessible.name: qsTr("Starting in %1, tap to cancel").arg(countdown)
    Accessible.onPressAction: ring.tapped()

    Behavior on drawnProgress { NumberAnimation { duration: 750; easing.type: Easing.OutQuad } }

    Rectangle {
        anchors.fill: parent
        radius: width / 2
        color: Qt.rgba(0.2, 0.78, 0.35, 0.2)
    }
    Shape {
        anchors.fill: parent
        antialiasing: true
        ShapePath {
            strokeColor: Theme.green
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
        color: Theme.green
        font.pixelSize: Theme.largeTitleSize
        font.weight: Font.DemiBold
    }
    TapHandler {
        onTapped: ring.tapped()
    }
}
