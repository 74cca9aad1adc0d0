import QtQuick
import QtTest
import Hopster

// The keyboard in the real application window, as it opens: Space or Enter
// starts a recording straight away, with no click first, and Tab walks
// through every control, each showing where the focus is.
Item {
    id: root
    width: 100
    height: 100

    Component {
        id: appComponent
        Main {
            homeModel: world.homeModel
            jumpModel: world.jumpModel
            trophyModel: world.trophyModel
            historyModel: world.historyModel
            onboardingModel: world.onboardingModel
        }
    }

    TestCase {
        name: "Keyboard"
        when: windowShown

        property var win: null

        function openApp(hasSeenOnboarding) {
            world.reset(hasSeenOnboarding);
            win = createTemporaryObject(appComponent, root);
            verify(win, "the main window");
            // Key events go to the active window, as on a desktop.
            tryVerify(() => win.active, 3000, "the main window becomes active");
            waitForRendering(win.contentItem);
        }

        function find(name) {
            const found = findChild(win.contentItem, name);
            verify(found, name);
            return found;
        }

        function sceneRect(item) {
            const r = item.mapToItem(null, 0, 0, item.width, item.height);
            return { x: r.x, y: r.y, w: r.width, h: r.height };
        }

        function contains(outer, inner) {
            return inner.x >= outer.x - 0.5 && inner.y >= outer.y - 0.5
                && inner.x + inner.w <= outer.x + outer.w + 0.5
                && inner.y + inner.h <= outer.y + outer.h + 0.5;
        }

        function name(item) {
            return item ? (item.objectName || String(item)) : "nothing";
        }

        function test_startKeysWorkAtOnce_data() {
            return [
                { tag: "space", key: Qt.Key_Space },
                { tag: "return", key: Qt.Key_Return },
                { tag: "enter", key: Qt.Key_Enter }
            ];
        }

        function test_startKeysWorkAtOnce(data) {
            openApp(true);
            keyClick(data.key);
            tryVerify(() => world.jumpModel.isStarting, 1000,
                      "the countdown starts; the focus is on " + name(win.activeFocusItem));
        }

        // The tabs replace the first run in the same window: the jump screen
        // takes the keyboard then too.
        function test_startKeyWorksRightAfterTheFirstRun() {
            openApp(false);
            const stack = find("onboardingStack");
            for (const next of ["letsGoButton", "page2Next", "page3Next"]) {
                tryVerify(() => !stack.busy);
                mouseClick(find(next));
            }
            tryVerify(() => !stack.busy);
            mouseClick(find("noButton"));
            tryVerify(() => findChild(win.contentItem, "homeTabs") !== null);
            keyClick(Qt.Key_Space);
            tryVerify(() => world.jumpModel.isStarting, 1000,
                      "the countdown starts; the focus is on " + name(win.activeFocusItem));
        }

        // Pixels of the image inside the rectangle (grown by `margin` for a
        // ring drawn just outside an item) differ between the two images.
        function differsIn(a, b, r, margin) {
            const x0 = Math.max(0, Math.floor(r.x - margin));
            const y0 = Math.max(0, Math.floor(r.y - margin));
            const x1 = Math.min(a.width, Math.ceil(r.x + r.w + margin));
            const y1 = Math.min(a.height, Math.ceil(r.y + r.h + margin));
            for (let y = y0; y < y1; ++y) {
                for (let x = x0; x < x1; ++x) {
                    if (a.red(x, y) !== b.red(x, y) || a.green(x, y) !== b.green(x, y)
                        || a.blue(x, y) !== b.blue(x, y))
                        return true;
                }
            }
            return false;
        }

        function test_tabVisitsEveryControlAndShowsTheFocus() {
            openApp(true);
            const stops = [];
            for (let i = 0; i < 16; ++i) {
                keyClick(Qt.Key_Tab);
                wait(50);
                const item = win.activeFocusItem;
                if (stops.length > 0 && item === stops[0].item) break;
                stops.push({ item: item, rect: item ? sceneRect(item) : null,
                             image: grabImage(win.contentItem) });
            }
            const names = stops.map((s) => name(s.item));
            const problems = [];
            for (const control of ["startStopButton", "jumpTab", "trophiesTab", "historyTab"]) {
                if (names.indexOf(control) < 0)
                    problems.push(control + " is never reached; Tab stops at " + names.join(", "));
            }

            const window = { x: 0, y: 0, w: win.width, h: win.height };
            for (let i = 0; i < stops.length; ++i) {
                const s = stops[i];
                if (!s.item || !s.item.visible) {
                    problems.push("stop " + i + " (" + name(s.item) + ") is not shown");
                    continue;
                }
                if (!contains(window, s.rect))
                    problems.push(name(s.item) + " lies outside the window");
                for (let p = s.item.parent; p; p = p.parent) {
                    if (p.clip && !contains(sceneRect(p), s.rect))
                        problems.push(name(s.item) + " is cut by " + name(p));
                }
                // When the focus moves on, what the item looks like changes.
                const next = stops[(i + 1) % stops.length];
                if (stops.length > 1 && !differsIn(s.image, next.image, s.rect, 6))
                    problems.push(name(s.item) + " shows no sign of having the focus");
            }
            verify(problems.length === 0, "\n  " + problems.join("\n  "));
        }
    }
}
