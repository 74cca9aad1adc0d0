import QtQuick
import QtTest
import Hopster

// The jump screen on the real core, in virtual time.
Item {
    id: root
    width: 390
    height: 844

    Component {
        id: screenComponent
        JumpView {
            anchors.fill: parent
            jumpModel: world.jumpModel
        }
    }

    TestCase {
        name: "JumpView"
        when: windowShown

        property var screen

        function init() {
            world.reset(true);
            screen = createTemporaryObject(screenComponent, root);
            verify(screen);
        }

        function item(name) {
            const found = findChild(screen, name);
            verify(found, name);
            return found;
        }

        function ringProgress() {
            return item("countdownRing").progress;
        }

        function test_startWithoutHeadphonesShowsTheAlertAndNothingElse() {
            world.setHeadphones(false);
            mouseClick(item("headphoneStatus"));
            compare(item("headphoneDot").color, Theme.red);
            mouseClick(item("startStopButton"));
            tryCompare(item("headphoneAlert"), "visible", true);
            compare(world.hapticTaps(), 0);
            compare(item("countdownRing").visible, false);
            mouseClick(item("headphoneAlertAccept"));
            compare(screen.jumpModel.showHeadphoneAlert, false);
            world.setHeadphones(true);
            mouseClick(item("headphoneStatus"));
            compare(item("headphoneDot").color, Theme.green);
        }

        function test_startWithoutMotionAccessShowsItsAlert() {
            world.setMotionAuthorization(0);
            mouseClick(item("startStopButton"));
            tryCompare(item("motionAccessAlert"), "visible", true);
            verify(world.logLines().indexOf("no access") >= 0);
        }

        function test_countdownRecordingAndStopWithATrophy() {
            mouseClick(item("startStopButton"));
            compare(item("startStopButton").visible, false);
            compare(item("countdownRing").visible, true);
            const expected = [[3, 0], [2, 1 / 3], [1, 2 / 3], [0, 1]];
            for (let i = 0; i < expected.length; ++i) {
                compare(item("countdownNumber").text, String(expected[i][0]));
                fuzzyCompare(ringProgress(), expected[i][1], 1e-9);
                world.advance(1.0);
            }
            compare(item("startStopButton").visible, true);
            compare(screen.jumpModel.isRecording, true);
            compare(world.announcements(), ["3", "2", "1"]);

            world.jump(12);
            compare(item("jumpCount").text, "12");
            world.advance(3.0);
            compare(item("elapsedTime").text, "00:03");

            mouseClick(item("startStopButton"));
            compare(item("jumpCount").text, "0");
            compare(item("elapsedTime").text, "00:00");
            compare(item("totalJumps").text, "Total Jumps: 12");
            compare(item("accelerationChart").visible, true);
            const popup = item("trophyAlert");
            tryVerify(() => popup.parent.opacity > 0.99);
            compare(popup.trophy.title, "First 10 Times");
            world.advance(4.0);
            tryCompare(popup.parent, "opacity", 0);
        }

        function test_tappingTheRingCancels() {
            mouseClick(item("startStopButton"));
            world.advance(1.0);
            mouseClick(item("countdownRing"));
            compare(item("startStopButton").visible, true);
            world.advance(10.0);
            compare(screen.jumpModel.isRecording, false);
        }

        function test_aLongCountStaysOnOneLine() {
            mouseClick(item("startStopButton"));
            world.advance(4.0);
            world.jump(12345);
            const count = item("jumpCount");
            compare(count.text, "12345");
            verify(count.lineCount === 1);
            verify(count.contentWidth <= count.width + 1);
        }

        function test_keyboardStartsAndStops() {
            screen.forceActiveFocus();
            keyClick(Qt.Key_Space);
            compare(screen.jumpModel.isStarting, true);
            world.advance(4.0);
            keyClick(Qt.Key_Return);
            compare(screen.jumpModel.isRecording, false);
        }
    }
}
