import QtQuick
import QtQuick.Controls.impl
import Qt5Compat.GraphicalEffects
import Hopster

// One trophy's card, as wide as the grid makes it: the picture, as wide as
// the card's content, then the title and subtitle. The picture is blurred,
// paled and padlocked while the trophy is locked; once unlocked a tap on it
// plays the card's haptic and shakes and grows it for a moment. The row's
// values come from TrophyListModel, which also keeps the card's haptic
// engine and shake flag.
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

    // Set by the grid while some of the card lies on screen. Each time the
    // card comes on screen it gets a fresh haptic engine; cards never shown
    // make none.
    property bool shown: false

    // Space round the card's content.
    readonly property real padding: width < 150 ? 8 : Theme.margin
    // The picture's side: the card's content width.
    readonly property real pictureSize: Math.max(10, width - 2 * padding)

    // The picture's animations: ease-in-out over 0.6 s, from wherever the
    // picture is when the shake flag changes.
    component ShakeAnimation: NumberAnimation {
        duration: 600
        easing.type: Easing.BezierSpline
        easing.bezierCurve: [0.42, 0.0, 0.58, 1.0, 1.0, 1.0]
    }

    objectName: "trophyCard_" + trophyId
    implicitWidth: 150 + 2 * Theme.margin
    implicitHeight: content.implicitHeight + 2 * padding
    // The grown picture reaches past the card: above its neighbours while
    // it is grown, including on its way back.
    z: picture.grown > 1 ? 1 : 0

    activeFocusOnTab: true
    Accessible.role: Accessible.Button
    // Qualified: inside this file "title" alone is the title's Text item.
    Accessible.name: root.isUnlocked ? qsTr("%1, unlocked").arg(root.title)
                                     : qsTr("%1, locked").arg(root.title)
    Accessible.description: root.cardSubtitle
    Accessible.focusable: true
    Accessible.onPressAction: trophyModel.cardTapped(index)
    Keys.onPressed: (event) => {
        if (event.key !== Qt.Key_Space && event.key !== Qt.Key_Return && event.key !== Qt.Key_Enter)
            return;
        event.accepted = true;
        trophyModel.cardTapped(index);
    }

    onShownChanged: if (shown) trophyModel.cardAppeared(index)

    Rectangle {
        id: card
        objectName: "trophyCard"
        anchors.fill: parent
        radius: 10
        color: Theme.background
        border.color: Theme.focusRing
        border.width: root.activeFocus ? Theme.focusRingWidth : 0

        // Not clipped: the grown, shaking picture may reach past the card.
        // Placed by anchors rather than a layout, so that the card's height
        // follows its texts at once and the grid can place it right away.
        Item {
            id: content
            x: root.padding
            y: root.padding
            width: root.pictureSize
            implicitHeight: subtitle.y + subtitle.implicitHeight

            Item {
                id: picture
                objectName: "trophyPicture"
                width: root.pictureSize
                height: root.pictureSize

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
                    sourceSize.width: 300
                    sourceSize.height: 300
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

            Text {
                id: title
                objectName: "cardTitle"
                anchors.top: picture.bottom
                // Grown to 1.2 about its centre, the picture reaches a
                // tenth of its size further down; the title starts below.
                anchors.topMargin: Math.max(8, Math.ceil(root.pictureSize * 0.1) + 4)
                width: parent.width
                text: root.title
                textFormat: Text.PlainText
                wrapMode: Text.Wrap
                font.pixelSize: Theme.headlineSize
                font.bold: true
                color: Theme.text
            }
            Text {
                id: subtitle
                objectName: "cardSubtitle"
                anchors.top: title.bottom
                anchors.topMargin: 2
                width: parent.width
                text: root.cardSubtitle
                textFormat: Text.PlainText
                wrapMode: Text.Wrap
                // A step smaller on a narrow card, so that long words such as
                // "Congratulations" still fit on one line.
                font.pixelSize: root.pictureSize < 130 ? Theme.subheadlineSize - 2 : Theme.subheadlineSize
                color: Theme.secondaryText
            }
        }
    }
}
