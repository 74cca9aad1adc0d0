import QtQuick
import QtQuick.Layouts
import Qt5Compat.GraphicalEffects
import Hopster

// Training anywhere with music: the icon, two lines of text and a grayscale
// workout picture whose edges fade out, then "Next".
Item {
    id: page

    signal next()

    objectName: "onboardingPage2"

    ColumnLayout {
        anchors.fill: parent
        spacing: 8

        Image {
            Layout.alignment: Qt.AlignHCenter
            Layout.topMargin: Theme.margin
            Layout.preferredWidth: 200
            Layout.preferredHeight: 200
            Layout.maximumHeight: 200
            Layout.fillHeight: true
            source: "images/OnboardingIcon.svg"
            sourceSize.width: 400
            sourceSize.height: 400
            fillMode: Image.PreserveAspectFit
            Accessible.ignored: true
        }
        ColumnLayout {
            Layout.fillWidth: true
            spacing: 12

            Text {
                Layout.fillWidth: true
                Layout.leftMargin: 24
                Layout.rightMargin: 24
                text: qsTr("Get Fit Anywhere!")
                font.pixelSize: Theme.titleSize
                font.bold: true
                color: "white"
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
            }
            Text {
                Layout.fillWidth: true
                Layout.leftMargin: 32
                Layout.rightMargin: 32
                text: qsTr("Let Hopster track your jumps while you enjoy your favorite tunes with AirPods!")
                font.pixelSize: Theme.headlineSize
                font.weight: Font.DemiBold
                color: "white"
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
            }
        }
        Item {
            id: picture

            // Masks and desaturation are shaders; the software renderer
            // draws the plain picture instead.
            readonly property bool effects: GraphicsInfo.api !== GraphicsInfo.Software

            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.preferredHeight: 300
            Layout.maximumHeight: 300

            Image {
                id: art
                anchors.fill: parent
                source: "images/fitness2.svg"
                sourceSize.width: 800
                sourceSize.height: 800
                fillMode: Image.PreserveAspectCrop
                clip: true
                visible: !picture.effects
                Accessible.ignored: true
            }
            Desaturate {
                id: gray
                anchors.fill: parent
                source: art
                desaturation: 1.0
                visible: false
            }
            // Fades towards the bottom and a little at the top ...
            Rectangle {
                id: verticalFade
                anchors.fill: parent
                visible: false
                gradient: Gradient {
                    GradientStop { position: 0.0; color: Qt.rgba(0, 0, 0, 0.1) }
                    GradientStop { position: 1 / 3; color: "black" }
                    GradientStop { position: 2 / 3; color: "black" }
                    GradientStop { position: 1.0; color: Qt.rgba(0, 0, 0, 0) }
                }
            }
            OpacityMask {
                id: fadedVertically
                anchors.fill: parent
                source: gray
                maskSource: verticalFade
                visible: false
            }
            // ... and a little at both sides.
            Rectangle {
                id: horizontalFade
                anchors.fill: parent
                visible: false
                gradient: Gradient {
                    orientation: Gradient.Horizontal
                    GradientStop { position: 0.0; color: Qt.rgba(0, 0, 0, 0.1) }
                    GradientStop { position: 1 / 3; color: "black" }
                    GradientStop { position: 2 / 3; color: "black" }
                    GradientStop { position: 1.0; color: Qt.rgba(0, 0, 0, 0.1) }
                }
            }
            OpacityMask {
                anchors.fill: parent
                source: fadedVertically
                maskSource: horizontalFade
                visible: picture.effects
            }
        }
        Item { Layout.fillHeight: true }
        PrimaryButton {
            objectName: "page2Next"
            Layout.alignment: Qt.AlignHCenter
            Layout.margins: Theme.margin
            text: qsTr("Next")
            onClicked: page.next()
        }
    }
}
