import QtQuick
import QtQuick.Controls
import Hopster

// An alert: a title, a message and one or two buttons, shown while `shown`
// is true. `closed` follows every way of closing it.
Dialog {
    id: alert

    property bool shown: false
    property string message
    property string acceptText: qsTr("OK")
    property string rejectText: ""

    anchors.centerIn: Overlay.overlay
    width: Math.min(300, (parent ? parent.width : 300) - 2 * Theme.margin)
    modal: true
    closePolicy: Popup.CloseOnEscape
    visible: shown
    contentItem: Label {
        Accessible.role: Accessible.AlertMessage
        Accessible.name: alert.title + ". " + alert.message
        text: alert.message
        wrapMode: Text.WordWrap
        horizontalAlignment: Text.AlignHCenter
    }

    footer: Row {
        spacing: 8
        padding: 12
        layoutDirection: Qt.RightToLeft
        Button {
            objectName: alert.objectName + "Accept"
            text: alert.acceptText
            Accessible.name: text
            onClicked: alert.accept()
        }
        Button {
            objectName: alert.objectName + "Reject"
            visible: alert.rejectText !== ""
            text: alert.rejectText
            Accessible.name: text
            onClicked: alert.reject()
        }
    }
}
