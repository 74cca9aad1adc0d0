import QtQuick
import QtQuick.Controls
import Hopster

// The one window: the home view, phone-shaped by default and resizable.
ApplicationWindow {
    id: window

    required property HomeViewModel homeModel
    required property JumpViewModel jumpModel
    required property TrophyListModel trophyModel
    required property HistoryModel historyModel
    required property OnboardingViewModel onboardingModel
    // The desktop's light or dark preference; without one the style is light.
    property DesktopAppearance appearance: null

    width: 390
    height: 844
    minimumWidth: 320
    minimumHeight: 560
    visible: true
    title: qsTr("Hopster")
    color: Theme.background
    // Built-in controls and text selection follow the palette too.
    palette.window: Theme.background
    palette.active.windowText: Theme.text
    palette.inactive.windowText: Theme.text
    palette.base: Theme.background
    palette.alternateBase: Theme.groupedBackground
    palette.active.text: Theme.text
    palette.inactive.text: Theme.text
    palette.button: Theme.buttonFace
    palette.active.buttonText: Theme.text
    palette.inactive.buttonText: Theme.text
    palette.mid: Theme.separator
    palette.placeholderText: Theme.secondaryText
    palette.highlight: Theme.appGreen
    palette.highlightedText: "black"
    // The text colours are set state by state: set for all at once, they
    // would hide that a control is disabled, which keeps a dimmer colour.
    palette.disabled.buttonText: Theme.disabledText
    palette.disabled.windowText: Theme.disabledText
    palette.disabled.text: Theme.disabledText

    Binding {
        target: Theme
        property: "dark"
        value: window.appearance !== null && window.appearance.dark
        when: window.appearance !== null
    }

    HomeView {
        anchors.fill: parent
        focus: true
        homeModel: window.homeModel
        jumpModel: window.jumpModel
        trophyModel: window.trophyModel
        historyModel: window.historyModel
        onboardingModel: window.onboardingModel
    }
}
