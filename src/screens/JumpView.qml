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
        id: frameClock
    }

    ColumnLayout {
        // Full width on a phone; on a wide window a centred column.
        anchors.top: parent.top
        anchors.bottom: parent.bottom
        anchors.horizontalCenter: parent.horizontalCenter
        width: Math.min(parent.width, Theme.contentMaxWidth)
        spacing: 0

        // 1. Header: headphone dot and symbol, total jumps.
        RowLayout {
            Layout.fillWidth: true
            Layout.topMargin: 2

            // A small button: a tap, or Space or Enter with the focus on it,
            // checks the headphones again.
            Item {
                id: headphoneStatus
                objectName: "headphoneStatus"
                Layout.leftMargin: Theme.margin - 6
                implicitWidth: statusRow.implicitWidth + 12
                implicitHeight: statusRow.implicitHeight + 12
                activeFocusOnTab: true
                Keys.onPressed: (event) => {
                    if (event.key === Qt.Key_Space || event.key === Qt.Key_Return
                            || event.key === Qt.Key_Enter) {
                        event.accepted = true;
                        screen.jumpModel.checkHeadphonesConnection();
                    }
                }
                Accessible.role: Accessible.Button
                Accessible.name: screen.jumpModel.motionDevice === "phone"
                                 ? (screen.jumpModel.isHeadphonesConnected
                                    ? qsTr("Phone motion arriving") : qsTr("No phone motion"))
                                 : (screen.jumpModel.isHeadphonesConnected
                                    ? qsTr("Headphones connected") : qsTr("No headphones connected"))
                Accessible.onPressAction: screen.jumpModel.checkHeadphonesConnection()

                RowLayout {
                    id: statusRow
                    anchors.centerIn: parent
                    spacing: 8

                    Rectangle {
                        objectName: "headphoneDot"
                        Layout.preferredWidth: 8
                        Layout.preferredHeight: 8
                        radius: 4
                        color: screen.jumpModel.isHeadphonesConnected ? Theme.darkGreen : Theme.red
                    }
                    Image {
                        objectName: "motionDeviceSymbol"
                        source: screen.jumpModel.motionDevice === "phone" ? "images/phone.svg"
                                                                           : "images/headphones.svg"
                        sourceSize.width: 48
                        sourceSize.height: 48
                        Layout.preferredWidth: 24
                        Layout.preferredHeight: 24
                        Accessible.ignored: true
                    }
                }
                Rectangle {
                    anchors.fill: parent
                    radius: 8
                    color: "transparent"
                    border.width: Theme.focusRingWidth
                    border.color: Theme.focusRing
                    visible: headphoneStatus.activeFocus
                }
                TapHandler {
                    onTapped: screen.jumpModel.checkHeadphonesConnection()
                }
            }
            Item { Layout.fillWidth: true }
            Label {
                objectName: "totalJumps"
                Layout.rightMargin: Theme.margin
                text: qsTr("Total Jumps: ") + screen.jumpModel.totalJumps
                font.pixelSize: Theme.bodySize
            }
        }

        // Until the phone sends motion: where to send it, as text to copy
        // and as a QR code for the phone's camera.
        ColumnLayout {
            objectName: "pushSetup"
            visible: screen.jumpModel.showPushSetup
            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.margins: Theme.margin
            spacing: 8

            Label {
                Layout.fillWidth: true
                text: qsTr("In Sensor Logger on your phone, turn on HTTP Push and enter this URL, then start a recording:")
                wrapMode: Text.WordWrap
                horizontalAlignment: Text.AlignHCenter
            }
            Image {
                objectName: "pushQrCode"
                Layout.alignment: Qt.AlignHCenter
                // Small enough on a short screen to leave Start in view.
                readonly property int side: Math.max(96, Math.min(220, parent.width - 2 * Theme.margin,
                                                                screen.height * 0.28))
                Layout.preferredWidth: side
                Layout.preferredHeight: side
                sourceSize.width: side
                sourceSize.height: side
                source: screen.jumpModel.pushUrls.length > 0
                        ? "image://qr/" + encodeURIComponent(screen.jumpModel.pushUrls[0]) : ""
                smooth: false
                Accessible.role: Accessible.Graphic
                Accessible.name: qsTr("QR code of the push URL")
            }
            RowLayout {
                Layout.fillWidth: true
                // Every usable address, the local network's first: selectable.
                TextEdit {
                    objectName: "pushUrl"
                    Layout.fillWidth: true
                    text: screen.jumpModel.pushUrlText
                    readOnly: true
                    selectByMouse: true
                    wrapMode: TextEdit.WrapAnywhere
                    font.pixelSize: Theme.bodySize
                    color: "black"
                    Accessible.role: Accessible.EditableText
                    Accessible.name: text
                }
                Button {
                    objectName: "copyPushUrl"
                    Layout.alignment: Qt.AlignTop
                    text: qsTr("Copy")
                    Accessible.name: qsTr("Copy the URL")
                    onClicked: screen.jumpModel.copyPushUrl()
                }
            }
        }

        // 2. The live count.
        ColumnLayout {
            objectName: "countBlock"
            visible: !screen.jumpModel.showPushSetup
            Layout.fillWidth: true
            Layout.fillHeight: true
            spacing: 0

            Item { Layout.fillHeight: true }
            Text {
                id: count
                objectName: "jumpCount"
                Layout.fillWidth: true
                Layout.leftMargin: Theme.margin
                Layout.rightMargin: Theme.margin
                // The number gives up height first when the window is short,
                // so the controls below stay in view.
                Layout.fillHeight: true
                Layout.preferredHeight: 330
                Layout.maximumHeight: 330
                Layout.minimumHeight: 36
                font.pixelSize: 280
                renderType: Text.NativeRendering
                fontSizeMode: Text.Fit
                minimumPixelSize: 28
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
                wrapMode: Text.NoWrap
                maximumLineCount: 1
                Accessible.role: Accessible.StaticText
                Accessible.name: qsTr("%1 jumps").arg(screen.jumpModel.jumpCount)

                // Counting up: the new digits rise into place. The digits
                // change, and the rise steps, on the frame clock's ticks, so
                // they are drawn in the same frames as the chart.
                readonly property string latest: screen.jumpModel.jumpCount
                readonly property int riseMilliseconds: 350
                // How far the rise has come, 0 to 1.
                property real risen: 1
                property double riseStart: 0
                text: ""
                Component.onCompleted: text = latest
                onLatestChanged: frameClock.request()
                opacity: 0.4 + 0.6 * risen
                // Out-cubic: fast at first, settling into place.
                transform: Translate { y: 24 * Math.pow(1 - count.risen, 3) }
                Connections {
                    target: frameClock
                    function onTicked() {
                        const now = Date.now();
                        if (count.text !== count.latest) {
                            count.riseStart = now;
                            count.risen = 0;
                            count.text = count.latest;
                        } else if (count.risen < 1) {
                            count.risen = Math.min(1, (now - count.riseStart) / count.riseMilliseconds);
                        }
                        if (count.risen < 1)
                            frameClock.request();
                    }
                }
            }
            Label {
                Layout.alignment: Qt.AlignHCenter
                text: qsTr("Jumps")
                font.pixelSize: 36
            }
            // 3. While recording, as soon as the journal (the copy on disk a
            // crash leaves for the next start) cannot be written: one line
            // saying so, with the system's reason.
            Label {
                objectName: "journalWarning"
                Layout.fillWidth: true
                Layout.leftMargin: Theme.margin
                Layout.rightMargin: Theme.margin
                visible: screen.jumpModel.isRecording && screen.jumpModel.journalFailure !== ""
                text: qsTr("Not being kept safe: %1")
                      .arg(screen.failureReason(screen.jumpModel.journalFailure))
                color: Theme.darkRed
                font.pixelSize: Theme.subheadlineSize
                // One line: smaller on a narrow window before it is cut short.
                fontSizeMode: Text.HorizontalFit
                minimumPixelSize: Theme.captionSize
                maximumLineCount: 1
                elide: Text.ElideRight
                horizontalAlignment: Text.AlignHCenter
                Accessible.role: Accessible.AlertMessage
                Accessible.name: text
            }
            Item { Layout.fillHeight: true }
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
            clock: frameClock
            lineColor: Theme.appGreen
            textColor: Theme.secondaryText
            Accessible.role: Accessible.Chart
            Accessible.name: qsTr("Vertical acceleration")
        }

        // 6. Start / Stop, or the countdown ring; whichever shows holds the
        // keyboard focus of the screen.
        FocusScope {
            id: controlArea
            objectName: "controlArea"
            Layout.fillWidth: true
            Layout.preferredHeight: 120
            Layout.minimumHeight: 120
            focus: true
            // Whether the focus ring shows: after keyboard use, not after a tap.
            property bool showFocus: false

            Button {
                id: startStop
                objectName: "startStopButton"
                anchors.centerIn: parent
                visible: !screen.jumpModel.isStarting
                // Start waits while the last recording is being saved.
                enabled: !screen.saving
                focus: !screen.jumpModel.isStarting
                width: 100
                height: 100
                padding: 0
                focusPolicy: Qt.StrongFocus
                Accessible.role: Accessible.Button
                Accessible.name: screen.saving ? qsTr("Saving…")
                                               : screen.jumpModel.isRecording ? qsTr("Stop Jumping")
                                                                              : qsTr("Start")
                onClicked: screen.jumpModel.toggleRecording()
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
                    color: screen.jumpModel.isRecording ? Qt.alpha(Theme.darkRed, 0.2)
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
                            visible: !screen.jumpModel.isRecording && !screen.saving
                            text: qsTr("Start")
                            color: "black"
                            font.pixelSize: Theme.titleSize
                            font.bold: true
                        }
                        Label {
                            objectName: "savingLabel"
                            anchors.horizontalCenter: parent.horizontalCenter
                            visible: !screen.jumpModel.isRecording && screen.saving
                            text: qsTr("Saving…")
                            color: "black"
                            font.pixelSize: Theme.bodySize
                            font.bold: true
                        }
                        Label {
                            anchors.horizontalCenter: parent.horizontalCenter
                            visible: screen.jumpModel.isRecording
                            text: qsTr("Stop")
                            color: Theme.darkRed
                            font.pixelSize: Theme.bodySize
                        }
                        Label {
                            anchors.horizontalCenter: parent.horizontalCenter
                            visible: screen.jumpModel.isRecording
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
                visible: screen.jumpModel.isStarting
                focus: screen.jumpModel.isStarting
                showFocus: controlArea.showFocus
                countdown: screen.jumpModel.countdown
                onTapped: screen.jumpModel.cancelCountdown()
                PointHandler {
                    onActiveChanged: if (active) controlArea.showFocus = false
                }
            }
        }

        // After a stop that saved a recording, what was saved; it fades
        // after a few seconds or when the next recording starts. Its line is
        // kept so nothing moves when it comes and goes.
        Label {
            id: savedNote
            objectName: "savedConfirmation"
            readonly property string confirmation: screen.jumpModel.savedConfirmation
            property bool fresh: false
            Layout.fillWidth: true
            Layout.leftMargin: Theme.margin
            Layout.rightMargin: Theme.margin
            Layout.preferredHeight: Math.ceil(fontMetrics.height)
            text: confirmation
            color: Theme.darkGreen
            font.pixelSize: Theme.subheadlineSize
            horizontalAlignment: Text.AlignHCenter
            elide: Text.ElideRight
            opacity: fresh && confirmation !== "" && !screen.jumpModel.isStarting
                     && !screen.jumpModel.isRecording ? 1 : 0
            Behavior on opacity { NumberAnimation { duration: 400 } }
            Accessible.role: Accessible.StaticText
            Accessible.name: opacity > 0 ? text : ""
            onConfirmationChanged: {
                fresh = confirmation !== "";
                if (fresh) savedNoteTimer.restart();
            }
            FontMetrics {
                id: fontMetrics
                font.pixelSize: Theme.subheadlineSize
            }
            Timer {
                id: savedNoteTimer
                interval: 4000
                onTriggered: savedNote.fresh = false
            }
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
            onLatestChanged: frameClock.request()
            Connections {
                target: frameClock
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
