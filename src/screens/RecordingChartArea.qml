pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Hopster

// A recording's trace chart with its controls. The wheel zooms around the
// pointer, a pinch around its centre, a drag pans; with the keyboard focus
// on the chart + and - zoom, ← and → pan and Home shows the whole recording.
// The buttons do the same for a pointer without a wheel.
ColumnLayout {
    id: area

    required property RecordingViewModel recording
    // A drag is panning the chart (the page must not scroll meanwhile).
    readonly property bool dragging: drag.active || pinch.active
    property alias chart: chart
    // The height of the chart itself, the controls below it apart.
    property real chartHeight: 220

    spacing: 6

    // "0:12 – 1:40": the span in view, as the time axis writes it.
    function spanText() {
        const minutes = (s) => Math.floor(s / 60) + ":" + String(Math.floor(s % 60)).padStart(2, "0");
        return minutes(chart.viewFrom) + " – " + minutes(chart.viewTo);
    }

    Rectangle {
        Layout.fillWidth: true
        Layout.preferredHeight: area.chartHeight
        color: Theme.background
        radius: 8
        border.width: chart.activeFocus ? Theme.focusRingWidth : 0
        border.color: Theme.focusRing

        TraceChart {
            id: chart
            objectName: "traceChart"
            anchors.fill: parent
            anchors.margins: 6
            model: area.recording
            lineColor: Theme.darkGreen
            markColor: Theme.darkRed
            textColor: Theme.secondaryText
            gridColor: Theme.separator
            activeFocusOnTab: true
            Accessible.role: Accessible.Chart
            Accessible.name: qsTr("Vertical acceleration from %1, %2 jumps in view; the jump threshold is 0.7 g")
                .arg(area.spanText()).arg(chart.jumpsInView)

            Keys.onPressed: (event) => {
                const step = chart.width / 8;
                if (event.key === Qt.Key_Plus || event.key === Qt.Key_Equal) chart.zoomAt(2, chart.width / 2);
                else if (event.key === Qt.Key_Minus) chart.zoomAt(0.5, chart.width / 2);
                else if (event.key === Qt.Key_Left) chart.panBy(-step);
                else if (event.key === Qt.Key_Right) chart.panBy(step);
                else if (event.key === Qt.Key_Home || event.key === Qt.Key_0) chart.showAll();
                else return;
                event.accepted = true;
            }

            WheelHandler {
                acceptedDevices: PointerDevice.Mouse | PointerDevice.TouchPad
                onWheel: (event) => {
                    chart.zoomAt(Math.pow(1.0015, event.angleDelta.y), point.position.x);
                    event.accepted = true;
                }
            }
            PinchHandler {
                id: pinch
                target: null
                property real lastScale: 1
                onActiveChanged: lastScale = 1
                onActiveScaleChanged: {
                    chart.zoomAt(activeScale / lastScale, centroid.position.x);
                    lastScale = activeScale;
                }
            }
            DragHandler {
                id: drag
                target: null
                xAxis.enabled: true
                yAxis.enabled: false
                property real lastX: 0
                onActiveChanged: lastX = 0
                onTranslationChanged: {
                    chart.panBy(lastX - translation.x);
                    lastX = translation.x;
                }
            }
        }
    }

    RowLayout {
        Layout.fillWidth: true
        spacing: 8
        SmallButton {
            objectName: "zoomOut"
            text: "−"
            enabled: !chart.showsAll
            Accessible.name: qsTr("Zoom out")
            onClicked: chart.zoomAt(0.5, chart.width / 2)
        }
        SmallButton {
            objectName: "zoomIn"
            text: "+"
            enabled: chart.viewTo - chart.viewFrom > 1.01
            Accessible.name: qsTr("Zoom in")
            onClicked: chart.zoomAt(2, chart.width / 2)
        }
        SmallButton {
            objectName: "showWhole"
            text: qsTr("Whole")
            enabled: !chart.showsAll
            Accessible.name: qsTr("Show the whole recording")
            onClicked: chart.showAll()
        }
    }
    // What is in view, and what the red marks mean.
    Flow {
        Layout.fillWidth: true
        spacing: 12
        Label {
            objectName: "chartSpan"
            text: qsTr("%1 · %2 jumps in view").arg(area.spanText()).arg(chart.jumpsInView)
            color: Theme.secondaryText
            font.pixelSize: Theme.captionSize + 1
        }
        Label {
            text: qsTr("red: jump threshold 0.7 g, a tick per jump")
            color: Theme.darkRed
            font.pixelSize: Theme.captionSize + 1
        }
    }
}
