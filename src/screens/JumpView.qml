import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Hopster

// The jump screen: headphone status and total, the live count, the chart of
// vertical acceleration, Start / Stop or the countdown ring, the elapsed
// time, the two alerts and the trophy popup. It only draws the view model's
// state and forwards taps to it. The keyboard focus starts on Start / Stop
// (or the countdown ring while it shows), so Space or Enter starts and stops
// at once; Tab reaches every control.
FocusScope {
    id: screen
    // Named after its tab, for a screen reader.
    Accessible.role: Accessible.Pane
    Accessible.name: qsTr("Jump")

    required property JumpViewModel jumpModel
    // Whether the Jump tab is the one on display.
    property bool active: true
    // A save of the last recording is running; Start waits for it.
    readonly property bool saving: screen.jumpModel.isSaving

    objectName: "jumpView"

    // The Start / Stop button's appearance: when the tab is opened, unless
    // the countdown ring stands in its place (the button's own return after
    // the countdown is seen to by the view model).
    onActiveChanged: if (active && !jumpModel.isStarting) jumpModel.screenAppeared()
    Component.onCompleted: if (active && !jumpModel.isStarting) jumpModel.screenAppeared()

    // The system's reason from a failure text such as "Could not write
    // /some/file.tmp: No space left on device", without the path.
    function failureReason(failure: string): string {
        const cut = failure.lastIndexOf(": ");
        const reason = cut >= 0 ? failure.slice(cut + 2) : failure;
        return reason.length > 0 ? reason.charAt(0).toUpperCase() + reason.slice(1) : "";
    }

    // Space or Enter taps Start / Stop while the button is offered, also when
    // no control of the screen holds the focus.
    Keys.onPressed: (event) => {
        if (event.key !== Qt.Key_Space && event.key !== Qt.Key_Return && event.key !== Qt.Key_Enter)
            return;
        // Keys another control let through (Enter on Copy, say) are not a tap on Start.
        const focused = screen.Window.activeFocusItem;
        if (focused !== screen && focused !== controlArea)
            return;
        event.accepted = true;
        if (!screen.jumpModel.isStarting && !screen.saving)
            screen.jumpModel.toggleRecording();
    }

    // Paces all that moves while recording (the count's rise, the chart) to
    // shared frames: a tick at most every 60 ms while anything asks.
    FrameClock {
        id: jumpClock
    }

    ColumnLayout {
        // Full width on a phone; on a wide window a centred column.
        anchors.top: parent.top
        anchors.bottom: parent.bottom
        anchors.horizontalCenter: parent.horizontalCenter
        width: Math.min(parent.width, Theme.contentMaxWidth)
        spacing: 0

        // 1. Header: headphone dot and symbol, total jumps.
        JumpHeader {
            Layout.fillWidth: true
            Layout.topMargin: 2
            jumpModel: screen.jumpModel
        }

        // Until the phone sends motion: where to send it, as text to copy
        // and as a QR code for the phone's camera.
        PushSetupPanel {
            visible: screen.jumpModel.showPushSetup
            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.margins: Theme.margin
            jumpModel: screen.jumpModel
            screenHeight: screen.height
        }

        // 2. The live count.
        LiveCount {
            visible: !screen.jumpModel.showPushSetup
            Layout.fillWidth: true
            Layout.fillHeight: true
            jumpModel: screen.jumpModel
            frameClock: jumpClock
            journalReason: screen.failureReason(screen.jumpModel.journalFailure)
        }

        // 4. The live chart, fixed from -4 to 4 g.
        AccelerationChart {
            id: chart
            objectName: "accelerationChart"
            // Nothing to draw before the phone streams; the set-up takes its room.
            visible: !screen.jumpModel.showPushSetup
            Layout.fillWidth: true
            Layout.preferredHeight: 100
            Layout.margins: Theme.margin
            model: screen.jumpModel
            clock: jumpClock
            lineColor: Theme.appGreen
            textColor: Theme.secondaryText
            gridColor: Theme.separator
            Accessible.role: Accessible.Chart
            Accessible.name: qsTr("Vertical acceleration")
        }

        // 6. Start / Stop, or the countdown ring; whichever shows holds the
        // keyboard focus of the screen.
        StartStopControl {
            id: controlArea
            Layout.fillWidth: true
            Layout.preferredHeight: 120
            Layout.minimumHeight: 120
            focus: true
            jumpModel: screen.jumpModel
            saving: screen.saving
        }

        // After a stop that saved a recording, what was saved; it fades
        // after a few seconds or when the next recording starts. Its line is
        // kept so nothing moves when it comes and goes.
        SavedNote {
            Layout.fillWidth: true
            Layout.leftMargin: Theme.margin
            Layout.rightMargin: Theme.margin
            jumpModel: screen.jumpModel
        }

        // 7. Elapsed time.
        Label {
            id: elapsed
            objectName: "elapsedTime"
            Layout.alignment: Qt.AlignHCenter
            Layout.bottomMargin: Theme.margin
            // Changes on the frame clock's tick, in a frame drawn anyway
            // while recording.
            readonly property string latest: screen.jumpModel.elapsedText
            text: ""
            Component.onCompleted: text = latest
            onLatestChanged: jumpClock.request()
            Connections {
                target: jumpClock
                function onTicked() {
                    elapsed.text = elapsed.latest;
                }
            }
            color: Theme.secondaryText
            font.pixelSize: Theme.bodySize
            Accessible.name: qsTr("Elapsed time %1").arg(screen.jumpModel.elapsedText)
        }
    }

    AlertDialog {
        objectName: "headphoneAlert"
        shown: screen.jumpModel.showHeadphoneAlert
        title: qsTr("No Headphones Connected")
        message: qsTr("Please connect your headphones")
        acceptText: qsTr("OK")
        onClosed: screen.jumpModel.showHeadphoneAlert = false
    }

    AlertDialog {
        objectName: "motionAccessAlert"
        shown: screen.jumpModel.showAlertMotionAccess
        title: qsTr("Motion Access Required")
        message: qsTr("Please enable motion access in Settings.")
        acceptText: qsTr("Settings")
        rejectText: qsTr("Cancel")
        onAccepted: screen.jumpModel.openSettings()
        onClosed: screen.jumpModel.showAlertMotionAccess = false
    }

    AlertDialog {
        objectName: "motionSourceAlert"
        shown: screen.jumpModel.motionSourceError !== ""
        title: qsTr("Motion Source Unavailable")
        message: screen.jumpModel.motionSourceError
        acceptText: qsTr("OK")
    }

    // A stopped recording that could not be saved: the user decides, and
    // Start waits until then. Escape does not close it, as either choice matters.
    AlertDialog {
        id: saveFailureAlert
        objectName: "saveFailureAlert"
        shown: screen.jumpModel.hasSaveFailure
        closePolicy: Popup.NoAutoClose
        title: qsTr("Recording Not Saved")
        // What is on disk for the next start, as the journal holds it, never
        // more than that.
        message: screen.jumpModel.keptJumps + " " + qsTr("Try saving again, or discard them.")
        detail: qsTr("Reason: %1").arg(screen.failureReason(screen.jumpModel.saveFailure))
        acceptText: qsTr("Try Again")
        rejectText: qsTr("Discard")
        onAccepted: screen.jumpModel.retrySave()
        onRejected: screen.jumpModel.discardRecording()
        // A retry that fails again brings the alert back.
        onClosed: if (screen.jumpModel.hasSaveFailure) reopenSaveFailure.start()
    }
    Timer {
        id: reopenSaveFailure
        interval: 0
        onTriggered: saveFailureAlert.open()
    }
    Connections {
        target: screen.jumpModel
        function onSaveFailureChanged() {
            if (screen.jumpModel.hasSaveFailure) saveFailureAlert.open()
        }
    }

    // The trophy popup slides in from the top over everything, fading in.
    Item {
        id: popupLayer
        anchors.fill: parent
        z: 1
        readonly property bool shown: screen.jumpModel.showTrophyAlert && screen.jumpModel.hasUnlockedTrophy
        visible: opacity > 0
        opacity: shown ? 1 : 0
        Behavior on opacity { NumberAnimation { duration: 600; easing.type: Easing.InOutQuad } }

        TrophyAlertView {
            objectName: "trophyAlert"
            anchors.horizontalCenter: parent.horizontalCenter
            width: parent.width
            y: popupLayer.shown ? (parent.height - height) / 2 : -height
            Behavior on y { NumberAnimation { duration: 600; easing.type: Easing.InOutQuad } }
            trophy: screen.jumpModel.unlockedTrophy
            onDismissed: screen.jumpModel.showTrophyAlert = false
        }
    }
}
