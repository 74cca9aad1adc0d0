pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import Hopster

// The first run: four pages on a navigation stack, all dark. A back control
// in the standard green returns one page at a time from pages 2 to 4, as do
// Escape and Backspace. A page left by going back is gone: going forward
// again builds it afresh. The flow ends when "hasSeenOnboarding" is written
// true, and HomeView then drops it whole.
Page {
    id: onboarding

    required property OnboardingViewModel onboardingModel
    readonly property alias depth: stack.depth

    objectName: "onboarding"

    // The dark colour scheme, for every control inside.
    palette.window: "black"
    palette.windowText: "white"
    palette.base: "#1C1C1E"
    palette.text: "white"
    palette.button: "#1C1C1E"
    palette.buttonText: "white"
    palette.highlight: Theme.appGreen
    palette.highlightedText: "black"
    background: Rectangle { color: "black" }

    Component.onDestruction: onboarding.onboardingModel.finish()

    function goBack() {
        if (stack.depth > 1)
            stack.pop();
    }

    // A Page, its tool bar and the stack each tell a screen reader they are
    // an unnamed container: only the pages inside, and Back, are read.
    Accessible.ignored: true
    header: ToolBar {
        Accessible.ignored: true
        implicitHeight: 44
        background: Item {}

        ToolButton {
            id: back
            objectName: "onboardingBack"
            anchors.left: parent.left
            anchors.leftMargin: 8
            anchors.verticalCenter: parent.verticalCenter
            visible: stack.depth > 1
            text: "‹ " + qsTr("Back")
            focusPolicy: Qt.StrongFocus
            Accessible.role: Accessible.Button
            Accessible.name: qsTr("Back")
            Accessible.onPressAction: onboarding.goBack()
            onClicked: onboarding.goBack()
            Keys.onReturnPressed: onboarding.goBack()
            Keys.onEnterPressed: onboarding.goBack()

            contentItem: Text {
                text: back.text
                font.pixelSize: Theme.bodySize
                color: Theme.green
                opacity: back.down ? 0.5 : 1.0
                verticalAlignment: Text.AlignVCenter
            }
            background: Rectangle {
                implicitWidth: 44
                implicitHeight: 36
                radius: 8
                color: "transparent"
                border.width: back.visualFocus ? 2 : 0
                border.color: Theme.green
            }
        }
    }

    // On a wide window the pages keep a readable width, centred; pages
    // sliding in and out are cut at the edges of that column.
    StackView {
        id: stack
        objectName: "onboardingStack"
        Accessible.ignored: true
        anchors.top: parent.top
        anchors.bottom: parent.bottom
        anchors.horizontalCenter: parent.horizontalCenter
        width: Math.min(parent.width, Theme.contentMaxWidth)
        clip: true
        initialItem: page1
    }

    Shortcut {
        sequences: ["Esc", "Backspace"]
        enabled: stack.depth > 1
        onActivated: onboarding.goBack()
    }

    Component {
        id: page1
        OnboardingPage1 {
            onNext: stack.push(page2)
        }
    }
    Component {
        id: page2
        OnboardingPage2 {
            onNext: stack.push(page3)
        }
    }
    Component {
        id: page3
        OnboardingPage3 {
            onboardingModel: onboarding.onboardingModel
            onNext: stack.push(page4)
        }
    }
    Component {
        id: page4
        OnboardingPage4_1 {
            onboardingModel: onboarding.onboardingModel
        }
    }
}
