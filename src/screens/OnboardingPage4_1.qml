import QtQuick
import QtQuick.Layouts
import Qt5Compat.GraphicalEffects
import Hopster

// The reminder question, the last page of the first run. "No" ends the first
// run at once; "Yeah" unveils and enables "Allow Notifications", which asks
// for permission, schedules the reminders if given and ends the first run
// either way. Each new page gets a new notification manager and starts with
// the button veiled.
Item {
    id: page

    required property OnboardingViewModel onboardingModel
    // Whether "Yeah" was tapped on this page.
    property bool allowedToGoNext: false

    // Masks, blur and shadows are shaders; the software renderer draws the
    // plain picture, an unblurred veil and no shadow instead.
    readonly property bool effects: GraphicsInfo.api !== GraphicsInfo.Software

    objectName: "onboardingPage4"
    // The page a screen reader enters, named after what it is about.
    Accessible.role: Accessible.Pane
    Accessible.name: qsTr("Reminders")

    Component.onCompleted: page.onboardingModel.preparePage4()

    // 1. The background picture, fading out towards its own top and bottom
    // edges, as large as fits between the question and the choices so that
    // neither covers it on a short window.
    Item {
        id: background
        objectName: "reminderPicture"

        // Width over height of the picture.
        readonly property real aspect: art.implicitHeight > 0 ? art.implicitWidth / art.implicitHeight : 1
        // The free band between the question and the choices.
        readonly property real bandTop: questionBox.y + questionBox.height
        readonly property real bandHeight: Math.max(0, choices.y - bandTop)

        x: (page.width - width) / 2
        y: bandTop + (bandHeight - height) / 2
        width: Math.min(page.width, bandHeight * background.aspect)
        height: width / background.aspect

        Image {
            id: art
            anchors.fill: parent
            source: "images/fitness6.svg"
            sourceSize.width: 800
            sourceSize.height: 800
            fillMode: Image.PreserveAspectFit
            visible: !page.effects
            Accessible.ignored: true
        }
        // Transparent at both ends, opaque across the middle third. Two of
        // these, one running each way, mask the picture one after the other.
        Rectangle {
            id: fade
            anchors.fill: parent
            visible: false
            gradient: Gradient {
                GradientStop { position: 0.0; color: Qt.rgba(0, 0, 0, 0) }
                GradientStop { position: 1 / 3; color: "black" }
                GradientStop { position: 2 / 3; color: "black" }
                GradientStop { position: 1.0; color: Qt.rgba(0, 0, 0, 0) }
            }
        }
        OpacityMask {
            id: fadedOnce
            anchors.fill: parent
            source: art
            maskSource: fade
            visible: false
        }
        OpacityMask {
            anchors.fill: parent
            source: fadedOnce
            maskSource: fade
            visible: page.effects
        }
    }

    // 2. The question and the choices.
    ColumnLayout {
        anchors.fill: parent
        spacing: 8

        Item {
            id: questionBox
            Layout.fillWidth: true
            Layout.leftMargin: 30
            Layout.rightMargin: 30
            Layout.topMargin: Theme.margin
            implicitHeight: question.implicitHeight

            Text {
                id: question
                objectName: "reminderQuestion"
                Accessible.role: Accessible.StaticText
                Accessible.name: text
                anchors.fill: parent
                text: qsTr("Would you like a boost to stay focused on your goal, or prefer no reminders?")
                // A step smaller on a short window, to leave room for the picture.
                font.pixelSize: page.height < 640 ? Theme.title2Size : Theme.titleSize
                font.bold: true
                color: "white"
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                visible: !page.effects
            }
            DropShadow {
                anchors.fill: question
                source: question
                visible: page.effects
                radius: 5
                samples: 11
                color: Qt.rgba(1, 1, 1, 0.7)
                horizontalOffset: -3
                verticalOffset: 2
                transparentBorder: true
            }
        }
        Item { Layout.fillHeight: true }
        RowLayout {
            id: choices

            // Both choices narrow alike when the window cannot fit them at
            // full width, keeping a margin at the window's edges.
            readonly property real buttonWidth: Math.min(144, (page.width - 2 * Theme.margin - spacing - 2 * 8) / 2)

            Layout.alignment: Qt.AlignHCenter
            spacing: 8

            ChoiceButton {
                objectName: "noButton"
                Layout.preferredWidth: choices.buttonWidth
                Layout.margins: Theme.margin
                padding: Theme.margin
                text: qsTr("No")
                accent: Theme.red
                onClicked: page.onboardingModel.declineReminders()
            }
            ChoiceButton {
                objectName: "yeahButton"
                Layout.preferredWidth: choices.buttonWidth
                leftPadding: Theme.margin
                rightPadding: Theme.margin
                topPadding: 0
                bottomPadding: 0
                text: qsTr("Yeah")
                accent: Theme.appGreen
                onClicked: page.allowedToGoNext = true
            }
        }
        Item {
            Layout.alignment: Qt.AlignHCenter
            Layout.margins: Theme.margin
            implicitWidth: allow.implicitWidth
            implicitHeight: allow.implicitHeight

            PrimaryButton {
                id: allow
                objectName: "allowNotificationsButton"
                anchors.fill: parent
                text: qsTr("Allow Notifications")
                enabled: page.allowedToGoNext
                onClicked: page.onboardingModel.allowNotifications()
            }
            // The veil over the button until "Yeah": black, blurred, 60 %.
            Item {
                objectName: "allowNotificationsVeil"
                Accessible.ignored: true
                anchors.fill: parent
                visible: !page.allowedToGoNext

                Rectangle {
                    id: veilShape
                    anchors.fill: parent
                    radius: 12
                    color: "black"
                    visible: false
                }
                FastBlur {
                    anchors.fill: parent
                    source: veilShape
                    radius: 3
                    transparentBorder: true
                    opacity: 0.6
                    visible: page.effects
                }
                Rectangle {
                    anchors.fill: parent
                    radius: 12
                    color: "black"
                    opacity: 0.6
                    visible: !page.effects
                }
            }
        }
    }
}
