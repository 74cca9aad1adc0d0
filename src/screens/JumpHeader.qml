import QtQuick
import QtQuick.Controls
import QtQuick.Controls.impl
import QtQuick.Layouts
import Hopster

// The jump screen's header: the headphone (or phone) status, a small button
// that checks the headphones again, and the total jumps.
RowLayout {
    id: root
    required property JumpViewModel jumpModel

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
                root.jumpModel.checkHeadphonesConnection();
            }
        }
        Accessible.role: Accessible.Button
        Accessible.name: root.jumpModel.motionDevice === "phone"
                         ? (root.jumpModel.isHeadphonesConnected
                            ? qsTr("Phone motion arriving") : qsTr("No phone motion"))
                         : (root.jumpModel.isHeadphonesConnected
                            ? qsTr("Headphones connected") : qsTr("No headphones connected"))
        Accessible.onPressAction: root.jumpModel.checkHeadphonesConnection()

        RowLayout {
            id: statusRow
            anchors.centerIn: parent
            spacing: 8

            Rectangle {
                objectName: "headphoneDot"
                Layout.preferredWidth: 8
                Layout.preferredHeight: 8
                radius: 4
                color: root.jumpModel.isHeadphonesConnected ? Theme.darkGreen : Theme.red
            }
            // Black line art, tinted to the palette's text colour.
            ColorImage {
                objectName: "motionDeviceSymbol"
                color: Theme.text
                source: root.jumpModel.motionDevice === "phone" ? "images/phone.svg"
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
            onTapped: root.jumpModel.checkHeadphonesConnection()
        }
    }
    Item { Layout.fillWidth: true }
    Label {
        objectName: "totalJumps"
        Layout.rightMargin: Theme.margin
        text: qsTr("Total Jumps: ") + root.jumpModel.totalJumps
        font.pixelSize: Theme.bodySize
    }
}
