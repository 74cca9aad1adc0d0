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
            screen.forceActiveFocus();
        }

        function item(name) {
            const found = findChild(screen, name);
            verify(found, name);
            return found;
        }

        // Motion authorization: 0 not determined, 3 authorized.
        function test_startWithoutHeadphonesOrMotionAccessOnlyAlerts_data() {
            return [
                { tag: "headphones", headphones: false, motion: 3, alert: "headphoneAlert",
                  shown: "showHeadphoneAlert" },
                { tag: "motion access", headphones: true, motion: 0, alert: "motionAccessAlert",
                  shown: "showAlertMotionAccess" }
            ];
        }

        function test_startWithoutHeadphonesOrMotionAccessOnlyAlerts(data) {
            world.setHeadphones(data.headphones);
            world.setMotionAuthorization(data.motion);
            mouseClick(item("headphoneStatus"));
            compare(item("headphoneDot").color, data.headphones ? Theme.green : Theme.red);
            mouseClick(item("startStopButton"));
            tryCompare(item(data.alert), "visible", true);
            compare(item("countdownRing").visible, false);
            compare(world.hapticTaps(), 0);
            mouseClick(item(data.alert + "Accept"));
            compare(screen.jumpModel[data.shown], false);
        }

        function test_countdownRecordingAndStopWithATrophy() {
            mouseClick(item("startStopButton"));
            for (let second = 0; second <= 3; ++second) {
                compare(item("startStopButton").visible, false);
                compare(item("countdownNumber").text, String(3 - second));
                fuzzyCompare(item("countdownRing").progress, second / 3, 1e-9);
                world.advance(1.0);
            }
            compare(screen.jumpModel.isRecording, true);
            world.jump(12);
            world.advance(3.0);
            compare(item("jumpCount").text, "12");
            compare(item("elapsedTime").text, "00:03");

            keyClick(Qt.Key_Return);
            compare(screen.jumpModel.isRecording, false);
            compare(item("jumpCount").text, "0");
            compare(item("elapsedTime").text, "00:00");
            compare(item("totalJumps").text, "Total Jumps: 12");
            const popup = item("trophyAlert");
            tryVerify(() => popup.parent.opacity > 0.99);
            compare(popup.trophy.title, "First 10 Times");
            world.advance(4.0);
            tryCompare(popup.parent, "opacity", 0);
        }

        function test_spaceStartsAndTappingTheRingCancels() {
            keyClick(Qt.Key_Space);
            compare(screen.jumpModel.isStarting, true);
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
            compare(count.lineCount, 1);
            verify(count.contentWidth <= count.width + 1);
        }
    }
}
