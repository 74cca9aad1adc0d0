import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Hopster

// An alert: a title, a message, an optional smaller detail line and one or
// two buttons, shown while `shown` is true over a dimmed screen. `closed`
// follows every way of closing it. The keyboard focus starts on the accept
// button; Tab moves between the buttons.
Dialog {
    id: alert

    property bool shown: false
    property string message
    // A smaller second line under the message (a technical reason, say).
    property string detail: ""
    property string acceptText: qsTr("OK")
    property string rejectText: ""

    anchors.centerIn: Overlay.overlay
    width: Math.min(320, (parent ? parent.width : 320) - 2 * Theme.margin)
    modal: true
    dim: true
    focus: true
    closePolicy: Popup.CloseOnEscape
    visible: shown
    padding: 20
    topPadding: 8

    Overlay.modal: Rectangle {
        color: Theme.scrim
    }

    background: Rectangle {
        radius: 14
        color: Theme.background
    }

    header: Label {
        text: alert.title
        topPadding: 20
        leftPadding: 20
        rightPadding: 20
        font.pixelSize: Theme.headlineSize
        font.bold: true
        color: Theme.text
        wrapMode: Text.WordWrap
        horizontalAlignment: Text.AlignHCenter
    }

    contentItem: ColumnLayout {
        spacing: 6
        Accessible.role: Accessible.AlertMessage
        Accessible.name: alert.title + ". " + alert.message
                         + (alert.detail !== "" ? " " + alert.detail : "")

        Label {
            Layout.fillWidth: true
            text: alert.message
            color: Theme.text
            font.pixelSize: Theme.subheadlineSize
            wrapMode: Text.WordWrap
            horizontalAlignment: Text.AlignHCenter
        }
        Label {
            objectName: alert.objectName + "Detail"
            Layout.fillWidth: true
            visible: alert.detail !== ""
            text: alert.detail
            color: Theme.secondaryText
            font.pixelSize: Theme.captionSize + 1
            wrapMode: Text.Wrap
            horizontalAlignment: Text.AlignHCenter
        }
    }

    // The buttons share the width equally, the accept button on the right.
    footer: Item {
        implicitHeight: 44 + 2 * 12

        component AlertButton: Button {
            id: choice

            property bool primary: false

            height: 44
            focusPolicy: Qt.StrongFocus
            Accessible.name: text
            Accessible.onPressAction: choice.clicked()
            Keys.onReturnPressed: choice.clicked()
            Keys.onEnterPressed: choice.clicked()

            background: Rectangle {
                radius: 10
                color: choice.down ? Theme.groupedBackground : Theme.background
                border.width: choice.visualFocus ? Theme.focusRingWidth : 1
                border.color: choice.visualFocus ? Theme.focusRing : Theme.separator
            }
            contentItem: Text {
                text: choice.text
                color: Theme.darkGreen
                font.pixelSize: Theme.bodySize
                font.bold: choice.primary
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
                elide: Text.ElideRight
            }
        }

        Row {
            id: buttons
            readonly property int visibleCount: alert.rejectText !== "" ? 2 : 1
            readonly property real buttonWidth: (width - spacing * (visibleCount - 1)) / visibleCount
            anchors.fill: parent
            anchors.margins: 12
            spacing: 8

            AlertButton {
                objectName: alert.objectName + "Reject"
                visible: alert.rejectText !== ""
                width: buttons.buttonWidth
                text: alert.rejectText
                onClicked: alert.reject()
            }
            AlertButton {
                objectName: alert.objectName + "Accept"
                primary: true
                focus: true
                width: buttons.buttonWidth
                text: alert.acceptText
                onClicked: alert.accept()
            }
        }
    }
}
