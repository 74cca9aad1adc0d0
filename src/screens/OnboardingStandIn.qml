import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Hopster

// A simple first page until the full first-run pages exist: its button ends
// the first run by writing "hasSeenOnboarding".
Rectangle {
    id: page

    required property HomeViewModel homeModel

    color: "black"

    ColumnLayout {
        anchors.centerIn: parent
        width: Math.min(parent.width - 2 * Theme.margin, 360)
        spacing: 24

        Image {
            Layout.alignment: Qt.AlignHCenter
            Layout.preferredWidth: 200
            Layout.preferredHeight: 200
            source: "images/OnboardingIcon.svg"
            sourceSize.width: 400
            sourceSize.height: 400
            fillMode: Image.PreserveAspectFit
            Accessible.ignored: true
        }
        Label {
            Layout.fillWidth: true
            text: qsTr("Welcome to Hopster")
            color: "white"
            font.pixelSize: Theme.largeTitleSize
            font.bold: true
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
        }
        Button {
            objectName: "onboardingContinue"
            Layout.alignment: Qt.AlignHCenter
            text: qsTr("Get Started")
            Accessible.name: text
            onClicked: page.homeModel.hasSeenOnboarding = true
        }
    }
}
