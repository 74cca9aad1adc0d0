import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QtCharts
import Hopster

// The jump screen: headphone status and total, the live count, the chart of
// vertical acceleration, Start / Stop or the countdown ring, the elapsed
// time, the two alerts and the trophy popup. It only draws the view model's
// state and forwards taps to it.
Item {
    id: screen

    required property JumpViewModel jumpModel
    // Whether the Jump tab is the one on display.
    property bool active: true

    objectName: "jumpView"

    onActiveChanged: if (active) jumpModel.screenAppeared()
    Component.onCompleted: if (active) jumpModel.screenAppeared()

    // Space or Enter taps Start / Stop while the button is offered.
    Keys.onPressed: (event) => {
        if (event.key !== Qt.Key_Space && event.key !== Qt.Key_Return && event.key !== Qt.Key_Enter)
            return;
        event.accepted = true;
        if (!screen.jumpModel.isStarting)
            screen.jumpModel.toggleRecording();
    }
    focus: active

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        // 1. Header: headphone dot and symbol, total jumps.
        RowLayout {
            Layout.fillWidth: true
            Layout.topMargin: 8

            RowLayout {
                id: headphoneStatus
                objectName: "headphoneStatus"
                Layout.leftMargin: Theme.margin
                spacing: 8
                Accessible.role: Accessible.Button
                Accessible.name: screen.jumpModel.motionDevice === "phone"
                                 ? (screen.jumpModel.isHeadphonesConnected
                                    ? qsTr("Phone motion arriving") : qsTr("No phone motion"))
                                 : (screen.jumpModel.isHeadphonesConnected
                                    ? qsTr("Headphones connected") : qsTr("No headphones connected"))
                Accessible.onPressAction: screen.jumpModel.checkHeadphonesConnection()

                Rectangle {
                    objectName: "headphoneDot"
                    Layout.preferredWidth: 8
                    Layout.preferredHeight: 8
                    radius: 4
                    color: screen.jumpModel.isHeadphonesConnected ? Theme.green : Theme.red
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
                Layout.preferredHeight: Math.min(paintedHeight, 300)
                text: screen.jumpModel.jumpCount
                font.pixelSize: 280
                fontSizeMode: Text.HorizontalFit
                minimumPixelSize: 28
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.NoWrap
                maximumLineCount: 1
                Accessible.role: Accessible.StaticText
                Accessible.name: qsTr("%1 jumps").arg(screen.jumpModel.jumpCount)

                // Counting up: the new digits rise into place.
                transform: Translate { id: rise }
                onTextChanged: countAnimation.restart()
                ParallelAnimation {
                    id: countAnimation
                    NumberAnimation { target: rise; property: "y"; from: 24; to: 0; duration: 350; easing.type: Easing.OutCubic }
                    NumberAnimation { target: count; property: "opacity"; from: 0.4; to: 1; duration: 350 }
                }
            }
            Label {
                Layout.alignment: Qt.AlignHCenter
                text: qsTr("Jumps")
                font.pixelSize: 36
            }
            Item { Layout.fillHeight: true }
        }

        // 4. The live chart, fixed from -4 to 4 g.
        ChartView {
            id: chart
            objectName: "accelerationChart"
            // Nothing to draw before the phone streams; the set-up takes its room.
            visible: !screen.jumpModel.showPushSetup
            Layout.fillWidth: true
            Layout.preferredHeight: 100 + 2 * Theme.margin
            Layout.margins: 0
            antialiasing: true
            legend.visible: false
            backgroundColor: "transparent"
            margins { left: Theme.margin; right: Theme.margin; top: 4; bottom: 4 }
            Accessible.role: Accessible.Chart
            Accessible.name: qsTr("Vertical acceleration")

            // The axes (a fixed -4 to 4 g scale, times along the bottom) are
            // set up by the view model on the series' chart.
            LineSeries {
                id: series
                name: qsTr("G-force")
                color: Theme.appGreen
                width: 2
            }
            Component.onCompleted: screen.jumpModel.fillSeries(series)
            Connections {
                target: screen.jumpModel
                function onChartChanged() {
                    screen.jumpModel.fillSeries(series);
                }
            }
        }

        // 6. Start / Stop, or the countdown ring.
        Item {
            Layout.fillWidth: true
            Layout.preferredHeight: 120

            RoundButton {
                id: startStop
                objectName: "startStopButton"
                anchors.centerIn: parent
                visible: !screen.jumpModel.isStarting
                width: 100
                height: 100
                flat: true
                focusPolicy: Qt.NoFocus
                Accessible.role: Accessible.Button
                Accessible.name: screen.jumpModel.isRecording ? qsTr("Stop Jumping") : qsTr("Start")
                onClicked: screen.jumpModel.toggleRecording()

                background: Rectangle {
                    radius: 50
                    color: screen.jumpModel.isRecording ? Qt.rgba(1, 0.23, 0.19, 0.2) : Theme.appGreen
                }
                contentItem: Column {
                    anchors.centerIn: parent
                    Label {
                        anchors.horizontalCenter: parent.horizontalCenter
                        visible: !screen.jumpModel.isRecording
                        text: qsTr("Start")
                        color: "black"
                        font.pixelSize: Theme.titleSize
                        font.bold: true
                    }
                    Label {
                        anchors.horizontalCenter: parent.horizontalCenter
                        visible: screen.jumpModel.isRecording
                        text: qsTr("Stop")
                        color: Theme.red
                        font.pixelSize: Theme.bodySize
                    }
                    Label {
                        anchors.horizontalCenter: parent.horizontalCenter
                        visible: screen.jumpModel.isRecording
                        text: qsTr("Jumping")
                        color: Theme.red
                        font.pixelSize: Theme.bodySize
                    }
                }
            }

            CountdownRing {
                objectName: "countdownRing"
                anchors.centerIn: parent
                visible: screen.jumpModel.isStarting
                countdown: screen.jumpModel.countdown
                onTapped: screen.jumpModel.cancelCountdown()
            }
        }

        // 7. Elapsed time.
        Label {
            objectName: "elapsedTime"
            Layout.alignment: Qt.AlignHCenter
            Layout.bottomMargin: Theme.margin
            text: screen.jumpModel.elapsedText
            color: Theme.gray
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
        message: qsTr("Your jumps could not be saved: %1").arg(screen.jumpModel.saveFailure)
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
