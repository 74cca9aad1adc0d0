import QtQuick
import QtTest
import Hopster

// What a user sees at the smallest supported phone window, two common phone
// sizes and a desktop window: every screen and state is laid out in the real
// application window, and its key items must lie inside the window, not cover
// one another, and show their texts whole. The Start / Stop label must sit on
// the centre of its disc.
//
// Key items, by objectName:
//   home:        tabBar
//   jump screen: headphoneStatus, totalJumps, countBlock, accelerationChart,
//                startStopButton (idle, recording) or countdownRing
//                (countdown), elapsedTime
//   popup:       trophyAlert
//   alerts:      headphoneAlert, motionAccessAlert
//   trophies:    trophyList, trophyCard_<id> (one per trophy), trophyPicture
//   history:     historyTitle, historyList, historyRow_<index>
//   first run:   onboardingPage1..4, onboardingBack, letsGoButton, page2Next,
//                page3Next, noButton, yeahButton, allowNotificationsButton,
//                and the pictures welcomeIcon, page2Icon, fitnessPicture,
//                page3Picture, reminderPicture
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
        name: "Layout"
        when: windowShown

        property var win: null
        property var problems: []

        // ---- geometry helpers (scene coordinates of the app window) ----

        function sceneRect(item) {
            const r = item.mapToItem(null, 0, 0, item.width, item.height);
            return { x: r.x, y: r.y, w: r.width, h: r.height };
        }

        function union(a, b) {
            if (!a) return b;
            if (!b) return a;
            const x = Math.min(a.x, b.x), y = Math.min(a.y, b.y);
            return { x: x, y: y, w: Math.max(a.x + a.w, b.x + b.w) - x,
                     h: Math.max(a.y + a.h, b.y + b.h) - y };
        }

        function intersection(a, b) {
            const x = Math.max(a.x, b.x), y = Math.max(a.y, b.y);
            const w = Math.min(a.x + a.w, b.x + b.w) - x, h = Math.min(a.y + a.h, b.y + b.h) - y;
            return w > 0 && h > 0 ? { x: x, y: y, w: w, h: h } : null;
        }

        // Overlap of more than half a pixel in both directions.
        function intersects(a, b) {
            return a.x < b.x + b.w - 0.5 && b.x < a.x + a.w - 0.5
                && a.y < b.y + b.h - 0.5 && b.y < a.y + a.h - 0.5;
        }

        function contains(outer, inner) {
            return inner.x >= outer.x - 0.5 && inner.y >= outer.y - 0.5
                && inner.x + inner.w <= outer.x + outer.w + 0.5
                && inner.y + inner.h <= outer.y + outer.h + 0.5;
        }

        function describe(r) {
            return "(" + Math.round(r.x) + "," + Math.round(r.y) + " " + Math.round(r.w) + "×"
                   + Math.round(r.h) + ")";
        }

        function isText(item) {
            return item.truncated !== undefined && item.contentHeight !== undefined
                   && item.horizontalAlignment !== undefined;
        }

        // Where a text's glyphs are, which may reach past its box.
        function paintedRect(text) {
            const r = sceneRect(text);
            const cw = Math.min(text.contentWidth, text.width > 0 && text.elide !== Text.ElideNone
                                                    ? text.width : text.contentWidth);
            const ch = text.contentHeight;
            let x = r.x, y = r.y;
            const align = text.effectiveHorizontalAlignment !== undefined
                          ? text.effectiveHorizontalAlignment : text.horizontalAlignment;
            if (align === Text.AlignHCenter) x += (r.w - cw) / 2;
            else if (align === Text.AlignRight) x += r.w - cw;
            if (text.verticalAlignment === Text.AlignVCenter) y += (r.h - ch) / 2;
            else if (text.verticalAlignment === Text.AlignBottom) y += r.h - ch;
            return union(r.w > 0 || r.h > 0 ? r : null, { x: x, y: y, w: cw, h: ch });
        }

        function shown(item) {
            return item.visible && item.opacity > 0.01;
        }

        function isFlickable(item) {
            return item.contentY !== undefined && item.flickableDirection !== undefined;
        }

        // The area an item draws on: its box, its texts' glyphs and its shown
        // children, cut to the box of every clipping item on the way down. A
        // scrolling view draws its content only within its own box.
        function visualBounds(item) {
            if (isFlickable(item)) return sceneRect(item);
            let bounds = isText(item) ? paintedRect(item)
                       : (item.width > 0 && item.height > 0 ? sceneRect(item) : null);
            for (let i = 0; i < item.children.length; ++i) {
                const child = item.children[i];
                if (!shown(child)) continue;
                let b = visualBounds(child);
                if (b && item.clip) b = intersection(b, sceneRect(item));
                bounds = union(bounds, b);
            }
            return bounds;
        }

        // The visible part of an item in a scrolling view lies in the window,
        // and the item is never cut at the view's sides.
        function insideWindow(item, label) {
            const b = visualBounds(item);
            if (!b) {
                problems.push(label + " has no size");
                return;
            }
            let flick = item.parent;
            while (flick && !isFlickable(flick)) flick = flick.parent;
            let seen = b;
            if (flick) {
                const view = sceneRect(flick);
                if (b.x < view.x - 0.5 || b.x + b.w > view.x + view.w + 0.5)
                    problems.push(label + " " + describe(b) + " is cut at the sides of its view "
                                  + describe(view));
                seen = intersection(b, view);
                if (!seen) return;
            }
            if (!contains({ x: 0, y: 0, w: win.width, h: win.height }, seen))
                problems.push(label + " " + describe(seen) + " reaches outside the "
                              + win.width + "×" + win.height + " window");
        }

        // No two of the items cover each other (labels name them).
        function noOverlaps(items, labels) {
            const bounds = items.map((item) => (item ? visualBounds(item) : null));
            for (let i = 0; i < items.length; ++i) {
                for (let j = i + 1; j < items.length; ++j) {
                    if (bounds[i] && bounds[j] && intersects(bounds[i], bounds[j]))
                        problems.push(labels[i] + " " + describe(bounds[i]) + " overlaps "
                                      + labels[j] + " " + describe(bounds[j]));
                }
            }
        }

        // Every shown text under the item shows all of its text.
        function noTruncatedText(item, label) {
            if (!shown(item)) return;
            if (isText(item) && item.truncated)
                problems.push(label + ": the text \"" + item.text + "\" is cut");
            for (let i = 0; i < item.children.length; ++i)
                noTruncatedText(item.children[i], label);
        }

        function texts(item, out) {
            if (!shown(item)) return out;
            if (isText(item) && item.text !== "") out.push(item);
            for (let i = 0; i < item.children.length; ++i) texts(item.children[i], out);
            return out;
        }

        function withPrefix(item, prefix, out) {
            if (item.objectName && item.objectName.startsWith(prefix) && shown(item)) out.push(item);
            for (let i = 0; i < item.children.length; ++i) withPrefix(item.children[i], prefix, out);
            return out;
        }

        function key(name) {
            // Popups are not visual children: the window owns them.
            const found = findChild(win.contentItem, name) || findChild(win, name);
            if (!found) problems.push("no item named \"" + name + "\"");
            return found;
        }

        // Each item lies in the window with its texts whole, and no two of
        // them overlap; labels default to the items' names.
        function checkItems(state, items, labels) {
            labels = (labels || items.map((item) => item.objectName)).map((l) => state + ": " + l);
            for (let i = 0; i < items.length; ++i) {
                insideWindow(items[i], labels[i]);
                noTruncatedText(items[i], labels[i]);
            }
            noOverlaps(items, labels);
        }

        // The named items, each shown, checked together.
        function checkKeyItems(state, names) {
            const items = names.map(key).filter((item) => item);
            for (const item of items.filter((item) => !shown(item)))
                problems.push(state + ": " + item.objectName + " is not shown");
            checkItems(state, items.filter(shown));
        }

        function report() {
            const found = problems.filter((p, i) => problems.indexOf(p) === i);
            problems = [];
            verify(found.length === 0, "\n  " + found.join("\n  "));
        }

        // ---- the window at each size, for every test ----

        function init_data() {
            return [
                { tag: "320x560", w: 320, h: 560 },
                { tag: "360x720", w: 360, h: 720 },
                { tag: "390x844", w: 390, h: 844 },
                { tag: "1280x900", w: 1280, h: 900 }
            ];
        }

        function openApp(size, hasSeenOnboarding) {
            problems = [];
            world.reset(hasSeenOnboarding);
            win = createTemporaryObject(appComponent, root, { width: size.w, height: size.h });
            verify(win, "the main window");
            tryVerify(() => win.width === size.w && win.height === size.h, 2000,
                      "the window takes " + size.tag);
            waitForRendering(win.contentItem);
            settle();
        }

        // Lets transitions play out for `ms` of the animations' own time
        // (default 300, longer than most transitions of the screens), and
        // until the chart's frame clock has stopped. The checks read the
        // items' geometry, so no frame need be drawn.
        function settle(ms) {
            const until = animations.elapsed() + (ms === undefined ? 300 : ms);
            tryVerify(() => animations.elapsed() >= until, 5000, "animations play out");
            const chart = findChild(win.contentItem, "accelerationChart");
            if (chart && chart.clock)
                tryVerify(() => !chart.clock.running, 5000, "the frame clock stops");
        }

        // The Start / Stop label (its shown lines together) sits on the
        // centre of the disc.
        function labelCentredOnDisc(state) {
            const button = key("startStopButton");
            if (!button) return;
            const disc = sceneRect(button.background);
            const lines = texts(button, []);
            if (lines.length === 0) {
                problems.push(state + ": the Start / Stop button shows no label");
                return;
            }
            const label = lines.map(paintedRect).reduce(union, null);
            const dx = (label.x + label.w / 2) - (disc.x + disc.w / 2);
            const dy = (label.y + label.h / 2) - (disc.y + disc.h / 2);
            if (Math.abs(dx) > 2 || Math.abs(dy) > 2)
                problems.push(state + ": the label \"" + lines.map((t) => t.text).join(" ")
                              + "\" is " + dx.toFixed(1) + ", " + dy.toFixed(1)
                              + " px off the centre of its disc");
        }

        function checkJumpScreen(state, control) {
            checkKeyItems(state, ["headphoneStatus", "totalJumps", "countBlock",
                                  "accelerationChart", control, "elapsedTime", "tabBar"]);
            if (control === "startStopButton") labelCentredOnDisc(state);
            // Top to bottom the count, the controls and the time, in a column
            // centred in the window and no wider than the content's maximum.
            const count = sceneRect(key("jumpCount")), controls = sceneRect(key("controlArea"));
            const time = sceneRect(key("elapsedTime"));
            if (count.y + count.h > controls.y + 0.5 || controls.y + controls.h > time.y + 0.5)
                problems.push(state + ": the count, the controls and the time are out of order: "
                              + describe(count) + ", " + describe(controls) + ", " + describe(time));
            if (count.w > Theme.contentMaxWidth || Math.abs(count.x + count.w / 2 - win.width / 2) > 1)
                problems.push(state + ": the count " + describe(count) + " is off the centred column");
        }

        function test_jumpScreen(size) {
            openApp(size, true);
            checkJumpScreen("idle", "startStopButton");

            world.jumpModel.toggleRecording();
            world.advance(1.0);
            settle();
            checkJumpScreen("countdown", "countdownRing");

            world.advance(3.0);
            world.jump(40);
            world.advance(20.0);
            settle();
            checkJumpScreen("recording", "startStopButton");

            // A large count shrinks to fit rather than reaching past its block.
            world.jump(12345);
            settle();  // the digits rise into place
            checkJumpScreen("recording 12385", "startStopButton");

            world.jumpModel.toggleRecording();
            const popup = key("trophyAlert");
            if (popup) {
                tryVerify(() => popup.parent.opacity > 0.99, 2000, "the trophy popup shows");
                settle(700);  // slid in
                insideWindow(popup, "trophy popup");
                noTruncatedText(popup, "trophy popup");
                const ok = findChild(popup, "trophyAlertOk");
                if (ok) insideWindow(ok, "trophy popup: Ok");
            }
            report();
        }

        // Headphones missing, then motion access missing: each alert lies in
        // the window with its title, message and buttons whole.
        function test_alerts(size) {
            openApp(size, true);
            const cases = [
                { alert: "headphoneAlert", headphones: false, motion: 3 },
                { alert: "motionAccessAlert", headphones: true, motion: 0 }
            ];
            for (const c of cases) {
                world.setHeadphones(c.headphones);
                world.setMotionAuthorization(c.motion);
                world.jumpModel.toggleRecording();
                const alert = key(c.alert);
                if (!alert) continue;
                tryVerify(() => alert.opened, 2000, c.alert + " opens");
                settle();
                // The popup's drawn item: the box with its header, content and footer.
                const box = alert.contentItem.parent;
                insideWindow(box, c.alert);
                noTruncatedText(box, c.alert);
                for (const button of [c.alert + "Accept", c.alert + "Reject"]) {
                    const b = findChild(alert, button);
                    if (b && shown(b)) insideWindow(b, c.alert + ": " + button);
                }
                alert.close();
                tryVerify(() => !alert.visible, 2000, c.alert + " closes");
            }
            report();
        }

        function test_trophies(size) {
            openApp(size, true);
            for (const id of ["trophy-first-10", "60-1min", "750-under-5min"])
                world.unlockTrophy(id);
            key("homeTabs").currentIndex = 1;
            settle();
            checkKeyItems("trophies", ["trophyList", "tabBar"]);
            const grid = key("trophyList");
            const cards = withPrefix(grid, "trophyCard_", []);
            verify(cards.length >= 10, "the grid shows every trophy");
            checkItems("trophies", cards);

            // An unlocked card mid-shake, grown towards 1.2.
            mouseClick(findChild(findChild(grid, "trophyCard_trophy-first-10"), "trophyPicture"));
            settle();
            checkItems("tapped card", cards);
            report();
        }

        function test_history(size) {
            openApp(size, true);
            // Long dates, hours-long and zero-second durations, big counts.
            world.saveRecord(1764950000, 65.257, 150);
            world.saveRecord(1764960000, 0, 3);
            world.saveRecord(1765036800, 3725.9, 9999);
            world.saveRecord(1765123200, 59.999, 12);
            world.saveRecord(1765209600, 600, 1234);
            key("homeTabs").currentIndex = 2;
            // The list loads on a worker thread: it is laid out once its rows
            // are in and have settled, which a slow machine takes longer over.
            const list = key("historyList");
            tryCompare(list, "count", 5);
            settle();
            checkKeyItems("history", ["historyTitle", "historyList", "tabBar"]);
            const rows = withPrefix(list, "historyRow_", []);
            verify(rows.length >= 3, "rows are shown");
            checkItems("history", rows);
            report();
        }

        // Each page's texts, pictures and buttons lie in the window, whole
        // and apart, page 3 with its notice of no motion; the workout picture
        // of page 2 keeps its square shape, so it is never cropped.
        function test_onboarding(size) {
            openApp(size, false);
            world.setOnboardingMotionAvailable(false);
            const stack = key("onboardingStack");
            const pages = [
                { buttons: ["letsGoButton"], pictures: ["welcomeIcon"] },
                { buttons: ["page2Next"], pictures: ["page2Icon", "fitnessPicture"] },
                { buttons: ["page3Next"], pictures: ["page3Picture"] },
                { buttons: ["noButton", "yeahButton", "allowNotificationsButton"],
                  pictures: ["reminderPicture"] }
            ];
            for (let i = 0; i < pages.length; ++i) {
                const state = "page " + (i + 1);
                tryVerify(() => !stack.busy, 3000, state + " settles");
                settle();
                const page = key("onboardingPage" + (i + 1));
                if (!page) break;
                const named = pages[i].buttons.concat(pages[i].pictures).map(key).filter((it) => it);
                // A button's own label is checked with the button.
                const inButtons = named.reduce((out, it) => texts(it, out), []);
                const items = named.concat(texts(page, []).filter((t) => !inButtons.includes(t)));
                checkItems(state, items,
                           items.map((it) => it.objectName || "\"" + it.text.substring(0, 24) + "\""));
                if (i > 0) insideWindow(key("onboardingBack"), state + ": back");
                if (i === 1) {
                    const picture = sceneRect(key("fitnessPicture"));
                    if (Math.abs(picture.w / picture.h - 1) > 0.01)
                        problems.push(state + ": the workout picture " + describe(picture) + " is not square");
                }
                if (i < 3) mouseClick(key(pages[i].buttons[0]));
            }
            report();
        }
    }
}
