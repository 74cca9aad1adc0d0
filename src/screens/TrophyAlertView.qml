import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Qt5Compat.GraphicalEffects
import Hopster

// The popup that announces a newly unlocked trophy: a dark card with a thin
// green rim, the trophy's round picture, its title and real subtitle (also
// for a hidden trophy) and an "Ok" button. It keeps no state: "Ok" only
// tells the presenter, which hides it.
Item {
    id: alert

    // The trophy shown: a map with id, title, subtitle and imageName.
    property var trophy: ({})

    // "Ok" was pressed.
    signal dismissed()

    // Gradients, masks and shadows are shaders; the software renderer cannot
    // run them and gets plain stand-ins instead.
    readonly property bool effects: GraphicsInfo.api !== GraphicsInfo.Software

    objectName: "trophyAlertView"
    width: parent ? parent.width : implicitWidth
    implicitWidth: rim.width + 2 * Theme.margin
    implicitHeight: Math.max(rim.height, row.implicitHeight) + 2 * Theme.margin

    Accessible.role: Accessible.AlertMessage
    Accessible.name: qsTr("Trophy unlocked: %1").arg(alert.trophy.title ?? "")
    Accessible.description: alert.trophy.subtitle ?? ""

    // A 1-point green rim round the gradient.
    Rectangle {
        id: rim
        anchors.centerIn: parent
        width: 362
        height: 184
        radius: 20
        color: Theme.green

        Rectangle {
            id: gradientShape
            anchors.centerIn: parent
            width: 360
            height: 182
            radius: 20
            visible: !alert.effects
            gradient: Gradient {
                GradientStop { position: 0.0; color: Theme.gray }
                GradientStop { position: 1.0; color: "black" }
            }
        }
        // Gray at the top-leading corner to black at the bottom-trailing one.
        LinearGradient {
            anchors.fill: gradientShape
            source: gradientShape
            start: Qt.point(0, 0)
            end: Qt.point(width, height)
            cached: true
            visible: alert.effects
            gradient: Gradient {
                GradientStop { position: 0.0; color: Theme.gray }
                GradientStop { position: 1.0; color: "black" }
            }
        }
    }

    RowLayout {
        id: row
        anchors.centerIn: parent
        width: Math.min(alert.width - 2 * Theme.margin, rim.width)
        spacing: 8

        Item {
            Layout.leftMargin: 20
            Layout.topMargin: 20
            Layout.bottomMargin: 20
            Layout.preferredWidth: 150
            Layout.preferredHeight: 150

            Image {
                id: art
                anchors.fill: parent
                source: alert.trophy.imageName ? "images/" + alert.trophy.imageName + ".svg" : ""
                sourceSize.width: 150
                sourceSize.height: 150
                fillMode: Image.PreserveAspectFit
                smooth: true
                visible: !alert.effects
            }
            Rectangle {
                id: circle
                anchors.fill: parent
                radius: width / 2
                visible: false
            }
            OpacityMask {
                id: round
                anchors.fill: parent
                source: art
                maskSource: circle
                cached: true
                visible: false
            }
            // A soft white glow round the picture.
            DropShadow {
                anchors.fill: parent
                source: round
                radius: 2
                samples: 5
                color: "white"
                transparentBorder: true
                cached: true
                visible: alert.effects
            }
        }

        ColumnLayout {
            Layout.fillWidth: true
            Layout.rightMargin: 20
            spacing: 8

            Text {
                objectName: "trophyAlertTitle"
                Layout.fillWidth: true
                text: alert.trophy.title ?? ""
                textFormat: Text.PlainText
                wrapMode: Text.Wrap
                font.pixelSize: Theme.headlineSize
                font.weight: Font.DemiBold
                color: "white"
                layer.enabled: alert.effects
                layer.effect: DropShadow {
                    radius: 5
                    samples: 11
                    color: "black"
                    transparentBorder: true
                }
            }
            Text {
                objectName: "trophyAlertSubtitle"
                Layout.fillWidth: true
                text: alert.trophy.subtitle ?? ""
                textFormat: Text.PlainText
                wrapMode: Text.Wrap
                maximumLineCount: 2
                elide: Text.ElideRight
                font.pixelSize: Theme.subheadlineSize
                color: Qt.rgba(1, 1, 1, 0.8)
            }
            Button {
                id: ok
                objectName: "trophyAlertOk"
                Layout.fillWidth: true
                Layout.maximumWidth: 200
                Layout.preferredHeight: 40
                text: qsTr("Ok")
                Accessible.name: text
                onClicked: alert.dismissed()

                contentItem: Text {
                    text: ok.text
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                    font.pixelSize: Theme.headlineSize
                    font.weight: Font.DemiBold
                    color: "white"
                }
                background: Rectangle {
                    radius: 7
                    color: ok.down ? Qt.darker(Theme.gray, 1.2) : Theme.gray
                    border.color: "white"
                    border.width: ok.visualFocus ? 2 : 0
                }
                layer.enabled: alert.effects
                layer.effect: DropShadow {
                    radius: 3
                    samples: 7
                    color: "black"
                    transparentBorder: true
                }
            }
        }
    }
}
