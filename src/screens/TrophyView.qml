import QtQuick
import QtQuick.Layouts
import QtQuick.Controls.impl
import Qt5Compat.GraphicalEffects
import Hopster

// One trophy's place in the grid: the card centred in it. The picture is
// blurred, paled and padlocked while the trophy is locked; once unlocked a
// tap on it plays the card's haptic and shakes and grows it for a moment.
// The row's values come from TrophyListModel, which also keeps the card's
// haptic engine and shake flag.
Item {
    id: root

    required property TrophyListModel trophyModel
    required property int index
    required property string trophyId
    required property string title
    required property string cardSubtitle
    required property bool isUnlocked
    required property string imageName
    required property bool shaking

    // The picture's animations: ease-in-out over 0.6 s, from wherever the
    // picture is when the shake flag changes.
    component ShakeAnimation: NumberAnimation {
        duration: 600
        easing.type: Easing.BezierSpline
        easing.bezierCurve: [0.42, 0.0, 0.58, 1.0, 1.0, 1.0]
    }

    objectName: "trophyCard_" + trophyId
    implicitWidth: card.implicitWidth
    implicitHeight: card.implicitHeight

    activeFocusOnTab: true
    Accessible.role: Accessible.Button
    Accessible.name: isUnlocked ? qsTr("%1, unlocked").arg(title) : qsTr("%1, locked").arg(title)
    Accessible.description: cardSubtitle
    Accessible.focusable: true
    Accessible.onPressAction: trophyModel.cardTapped(index)
    Keys.onPressed: (event) => {
        if (event.key !== Qt.Key_Space && event.key !== Qt.Key_Return && event.key !== Qt.Key_Enter)
            return;
        event.accepted = true;
        trophyModel.cardTapped(index);
    }

    // The card comes on screen when it is made and each time its tab is
    // shown again; every time, it gets a fresh haptic engine.
    Component.onCompleted: trophyModel.cardAppeared(index)
    onVisibleChanged: if (visible) trophyModel.cardAppeared(index)

    Rectangle {
        id: card
        anchors.horizontalCenter: parent.horizontalCenter
        height: parent.height
        implicitWidth: content.implicitWidth + 2 * Theme.margin
        implicitHeight: content.implicitHeight + 2 * Theme.margin
        radius: 10
        color: Theme.background
        border.color: Theme.appGreen
        border.width: root.activeFocus ? 2 : 0
        clip: true

        ColumnLayout {
            id: content
            x: Theme.margin
            y: Theme.margin
            spacing: 8

            Item {
                id: picture
                objectName: "trophyPicture"
                Layout.preferredWidth: 150
                Layout.preferredHeight: 150

                // Blur, shadow and masks are shaders; the software renderer
                // cannot run them and gets the plain picture instead.
                readonly property bool effects: GraphicsInfo.api !== GraphicsInfo.Software

                // 1.2 while shaking, 1.0 at rest.
                property real grown: root.shaking ? 1.2 : 1.0
                Behavior on grown { ShakeAnimation {} }

                // Shaken first, then scaled about the centre, so the shake
                // grows with the picture.
                transform: [
                    ShakeEffect {
                        objectName: "shakeEffect"
                        amount: 10
                        shakesPerUnit: 3
                        animatableData: root.shaking ? 1 : 0
                        Behavior on animatableData { ShakeAnimation {} }
                    },
                    Scale {
                        origin.x: picture.width / 2
                        origin.y: picture.height / 2
                        xScale: picture.grown
                        yScale: picture.grown
                    }
                ]

                Image {
                    id: art
                    anchors.fill: parent
                    source: "images/" + root.imageName + ".svg"
                    sourceSize.width: 150
                    sourceSize.height: 150
                    fillMode: Image.PreserveAspectFit
                    smooth: true
                    visible: !picture.effects
                }
                Rectangle {
                    id: roundedShape
                    anchors.fill: parent
                    radius: 15
                    visible: false
                }
                OpacityMask {
                    id: rounded
                    anchors.fill: parent
                    source: art
                    maskSource: roundedShape
                    cached: true
                    visible: false
                }
                DropShadow {
                    id: shadowed
                    anchors.fill: parent
                    source: rounded
                    radius: 3
                    samples: 7
                    color: Qt.rgba(0, 0, 0, 0.33)
                    transparentBorder: true
                    cached: true
                    visible: picture.effects && root.isUnlocked
                }

                // Locked: blurred, paled to 60 % saturation, under a dark
                // veil with the padlock at its bottom.
                GaussianBlur {
                    id: blurred
                    anchors.fill: parent
                    source: shadowed
                    radius: 3
                    samples: 7
                    transparentBorder: true
                    cached: true
                    visible: false
                }
                Desaturate {
                    anchors.fill: parent
                    source: blurred
                    desaturation: 0.4
                    cached: true
                    visible: picture.effects && !root.isUnlocked
                }
                Rectangle {
                    anchors.fill: parent
                    radius: 15
                    color: "black"
                    opacity: 0.5
                    visible: !root.isUnlocked
                }
                // Tinted on the CPU, so the padlock shows under every renderer.
                ColorImage {
                    objectName: "padlock"
                    anchors.horizontalCenter: parent.horizontalCenter
                    anchors.bottom: parent.bottom
                    anchors.bottomMargin: Theme.margin
                    width: 20
                    height: 20
                    source: "images/lock.svg"
                    sourceSize.width: 40
                    sourceSize.height: 40
                    fillMode: Image.PreserveAspectFit
                    color: Theme.gray
                    visible: !root.isUnlocked
                }

                TapHandler {
                    onTapped: root.trophyModel.cardTapped(root.index)
                }
            }

            ColumnLayout {
                Layout.preferredWidth: 150
                Layout.maximumWidth: 150
                spacing: 2

                Text {
                    Layout.fillWidth: true
                    text: root.title
                    textFormat: Text.PlainText
                    wrapMode: Text.Wrap
                    font.pixelSize: Theme.headlineSize
                    font.bold: true
                }
                Text {
                    objectName: "cardSubtitle"
                    Layout.fillWidth: true
                    text: root.cardSubtitle
                    textFormat: Text.PlainText
                    wrapMode: Text.Wrap
                    font.pixelSize: Theme.subheadlineSize
                    color: Theme.secondaryText
                }
            }
        }
    }
}
