pragma Singleton
import QtQuick

// The app's colours and the standard spacing.
//
// Contrast ratios below are WCAG 2.x ratios of relative luminance,
// (L1 + 0.05) / (L2 + 0.05). Text needs 4.5:1, large text (24 px, or bold
// 18.67 px) and icons or control outlines 3:1. A "pale" disc is the same
// colour at opacity 0.2 over the background. tst_contrast.qml holds both
// palettes to these minimums.
QtObject {
    // The dark palette instead of the light one. Main.qml binds it to the
    // desktop's preference (DesktopAppearance); tests set it directly.
    property bool dark: false

    // The app colour: tab tint, button fill, Start button and chart line, the
    // same in both palettes. On white it is only 1.32:1, so it is a fill,
    // never a text or icon colour on white; black on it is 15.9:1.
    readonly property color appGreen: Qt.rgba(94 / 255, 1.0, 83 / 255, 1.0)
    // Bright status colours for large fills and gradients. green is 2.22:1 on
    // white and red 3.55:1: neither is used for text on white. On the dark
    // background red is 4.80:1 and gray 5.22:1.
    readonly property color green: "#34C759"
    readonly property color red: "#FF3B30"
    readonly property color gray: "#8E8E93"

    // Text and icons in the palette's main colour: black, or white on dark.
    readonly property color text: dark ? "#FFFFFF" : "#000000"
    // The green for text and icons on the background: dark on the light
    // palette (5.33:1 on white, 5.07:1 on tabBarBackground, 4.04:1 on its own
    // pale disc: the countdown number, large text, and its ring), light on
    // the dark one (9.25:1 on background, 6.03:1 on its pale disc).
    readonly property color darkGreen: dark ? "#4CD964" : "#1E7B34"
    // The red for text: 6.54:1 on white, 4.69:1 on its own pale disc ("Stop
    // Jumping"); a light red on the dark palette (6.75:1 on background,
    // 4.80:1 on its pale disc).
    readonly property color darkRed: dark ? "#FF7B72" : "#B3261E"
    // Grey text: 5.23:1 on white, 4.97:1 on tabBarBackground (unselected
    // tabs, elapsed time, secondary lines); 7.69:1 and 8.46:1 when dark.
    readonly property color secondaryText: dark ? "#AEAEB2" : "#6C6C70"
    // The text of a control that cannot be used now (a zoom button at its
    // limit): plainly dimmer than any text that can be read as content.
    readonly property color disabledText: dark ? "#5A5A5E" : "#B4B4B9"
    // The keyboard focus ring: 6.39:1 on white, 6.07:1 on tabBarBackground,
    // 4.84:1 next to appGreen. On the dark palette it must stand out from
    // both the dark backgrounds and appGreen, which bounds its lightness:
    // 3.90:1 on background, 3.31:1 next to appGreen.
    readonly property color focusRing: dark ? "#3474E8" : "#0B57D0"
    // The face of a grey button under white text: 5.99:1 (the trophy popup's "Ok").
    readonly property color controlGray: "#636366"
    // The face of the built-in push buttons (the push URL's "Copy").
    readonly property color buttonFace: dark ? "#3A3A3C" : "#EFEFEF"

    readonly property color background: dark ? "#1C1C1E" : "#FFFFFF"
    readonly property color groupedBackground: dark ? "#000000" : "#F2F2F7"
    readonly property color tabBarBackground: dark ? "#121214" : "#F9F9F9"
    // The hairline above the tab bar (decoration only).
    readonly property color separator: dark ? "#48484A" : "#C6C6C8"
    // What a modal alert dims the screen with.
    readonly property color scrim: dark ? Qt.rgba(0, 0, 0, 0.6) : Qt.rgba(0, 0, 0, 0.4)

    // Width of the focus ring.
    readonly property int focusRingWidth: 3
    // The widest the content of a screen grows on a wide window; it stays centred.
    readonly property int contentMaxWidth: 600

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
