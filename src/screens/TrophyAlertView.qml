import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Qt5Compat.GraphicalEffects
import Hopster

// The popup that announces a newly unlocked trophy: a dark card with a thin
// green rim and a soft shadow, the trophy's round picture, its title and
// real subtitle (also for a hidden trophy) and an "Ok" button. It keeps no
// state: "Ok" only tells the presenter, which hides it.
//
// The card is 362 × 184 with a 150-point picture where the window allows,
// always with a margin round it. On a narrower window the card narrows, the
// picture shrinks so the text keeps a readable width, and the subtitle takes
// as many lines as it needs. The popup takes input only on its card: the
// rest of the screen stays usable under it.
Item {
    id: alert

    // The trophy shown: a map with id, title, subtitle and imageName.
    property var trophy: ({})

    // "Ok" was pressed.
    signal dismissed()

    // Gradients, masks and shadows are shaders; the software renderer cannot
    // run them and gets plain stand-ins instead.
    readonly property bool effects: GraphicsInfo.api !== GraphicsInfo.Software

    // The card's full size, rim included, and the picture's.
    readonly property real fullWidth: 362
    readonly property real fullHeight: 184
    readonly property real fullPicture: 150
    // The narrowest the text column gets before the picture gives way, and
    // the smallest the picture gets.
    readonly property real minimumTextWidth: 150
    readonly property real minimumPicture: 64
    readonly property real contentPadding: 20
    readonly property real contentSpacing: 8

    readonly property real cardWidth: Math.max(0, Math.min(fullWidth, width - 2 * Theme.margin))
    readonly property real pictureSize: Math.max(minimumPicture, Math.min(fullPicture,
        cardWidth - 2 - 2 * contentPadding - contentSpacing - minimumTextWidth))

    // The "Ok" button's face: the standard gray darkened so that white text
    // on it reads at 6:1.
    readonly property color okFace: Theme.controlGray

    objectName: "trophyAlertView"
    width: parent ? parent.width : implicitWidth
    implicitWidth: fullWidth + 2 * Theme.margin
    implicitHeight: rim.height + 2 * Theme.margin

    Accessible.role: Accessible.AlertMessage
    Accessible.name: qsTr("Trophy unlocked: %1").arg(alert.trophy.title ?? "")
    Accessible.description: alert.trophy.subtitle ?? ""

    // Sets the card apart from the screen under it.
    Rectangle {
        id: shadowShape
        anchors.fill: rim
        radius: rim.radius
        color: "black"
        visible: false
    }
    DropShadow {
        anchors.fill: rim
        source: shadowShape
        visible: alert.effects
        radius: 16
        samples: 33
        verticalOffset: 4
        color: Qt.rgba(0, 0, 0, 0.45)
        transparentBorder: true
    }
    Rectangle {
        anchors.fill: rim
        anchors.margins: -3
        anchors.topMargin: -1
        anchors.bottomMargin: -5
        radius: 23
        color: Qt.rgba(0, 0, 0, 0.25)
        visible: !alert.effects
    }

    // A 1-point green rim round the gradient.
    Rectangle {
        id: rim
        objectName: "trophyPopup"
        anchors.centerIn: parent
        width: alert.cardWidth
        height: Math.max(alert.fullHeight, row.implicitHeight + 2)
        radius: 20
        color: Theme.green

        // Taps on the card stop here rather than reaching what lies under it.
        MouseArea {
            anchors.fill: parent
            acceptedButtons: Qt.AllButtons
        }

        Rectangle {
            id: gradientShape
            anchors.fill: parent
            anchors.margins: 1
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

        RowLayout {
            id: row
            anchors.centerIn: parent
            width: parent.width - 2
            spacing: alert.contentSpacing

            Item {
                objectName: "trophyAlertPicture"
                Layout.leftMargin: alert.contentPadding
                Layout.topMargin: 16
                Layout.bottomMargin: 16
                Layout.preferredWidth: alert.pictureSize
                Layout.preferredHeight: alert.pictureSize
                Layout.alignment: Qt.AlignVCenter

                Image {
                    id: art
                    anchors.fill: parent
                    source: alert.trophy.imageName ? "images/" + alert.trophy.imageName + ".svg" : ""
                    sourceSize.width: 300
                    sourceSize.height: 300
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
                Layout.rightMargin: alert.contentPadding
                Layout.topMargin: 16
                Layout.bottomMargin: 16
                Layout.alignment: Qt.AlignVCenter
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
                // Never cut: the card grows instead.
                Text {
                    objectName: "trophyAlertSubtitle"
                    Layout.fillWidth: true
                    text: alert.trophy.subtitle ?? ""
                    textFormat: Text.PlainText
                    wrapMode: Text.Wrap
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
                    Accessible.onPressAction: alert.dismissed()
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
                        color: ok.down ? Qt.darker(alert.okFace, 1.3) : alert.okFace
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
}
