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
            compare(item("headphoneDot").color, data.headphones ? Theme.darkGreen : Theme.red);
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
            // Both change on the screen's next frame.
            tryCompare(item("jumpCount"), "text", "12");
            tryCompare(item("elapsedTime"), "text", "00:03");
            // The journal keeps up: no warning under the count.
            compare(item("journalWarning").visible, false);

            keyClick(Qt.Key_Return);
            compare(screen.jumpModel.isRecording, false);
            tryCompare(item("jumpCount"), "text", "0");
            tryCompare(item("elapsedTime"), "text", "00:00");
            compare(item("totalJumps").text, "Total Jumps: 12");
            const popup = item("trophyAlert");
            tryVerify(() => popup.parent.opacity > 0.99);
            compare(popup.trophy.title, "First 10 Times");
            world.advance(4.0);
            tryCompare(popup.parent, "opacity", 0);
        }

        // With the records folder gone (an unmounted card, say) no journal
        // can be made: one line under the count says so at once while
        // recording, and the alert after the failed save says plainly that
        // nothing is kept, never that it is.
        function test_aRecordingNotKeptOnDiskSaysSoUnderTheCountAndInTheAlert() {
            world.loseRecordsFolder();
            const warning = item("journalWarning");
            const count = item("jumpCount");
            compare(warning.visible, false);
            mouseClick(item("startStopButton"));
            world.advance(4.0);
            compare(screen.jumpModel.isRecording, true);
            verify(warning.visible);
            compare(warning.text, "Not being kept safe: No such file or directory");
            tryVerify(() => warning.y >= count.y + count.height, 1000, "under the count");
            compare(warning.lineCount, 1);

            world.jump(5);
            keyClick(Qt.Key_Space);
            const alert = item("saveFailureAlert");
            tryCompare(alert, "visible", true);
            compare(warning.visible, false);
            compare(alert.message, "None of the 5 jumps counted is kept on disk: the next start"
                    + " will recover nothing of this recording. Try saving again, or discard them.");
        }

        function test_spaceStartsAndTheRingCancels_data() {
            return [
                { tag: "tap", cancel: () => mouseClick(item("countdownRing")) },
                { tag: "space", cancel: () => keyClick(Qt.Key_Space) },
                { tag: "escape", cancel: () => keyClick(Qt.Key_Escape) }
            ];
        }

        function test_spaceStartsAndTheRingCancels(data) {
            keyClick(Qt.Key_Space);
            compare(screen.jumpModel.isStarting, true);
            world.advance(1.0);
            data.cancel();
            compare(screen.jumpModel.isStarting, false);
            compare(item("startStopButton").visible, true);
            world.advance(10.0);
            compare(screen.jumpModel.isRecording, false);
            // The focus is back on Start: the keyboard goes on at once.
            verify(item("startStopButton").activeFocus);
            keyClick(Qt.Key_Return);
            compare(screen.jumpModel.isStarting, true);
        }

        function test_aStopThatSavedConfirmsItUntilTheNextStartOrAWhile_data() {
            return [
                { tag: "next start", wait: false },
                { tag: "a few seconds", wait: true }
            ];
        }

        function test_aStopThatSavedConfirmsItUntilTheNextStartOrAWhile(data) {
            const note = item("savedConfirmation");
            mouseClick(item("startStopButton"));
            world.advance(4.0);
            world.jump(30);
            world.advance(15.0);
            keyClick(Qt.Key_Space);
            compare(screen.jumpModel.isRecording, false);
            tryVerify(() => note.opacity > 0.99);
            verify(note.text.indexOf("30") >= 0, note.text);
            if (data.wait) {
                tryCompare(note, "opacity", 0, 6000);
            } else {
                keyClick(Qt.Key_Space);
                compare(screen.jumpModel.isStarting, true);
                tryCompare(note, "opacity", 0);
            }
        }

        // A new count rises into place over a few frames of the clock the
        // chart shares, and the clock stops once all is still again.
        function test_theCountRisesIntoPlaceAndTheClockThenStops() {
            const count = item("jumpCount");
            const clock = item("accelerationChart").clock;
            tryCompare(clock, "running", false);
            // How the digits look in the frame they change in.
            const shown = [];
            const record = () => shown.push({ opacity: count.opacity, y: count.transform[0].y });
            count.textChanged.connect(record);
            mouseClick(item("startStopButton"));
            world.advance(4.0);
            world.jump(1);
            tryCompare(count, "text", "1");
            count.textChanged.disconnect(record);
            compare(shown.length, 1);
            fuzzyCompare(shown[0].opacity, 0.4, 1e-6, "the new digits start faint");
            fuzzyCompare(shown[0].y, 24, 1e-6, "and low");
            tryCompare(count, "opacity", 1, 2000);
            compare(count.transform[0].y, 0);
            keyClick(Qt.Key_Return);
            compare(screen.jumpModel.isRecording, false);
            tryCompare(count, "opacity", 1, 2000);
            tryCompare(clock, "running", false, 2000);
        }

        // The chart redraws as points arrive, empties at Stop and then stays
        // still: no redraws while nothing records.
        function test_theChartRedrawsOnlyWhilePointsArrive() {
            const chart = item("accelerationChart");
            wait(100);
            const idle = chart.frameCount;
            wait(200);
            compare(chart.frameCount, idle, "idle before a recording");

            mouseClick(item("startStopButton"));
            world.advance(4.0);
            world.jump(3);
            world.advance(1.0);
            verify(screen.jumpModel.chartPointCount > 0);
            // New points are drawn on the frame clock's next tick.
            tryVerify(() => chart.frameCount > idle);

            keyClick(Qt.Key_Return);
            compare(screen.jumpModel.isRecording, false);
            compare(screen.jumpModel.chartPointCount, 0);
            const stopped = chart.frameCount;
            wait(200);
            compare(chart.frameCount, stopped, "idle after Stop");
        }
    }
}
