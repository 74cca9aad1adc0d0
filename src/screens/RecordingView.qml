pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Hopster

// One saved recording, opened from the history list: its summary, its whole
// vertical acceleration (zoom and pan with the wheel, a pinch, a drag, the
// buttons or the keys + - ← → and Home), its jumps per minute, its peak
// minute and its longest run. Back (the button, Escape or Alt+←) returns to
// the list. The row's own lines show at once; the rest once the file is read.
FocusScope {
    id: view

    required property RecordingViewModel recording
    // The history row's lines: "Start Date: …", "Duration: …", and so on.
    required property string startDateText
    required property string durationText
    required property string jumpsText
    required property string speedText

    signal back()

    objectName: "recordingView"

    Keys.onEscapePressed: view.back()
    Keys.onBackPressed: view.back()
    Shortcut {
        sequence: "Alt+Left"
        onActivated: view.back()
    }

    Rectangle {
        anchors.fill: parent
        color: Theme.groupedBackground
    }

    RowLayout {
        id: bar
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.margins: 8
        spacing: 8

        SmallButton {
            id: backButton
            objectName: "recordingBack"
            text: qsTr("‹ Saved Data")
            focus: true
            onClicked: view.back()
        }
        Label {
            Layout.fillWidth: true
            text: qsTr("Recording")
            font.pixelSize: Theme.headlineSize
            font.bold: true
            horizontalAlignment: Text.AlignRight
            elide: Text.ElideRight
            Accessible.role: Accessible.Heading
            Accessible.name: text
        }
    }

    Flickable {
        id: page
        anchors.top: bar.bottom
        anchors.topMargin: 8
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        contentHeight: column.implicitHeight + 2 * Theme.margin
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        // The chart takes drags for panning; the page scrolls from the rest.
        interactive: !chartArea.dragging

        ColumnLayout {
            id: column
            x: Math.max(Theme.margin, (page.width - width) / 2)
            y: Theme.margin / 2
            width: Math.min(page.width - 2 * Theme.margin, 1100)
            spacing: 12

            // The summary, as the list's row has it.
            ColumnLayout {
                objectName: "recordingSummary"
                Layout.fillWidth: true
                Layout.maximumWidth: Theme.contentMaxWidth
                spacing: 2
                Label {
                    Layout.fillWidth: true
                    text: view.startDateText
                    font.pixelSize: Theme.headlineSize
                    font.weight: Font.DemiBold
                    wrapMode: Text.Wrap
                }
                Repeater {
                    model: [view.durationText, view.jumpsText, view.speedText]
                    Label {
                        required property string modelData
                        Layout.fillWidth: true
                        text: modelData
                        font.pixelSize: Theme.subheadlineSize
                        wrapMode: Text.Wrap
                    }
                }
                Label {
                    objectName: "recordingPeak"
                    Layout.fillWidth: true
                    visible: view.recording.peakMinuteText !== ""
                    text: qsTr("Peak minute: %1").arg(view.recording.peakMinuteText)
                    font.pixelSize: Theme.subheadlineSize
                    wrapMode: Text.Wrap
                }
                Label {
                    objectName: "recordingLongestRun"
                    Layout.fillWidth: true
                    visible: view.recording.longestRunText !== ""
                    text: qsTr("Longest run: %1").arg(view.recording.longestRunText)
                    font.pixelSize: Theme.subheadlineSize
                    wrapMode: Text.Wrap
                }
                Label {
                    objectName: "recordingRecount"
                    Layout.fillWidth: true
                    visible: text !== ""
                    text: view.recording.recountText
                    color: Theme.darkRed
                    font.pixelSize: Theme.subheadlineSize
                    wrapMode: Text.Wrap
                }
            }

            RowLayout {
                objectName: "recordingLoading"
                visible: view.recording.loading
                spacing: 8
                BusyIndicator {
                    running: parent.visible
                    implicitWidth: 28
                    implicitHeight: 28
                    Accessible.ignored: true
                }
                Label {
                    text: qsTr("Reading the recording…")
                    color: Theme.secondaryText
                    font.pixelSize: Theme.subheadlineSize
                }
            }
            Label {
                objectName: "recordingError"
                Layout.fillWidth: true
                visible: text !== ""
                text: view.recording.errorText
                color: Theme.darkRed
                font.pixelSize: Theme.bodySize
                wrapMode: Text.Wrap
            }

            Label {
                visible: !view.recording.loading && view.recording.errorText === ""
                text: qsTr("Vertical acceleration")
                font.pixelSize: Theme.title3Size
                font.bold: true
                Accessible.role: Accessible.Heading
                Accessible.name: text
            }
            RecordingChartArea {
                id: chartArea
                Layout.fillWidth: true
                chartHeight: Math.max(180, Math.min(340, page.height * 0.45))
                visible: !view.recording.loading && view.recording.errorText === ""
                recording: view.recording
            }

            Label {
                visible: minuteBars.count > 0
                text: qsTr("Jumps per minute")
                font.pixelSize: Theme.title3Size
                font.bold: true
                Accessible.role: Accessible.Heading
                Accessible.name: text
            }
            MinuteBars {
                id: minuteBars
                Layout.fillWidth: true
                Layout.preferredHeight: 150
                visible: count > 0
                recording: view.recording
            }
        }
    }
}
