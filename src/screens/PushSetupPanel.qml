import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Hopster

// Until the phone sends motion: where to send it, as text to copy and as a
// QR code for the phone's camera.
ColumnLayout {
    id: root
    required property JumpViewModel jumpModel
    // The height of the screen it is on, which bounds the QR code.
    property real screenHeight: 0

    objectName: "pushSetup"
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
                                                        root.screenHeight * 0.28))
        Layout.preferredWidth: side
        Layout.preferredHeight: side
        sourceSize.width: side
        sourceSize.height: side
        source: root.jumpModel.pushUrls.length > 0
                ? "image://qr/" + encodeURIComponent(root.jumpModel.pushUrls[0]) : ""
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
            text: root.jumpModel.pushUrlText
            readOnly: true
            selectByMouse: true
            wrapMode: TextEdit.WrapAnywhere
            font.pixelSize: Theme.bodySize
            color: Theme.text
            selectionColor: Theme.appGreen
            selectedTextColor: "black"
            Accessible.role: Accessible.EditableText
            Accessible.name: text
        }
        Button {
            objectName: "copyPushUrl"
            Layout.alignment: Qt.AlignTop
            text: qsTr("Copy")
            Accessible.name: qsTr("Copy the URL")
            Accessible.onPressAction: clicked()
            onClicked: root.jumpModel.copyPushUrl()
        }
    }
}
