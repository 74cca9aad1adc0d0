import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Hopster

// The live count, rising into place as it grows on the frame clock's ticks,
// and under it, while recording, the line that says the journal cannot be
// written.
ColumnLayout {
    id: root
    required property JumpViewModel jumpModel
    required property FrameClock frameClock
    // Why the journal cannot be written, without its path; "" while it is.
    property string journalReason: ""

    objectName: "countBlock"
    spacing: 0

    Item { Layout.fillHeight: true }
    Text {
        id: count
        objectName: "jumpCount"
        color: Theme.text
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
        Accessible.name: root.jumpModel.jumpCount === "1" ? qsTr("1 jump")
                                                          : qsTr("%1 jumps").arg(root.jumpModel.jumpCount)

        // Counting up: the new digits rise into place. The digits
        // change, and the rise steps, on the frame clock's ticks, so
        // they are drawn in the same frames as the chart.
        readonly property string latest: root.jumpModel.jumpCount
        readonly property int riseMilliseconds: 350
        // How far the rise has come, 0 to 1.
        property real risen: 1
        property double riseStart: 0
        text: ""
        Component.onCompleted: text = latest
        onLatestChanged: root.frameClock.request()
        opacity: 0.4 + 0.6 * risen
        // Out-cubic: fast at first, settling into place.
        transform: Translate { y: 24 * Math.pow(1 - count.risen, 3) }
        Connections {
            target: root.frameClock
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
                    root.frameClock.request();
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
        visible: root.jumpModel.isRecording && root.jumpModel.journalFailure !== ""
        text: qsTr("Not being kept safe: %1")
              .arg(root.journalReason)
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
