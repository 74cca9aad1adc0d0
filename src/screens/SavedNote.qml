import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Hopster

// After a stop that saved a recording, what was saved; it fades after a few
// seconds or when the next recording starts. Its line is kept so nothing
// moves when it comes and goes.
Label {
    id: savedNote
    required property JumpViewModel jumpModel

    objectName: "savedConfirmation"
    readonly property string confirmation: savedNote.jumpModel.savedConfirmation
    property bool fresh: false
    Layout.preferredHeight: Math.ceil(fontMetrics.height)
    text: confirmation
    color: Theme.darkGreen
    font.pixelSize: Theme.subheadlineSize
    horizontalAlignment: Text.AlignHCenter
    elide: Text.ElideRight
    opacity: fresh && confirmation !== "" && !savedNote.jumpModel.isStarting
             && !savedNote.jumpModel.isRecording ? 1 : 0
    Behavior on opacity { NumberAnimation { duration: 400 } }
    Accessible.role: Accessible.StaticText
    Accessible.name: opacity > 0 ? text : ""
    onConfirmationChanged: {
        fresh = confirmation !== "";
        if (fresh) savedNoteTimer.restart();
    }
    FontMetrics {
        id: fontMetrics
        font.pixelSize: Theme.subheadlineSize
    }
    Timer {
        id: savedNoteTimer
        interval: 4000
        onTriggered: savedNote.fresh = false
    }
}
