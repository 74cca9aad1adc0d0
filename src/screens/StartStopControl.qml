import QtQuick
import QtQuick.Controls
import Hopster

// Start / Stop, or the countdown ring in its place; whichever shows holds
// the keyboard focus of the area.
FocusScope {
    id: controlArea
    required property JumpViewModel jumpModel
    // A save is running: Start waits for it.
    property bool saving: false

    objectName: "controlArea"
    // Whether the focus ring shows: after keyboard use, not after a tap.
    property bool showFocus: false

    Button {
        id: startStop
        objectName: "startStopButton"
        anchors.centerIn: parent
        visible: !controlArea.jumpModel.isStarting
        // Start waits while the last recording is being saved.
        enabled: !controlArea.saving
        focus: !controlArea.jumpModel.isStarting
        width: 100
        height: 100
        padding: 0
        focusPolicy: Qt.StrongFocus
        Accessible.role: Accessible.Button
        Accessible.name: controlArea.saving ? qsTr("Saving…")
                                       : controlArea.jumpModel.isRecording ? qsTr("Stop Jumping")
                                                                      : qsTr("Start")
        // A screen reader's press (not only a tap or a key) starts and stops.
        Accessible.onPressAction: startStop.clicked()
        onClicked: controlArea.jumpModel.toggleRecording()
        onVisualFocusChanged: if (visualFocus) controlArea.showFocus = true
        // Space presses it as any button; Enter and Return click too.
        Keys.onPressed: (event) => {
            controlArea.showFocus = true;
            event.accepted = event.key === Qt.Key_Return || event.key === Qt.Key_Enter;
            if (event.accepted)
                startStop.clicked();
        }
        PointHandler {
            onActiveChanged: if (active) controlArea.showFocus = false
        }
        // Back from disabled, the button takes the focus it lost.
        onEnabledChanged: if (enabled && controlArea.activeFocus) forceActiveFocus()

        background: Rectangle {
            radius: 50
            color: controlArea.jumpModel.isRecording ? Qt.alpha(Theme.darkRed, 0.2)
                                                : startStop.down ? Qt.darker(Theme.appGreen, 1.15)
                                                                 : Theme.appGreen
            opacity: startStop.enabled ? 1.0 : 0.5
            // The keyboard focus, a ring just outside the disc.
            Rectangle {
                anchors.centerIn: parent
                width: parent.width + 4 * Theme.focusRingWidth
                height: width
                radius: width / 2
                color: "transparent"
                border.width: Theme.focusRingWidth
                border.color: Theme.focusRing
                visible: startStop.visualFocus
                         || (startStop.activeFocus && controlArea.showFocus)
            }
        }
        contentItem: Item {
            Column {
                objectName: "startStopLabel"
                anchors.centerIn: parent
                Label {
                    anchors.horizontalCenter: parent.horizontalCenter
                    visible: !controlArea.jumpModel.isRecording && !controlArea.saving
                    text: qsTr("Start")
                    color: "black"
                    font.pixelSize: Theme.titleSize
                    font.bold: true
                }
                Label {
                    objectName: "savingLabel"
                    anchors.horizontalCenter: parent.horizontalCenter
                    visible: !controlArea.jumpModel.isRecording && controlArea.saving
                    text: qsTr("Saving…")
                    color: "black"
                    font.pixelSize: Theme.bodySize
                    font.bold: true
                }
                Label {
                    anchors.horizontalCenter: parent.horizontalCenter
                    visible: controlArea.jumpModel.isRecording
                    text: qsTr("Stop")
                    color: Theme.darkRed
                    font.pixelSize: Theme.bodySize
                }
                Label {
                    anchors.horizontalCenter: parent.horizontalCenter
                    visible: controlArea.jumpModel.isRecording
                    text: qsTr("Jumping")
                    color: Theme.darkRed
                    font.pixelSize: Theme.bodySize
                }
            }
        }
    }

    CountdownRing {
        objectName: "countdownRing"
        anchors.centerIn: parent
        visible: controlArea.jumpModel.isStarting
        focus: controlArea.jumpModel.isStarting
        showFocus: controlArea.showFocus
        countdown: controlArea.jumpModel.countdown
        onTapped: controlArea.jumpModel.cancelCountdown()
        PointHandler {
            onActiveChanged: if (active) controlArea.showFocus = false
        }
    }
}
