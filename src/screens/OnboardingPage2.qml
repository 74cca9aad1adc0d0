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
    // The page a screen reader enters, named after what it is about.
    Accessible.role: Accessible.Pane
    Accessible.name: qsTr("Get Fit Anywhere!")

    ColumnLayout {
        anchors.fill: parent
        spacing: 8

        Image {
            objectName: "page2Icon"
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
                objectName: "page2Title"
                Accessible.role: Accessible.Heading
                Accessible.name: text
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
                objectName: "page2Text"
                Accessible.role: Accessible.StaticText
                Accessible.name: text
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
        // The band the picture may take: the full width, at most 300 high.
        Item {
            id: band
            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.preferredHeight: 300
            Layout.maximumHeight: 300
        }
        Item {
            Layout.fillHeight: true
        }
        PrimaryButton {
            objectName: "page2Next"
            Layout.alignment: Qt.AlignHCenter
            Layout.margins: Theme.margin
            text: qsTr("Next")
            onClicked: page.next()
        }
    }

    // The whole picture, as large as the band allows: a wide window shows
    // all of the figure rather than a strip of it.
    Item {
        id: picture

        // Masks and desaturation are shaders; the software renderer draws
        // the plain picture instead.
        readonly property bool effects: GraphicsInfo.api !== GraphicsInfo.Software
        // Width over height of the picture.
        readonly property real aspect: art.implicitHeight > 0 ? art.implicitWidth / art.implicitHeight : 1

        objectName: "fitnessPicture"
        width: Math.min(band.width, band.height * aspect)
        height: width / aspect
        x: band.x + (band.width - width) / 2
        y: band.y + (band.height - height) / 2

        Image {
            id: art
            anchors.fill: parent
            source: "images/fitness2.svg"
            sourceSize.width: 800
            sourceSize.height: 800
            fillMode: Image.PreserveAspectFit
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
}
