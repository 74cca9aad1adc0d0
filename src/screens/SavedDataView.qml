pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Controls.impl
import QtQuick.Layouts
import Hopster

// The history screen: every saved recording, latest start first, or a
// placeholder when there is none. The records are read again each time the
// tab comes into view and when the list is pulled down past a threshold and
// let go. A tap on a row (or Enter on the current row) opens that recording
// over the list, which keeps its place for the way back.
Page {
    id: screen

    required property HistoryModel historyModel
    // Whether the History tab is the one on display.
    property bool active: true
    // How far the list must be pulled past its top for a refresh.
    readonly property real refreshThreshold: 64
    property bool refreshing: false

    objectName: "savedDataView"
    background: Rectangle { color: Theme.groupedBackground }

    // The row a recording was opened from; null while the list shows.
    property var openRow: null

    function reload() {
        historyModel.loadUserRecords();
    }

    function openRecording(row) {
        list.currentIndex = row.index;
        screen.openRow = {
            "startDateText": row.startDateText,
            "durationText": row.durationText,
            "jumpsText": row.jumpsText,
            "speedText": row.speedText
        };
        historyModel.recording.open(row.fileName);
        recordingView.forceActiveFocus();
    }

    function closeRecording() {
        historyModel.recording.close();
        screen.openRow = null;
        list.forceActiveFocus();
    }

    // Pull-to-refresh: the indicator is switched on as the reload is asked
    // for, and off once the model has finished every reload asked for (the
    // records are read on a worker thread).
    function refresh() {
        refreshing = true;
        reload();
    }

    readonly property bool modelLoading: historyModel.loading
    onModelLoadingChanged: if (!modelLoading) refreshing = false

    onActiveChanged: if (active) reload()
    Component.onCompleted: if (active) reload()

    header: Label {
        objectName: "historyTitle"
        visible: screen.openRow === null
        text: qsTr("Saved Data")
        font.pixelSize: Theme.largeTitleSize
        font.bold: true
        // Lined up with the rows, also when they are centred on a wide window.
        leftPadding: Math.max(Theme.margin, (width - Theme.contentMaxWidth) / 2 + Theme.margin)
        rightPadding: leftPadding
        topPadding: 8
        bottomPadding: 8
        elide: Text.ElideRight
        background: Rectangle { color: Theme.groupedBackground }
        Accessible.role: Accessible.Heading
        Accessible.name: text
    }

    ColumnLayout {
        objectName: "historyPlaceholder"
        anchors.centerIn: parent
        width: parent.width - 2 * Theme.margin
        visible: screen.historyModel.isEmpty
        spacing: 12
        Accessible.role: Accessible.StaticText
        Accessible.name: placeholderText.text

        IconImage {
            Layout.alignment: Qt.AlignHCenter
            Layout.preferredWidth: 160
            Layout.preferredHeight: 160
            source: "images/history-placeholder.svg"
            sourceSize.width: 320
            sourceSize.height: 320
            fillMode: Image.PreserveAspectFit
            color: Theme.gray
            Accessible.ignored: true
        }
        Label {
            id: placeholderText
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            text: qsTr("No data recorded yet")
            // Secondary text's grey: the lighter grey of the picture reads at
            // under 3:1 on the light grouped background.
            color: Theme.secondaryText
            font.pixelSize: Theme.bodySize
        }
    }

    ListView {
        id: list
        objectName: "historyList"
        // On a wide window the rows keep a readable width, centred.
        anchors.top: parent.top
        anchors.bottom: parent.bottom
        anchors.horizontalCenter: parent.horizontalCenter
        width: Math.min(parent.width, Theme.contentMaxWidth)
        anchors.topMargin: 8
        // Hidden under an opened recording, also from a screen reader; it
        // keeps its place for the way back.
        visible: !screen.historyModel.isEmpty && screen.openRow === null
        model: screen.historyModel
        clip: true
        spacing: 1
        boundsBehavior: Flickable.DragAndOvershootBounds
        activeFocusOnTab: true
        keyNavigationEnabled: true
        Keys.onReturnPressed: if (currentItem) screen.openRecording(currentItem)
        Keys.onEnterPressed: if (currentItem) screen.openRecording(currentItem)
        Accessible.role: Accessible.List
        Accessible.name: qsTr("Saved recordings")

        // How far the list is pulled down past its top, 0 when it is not.
        readonly property real pullDistance: Math.max(0, -verticalOvershoot)

        onDragEnded: if (pullDistance >= screen.refreshThreshold && !screen.refreshing) screen.refresh()

        delegate: Rectangle {
            id: row

            required property int index
            required property string startDateText
            required property string durationText
            required property string jumpsText
            required property string speedText
            required property string fileName

            objectName: "historyRow_" + index
            width: ListView.view.width
            implicitHeight: lines.implicitHeight + 2 * 11
            color: Theme.background
            Accessible.role: Accessible.ListItem
            Accessible.name: startDateText + ", " + durationText + ", " + jumpsText + ", " + speedText
            Accessible.onPressAction: screen.openRecording(row)

            TapHandler {
                onTapped: screen.openRecording(row)
            }
            // The current row, while the list has the keyboard focus.
            Rectangle {
                anchors.fill: parent
                color: "transparent"
                border.width: Theme.focusRingWidth
                border.color: Theme.focusRing
                visible: row.ListView.isCurrentItem && list.activeFocus
            }

            ColumnLayout {
                id: lines
                anchors.verticalCenter: parent.verticalCenter
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.leftMargin: Theme.margin
                anchors.rightMargin: Theme.margin
                spacing: 2

                // Long lines wrap: the row grows rather than cut a date.
                Label {
                    objectName: "historyStartDate"
                    Layout.fillWidth: true
                    text: row.startDateText
                    font.pixelSize: Theme.headlineSize
                    font.weight: Font.DemiBold
                    wrapMode: Text.Wrap
                }
                Label {
                    objectName: "historyDuration"
                    Layout.fillWidth: true
                    text: row.durationText
                    font.pixelSize: Theme.subheadlineSize
                    wrapMode: Text.Wrap
                }
                RowLayout {
                    Layout.fillWidth: true
                    Label {
                        objectName: "historyJumps"
                        Layout.fillWidth: true
                        text: row.jumpsText
                        font.pixelSize: Theme.subheadlineSize
                        wrapMode: Text.Wrap
                    }
                    Label {
                        objectName: "historySpeed"
                        Layout.maximumWidth: lines.width * 0.6
                        text: row.speedText
                        font.pixelSize: Theme.bodySize
                        horizontalAlignment: Text.AlignRight
                        wrapMode: Text.Wrap
                    }
                }
            }
        }
    }

    // Appears as the list is pulled down and spins while the records are read.
    BusyIndicator {
        objectName: "historyRefreshIndicator"
        anchors.horizontalCenter: parent.horizontalCenter
        y: 4
        width: 28
        height: 28
        visible: list.visible && (screen.refreshing || list.pullDistance > 0)
        opacity: screen.refreshing ? 1 : Math.min(1, list.pullDistance / screen.refreshThreshold)
        running: visible
        Accessible.name: qsTr("Refreshing")
    }

    // The recording opened from a row, over the whole screen; hidden (and
    // out of the focus chain) while the list shows.
    RecordingView {
        id: recordingView
        anchors.fill: parent
        visible: screen.openRow !== null
        recording: screen.historyModel.recording
        startDateText: screen.openRow?.startDateText ?? ""
        durationText: screen.openRow?.durationText ?? ""
        jumpsText: screen.openRow?.jumpsText ?? ""
        speedText: screen.openRow?.speedText ?? ""
        onBack: screen.closeRecording()
    }
}
