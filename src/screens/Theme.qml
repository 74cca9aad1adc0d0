pragma Singleton
import QtQuick

// The app's colours and the standard spacing.
QtObject {
    // The app colour: tab tint, button fill, Start button and chart line.
    readonly property color appGreen: Qt.rgba(94 / 255, 1.0, 83 / 255, 1.0)
    readonly property color green: "#34C759"
    readonly property color red: "#FF3B30"
    readonly property color gray: "#8E8E93"
    readonly property color secondaryText: "#6C6C70"
    readonly property color background: "#FFFFFF"
    readonly property color groupedBackground: "#F2F2F7"
    // The default space a view keeps around itself.
    readonly property int margin: 16
    // Text sizes of the text styles in use.
    readonly property int largeTitleSize: 34
    readonly property int titleSize: 28
    readonly property int title2Size: 22
    readonly property int title3Size: 20
    readonly property int headlineSize: 17
    readonly property int subheadlineSize: 15
    readonly property int bodySize: 17
    readonly property int captionSize: 12
}
