import QtQuick
import QtQuick.Layouts
import Hopster

// Jump tracking: what the headphones' motion data is for and a promise about
// it. Each new page gets a new motion service; its "Next" goes on to the
// reminder page and at the same time asks the system for headphone-motion
// access.
Item {
    id: page

    required property OnboardingViewModel onboardingModel

    signal next()

    // The description's side padding: 55, or what leaves it 280 wide.
    readonly property real sidePadding: Math.min(55, Math.max(Theme.margin, (width - 280) / 2))

    objectName: "onboardingPage3"
    // The page a screen reader enters, named after what it is about.
    Accessible.role: Accessible.Pane
    Accessible.name: qsTr("Jump Tracking")

    Component.onCompleted: page.onboardingModel.preparePage3()

    ColumnLayout {
        anchors.fill: parent
        spacing: 8

        Text {
            objectName: "page3Title"
            Accessible.role: Accessible.Heading
            Accessible.name: text
            Layout.fillWidth: true
            text: qsTr("Jump Tracking")
            font.pixelSize: Theme.largeTitleSize
            font.bold: true
            color: "white"
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
        }
        Text {
            objectName: "page3Text"
            Accessible.role: Accessible.StaticText
            Accessible.name: text
            Layout.fillWidth: true
            // 55 at each side, less on a window too narrow for that.
            Layout.leftMargin: page.sidePadding
            Layout.rightMargin: page.sidePadding
            text: qsTr("Hopster accurately tracks your jumps using motion data from your AirPods and provides real-time statistics.")
            font.pixelSize: Theme.bodySize
            color: "white"
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
        }
        Item { Layout.fillHeight: true }
        Image {
            objectName: "page3Picture"
            Layout.alignment: Qt.AlignHCenter
            Layout.preferredWidth: 250
            Layout.preferredHeight: 250
            Layout.fillHeight: true
            Layout.maximumHeight: 250
            source: "images/Airpod.svg"
            sourceSize.width: 500
            sourceSize.height: 500
            fillMode: Image.PreserveAspectFit
            opacity: 0.9
            Accessible.ignored: true
        }
        Item { Layout.fillHeight: true }
        ColumnLayout {
            Layout.fillWidth: true
            Layout.margins: Theme.margin
            spacing: 8

            Text {
                objectName: "page3NoMotion"
                Accessible.role: Accessible.StaticText
                Accessible.name: text
                visible: !page.onboardingModel.motionAvailable
                Layout.fillWidth: true
                Layout.margins: Theme.margin
                text: qsTr("No motion sensors are available to Hopster right now; its log says why. You can go on and set them up later.")
                font.pixelSize: Theme.captionSize
                color: Theme.red
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
            }
            Text {
                objectName: "page3Promise"
                Accessible.role: Accessible.StaticText
                Accessible.name: text
                Layout.fillWidth: true
                Layout.margins: Theme.margin
                // The gap above the button shrinks on a short window.
                Layout.bottomMargin: page.height < 640 ? Theme.margin : Theme.margin + 40
                text: qsTr("Your motion data is solely used to track your activity and is never shared without your explicit consent.")
                font.pixelSize: Theme.captionSize
                color: Theme.gray
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
            }
            PrimaryButton {
                objectName: "page3Next"
                Layout.alignment: Qt.AlignHCenter
                text: qsTr("Next")
                onClicked: {
                    page.next();
                    page.onboardingModel.requestMotionAccess();
                }
            }
        }
    }
}
