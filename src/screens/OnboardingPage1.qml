import QtQuick
import QtQuick.Layouts
import Hopster

// The welcome page, the first page of the first run: the name, the icon,
// one line on what the app is, and "Let's Go!".
Item {
    id: page

    signal next()

    objectName: "onboardingPage1"
    // The page a screen reader enters, named after what it is about.
    Accessible.role: Accessible.Pane
    Accessible.name: qsTr("Welcome to Hopster")

    ColumnLayout {
        anchors.fill: parent
        spacing: 8

        Text {
            objectName: "welcomeTitle"
            Accessible.role: Accessible.Heading
            Accessible.name: qsTr("Welcome to Hopster")
            Layout.fillWidth: true
            Layout.margins: Theme.margin
            text: qsTr("Welcome to") + "\n" + qsTr("Hopster")
            font.pixelSize: 35
            font.weight: Font.Black
            color: "white"
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
        }
        Image {
            objectName: "welcomeIcon"
            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.topMargin: Theme.margin
            Layout.preferredHeight: 240
            source: "images/OnboardingIcon.svg"
            sourceSize.width: 600
            sourceSize.height: 600
            fillMode: Image.PreserveAspectFit
            scale: 0.7
            Accessible.ignored: true
        }
        Item { Layout.fillHeight: true }
        Text {
            objectName: "welcomeTagline"
            Accessible.role: Accessible.StaticText
            Accessible.name: text
            Layout.fillWidth: true
            Layout.margins: Theme.margin
            Layout.topMargin: 2 * Theme.margin
            text: qsTr("The first jump counter app with AirPods")
            font.pixelSize: Theme.title3Size
            font.bold: true
            color: "white"
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
        }
        Item { Layout.fillHeight: true }
        PrimaryButton {
            objectName: "letsGoButton"
            Layout.alignment: Qt.AlignHCenter
            Layout.margins: Theme.margin
            text: qsTr("Let's Go!")
            textSize: Theme.title2Size
            onClicked: page.next()
        }
    }
}
