pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import Hopster

// A recording's jumps per minute as bars, minute 1 on the left, the peak
// minute's bar dark green and labelled. A long recording scrolls sideways;
// each bar is a list item a screen reader reads as "Minute 3: 131 jumps".
ListView {
    id: bars

    required property RecordingViewModel recording
    readonly property int peak: Math.max(1, recording.peakJumpsPerMinute)
    // Room under the bars for the minute labels.
    readonly property int labelHeight: 18

    objectName: "minuteBars"
    orientation: ListView.Horizontal
    model: recording.jumpsPerMinute
    clip: true
    spacing: 2
    boundsBehavior: Flickable.StopAtBounds
    activeFocusOnTab: true
    keyNavigationEnabled: true
    Accessible.role: Accessible.List
    Accessible.name: qsTr("Jumps per minute")

    // Bars fill the width when they fit at 8 px or more, and scroll beyond.
    readonly property real barWidth: count > 0 ? Math.max(8, Math.min(48, (width - (count - 1) * spacing) / count)) : 0
    // Every how many bars a minute number fits under them.
    readonly property int labelEvery: Math.max(1, Math.ceil(28 / (barWidth + spacing)))

    delegate: Item {
        id: bar

        required property int index
        required property int modelData
        readonly property bool isPeak: index === bars.recording.peakMinute

        width: bars.barWidth
        height: bars.height
        Accessible.role: Accessible.ListItem
        Accessible.name: qsTr("Minute %1: %2 jumps").arg(index + 1).arg(modelData)

        Rectangle {
            anchors.bottom: parent.bottom
            anchors.bottomMargin: bars.labelHeight
            width: parent.width
            height: Math.max(bar.modelData > 0 ? 2 : 0, (bars.height - bars.labelHeight - 18) * bar.modelData / bars.peak)
            radius: 2
            color: bar.isPeak ? Theme.darkGreen : Theme.green
            border.width: bars.activeFocus && bars.currentIndex === bar.index ? 2 : 0
            border.color: Theme.focusRing
        }
        Label {
            visible: bar.isPeak
            anchors.horizontalCenter: parent.horizontalCenter
            anchors.bottom: parent.bottom
            anchors.bottomMargin: bars.labelHeight + 2 + (bars.height - bars.labelHeight - 18) * bar.modelData / bars.peak
            text: bar.modelData
            font.pixelSize: Theme.captionSize
            Accessible.ignored: true  // the bar's name says it
            color: Theme.darkGreen
            font.bold: true
        }
        Label {
            visible: bar.index % bars.labelEvery === 0
            anchors.left: parent.left
            anchors.bottom: parent.bottom
            text: bar.index + 1
            font.pixelSize: Theme.captionSize
            Accessible.ignored: true  // the bar's name says it
            color: Theme.secondaryText
        }
    }
}
