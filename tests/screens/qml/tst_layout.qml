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
//                page3Next, reminderQuestion, reminderPicture, noButton,
//                yeahButton, allowNotificationsButton
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

        function isFlickable(item) {
            return item.contentY !== undefined && item.flickableDirection !== undefined;
        }

        function flickableAncestor(item) {
            for (let p = item.parent; p; p = p.parent) {
                if (isFlickable(p)) return p;
            }
            return null;
        }

        function windowRect() {
            return { x: 0, y: 0, w: win.width, h: win.height };
        }

        // The visible part of an item in a scrolling view lies in the window,
        // and the item is never cut at the view's sides.
        function insideWindow(item, label) {
            const b = visualBounds(item);
            if (!b) {
                problems.push(label + " has no size");
                return;
            }
            const flick = flickableAncestor(item);
            let seen = b;
            if (flick) {
                const view = sceneRect(flick);
                if (b.x < view.x - 0.5 || b.x + b.w > view.x + view.w + 0.5)
                    problems.push(label + " " + describe(b) + " is cut at the sides of its view "
                                  + describe(view));
                seen = intersection(b, view);
                if (!seen) return;
            }
            if (!contains(windowRect(), seen))
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

        function isWithin(item, ancestor) {
            for (let p = item; p; p = p.parent) {
                if (p === ancestor) return true;
            }
            return false;
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

        // A popup's drawn item (the box with its header, content and footer).
        function popupItem(popup) {
            return popup.contentItem.parent;
        }

        function checkKeyItems(state, names) {
            const items = [];
            const labels = [];
            for (const name of names) {
                const item = key(name);
                if (!item) continue;
                if (!shown(item)) {
                    problems.push(state + ": " + name + " is not shown");
                    continue;
                }
                insideWindow(item, state + ": " + name);
                noTruncatedText(item, state + ": " + name);
                items.push(item);
                labels.push(name);
            }
            noOverlaps(items, labels.map((l) => state + ": " + l));
        }

        function report() {
            const found = problems.filter((p, i) => problems.indexOf(p) === i);
            problems = [];
            verify(found.length === 0, "\n  " + found.join("\n  "));
        }

        // ---- the window at each size ----

        function sizes() {
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

        function tabs() {
            return findChild(win.contentItem, "homeTabs");
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
        }

        function test_jumpScreen_data() {
            return sizes();
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

        function test_alerts_data() {
            return sizes();
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
                const box = popupItem(alert);
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

        function test_trophies_data() {
            return sizes();
        }

        function test_trophies(size) {
            openApp(size, true);
            for (const id of ["trophy-first-10", "60-1min", "750-under-5min"])
                world.unlockTrophy(id);
            tabs().currentIndex = 1;
            settle();
            checkKeyItems("trophies", ["tabBar"]);
            const grid = key("trophyList");
            if (!grid) {
                report();
                return;
            }
            insideWindow(grid, "trophies: trophyList");
            noOverlaps([grid, key("tabBar")], ["trophies: trophyList", "trophies: tabBar"]);
            const cards = withPrefix(grid, "trophyCard_", []);
            verify(cards.length >= 10, "the grid shows every trophy");
            const check = (state) => {
                for (const card of cards) {
                    insideWindow(card, state + ": " + card.objectName);
                    noTruncatedText(card, state + ": " + card.objectName);
                }
                noOverlaps(cards, cards.map((c) => state + ": " + c.objectName));
            };
            check("trophies");

            // An unlocked card mid-shake, grown towards 1.2.
            const tapped = findChild(grid, "trophyCard_trophy-first-10");
            mouseClick(findChild(tapped, "trophyPicture"));
            settle();
            check("tapped card");
            report();
        }

        function test_history_data() {
            return sizes();
        }

        function test_history(size) {
            openApp(size, true);
            // Long dates, hours-long and zero-second durations, big counts.
            world.saveRecord(1764950000, 65.257, 150);
            world.saveRecord(1764960000, 0, 3);
            world.saveRecord(1765036800, 3725.9, 9999);
            world.saveRecord(1765123200, 59.999, 12);
            world.saveRecord(1765209600, 600, 1234);
            tabs().currentIndex = 2;
            settle();
            checkKeyItems("history", ["historyTitle", "tabBar"]);
            const list = key("historyList");
            if (list) {
                insideWindow(list, "history: historyList");
                noOverlaps([list, key("tabBar")], ["history: historyList", "history: tabBar"]);
                tryCompare(list, "count", 5);
                const rows = withPrefix(list, "historyRow_", []);
                verify(rows.length >= 3, "rows are shown");
                for (const row of rows) {
                    insideWindow(row, "history: " + row.objectName);
                    noTruncatedText(row, "history: " + row.objectName);
                }
                noOverlaps(rows, rows.map((r) => "history: " + r.objectName));
            }
            report();
        }

        function test_onboarding_data() {
            return sizes();
        }

        // Each page's texts and buttons lie in the window, whole and apart;
        // on the last page the question stays off the middle of the picture.
        function test_onboarding(size) {
            openApp(size, false);
            const stack = key("onboardingStack");
            const pages = [
                { page: "onboardingPage1", buttons: ["letsGoButton"] },
                { page: "onboardingPage2", buttons: ["page2Next"] },
                { page: "onboardingPage3", buttons: ["page3Next"] },
                { page: "onboardingPage4",
                  buttons: ["noButton", "yeahButton", "allowNotificationsButton"] }
            ];
            for (let i = 0; i < pages.length; ++i) {
                const state = "page " + (i + 1);
                tryVerify(() => !stack.busy, 3000, state + " settles");
                settle();
                const page = key(pages[i].page);
                if (!page) break;
                const items = [];
                const labels = [];
                for (const name of pages[i].buttons) {
                    const b = key(name);
                    if (b) {
                        items.push(b);
                        labels.push(name);
                    }
                }
                for (const t of texts(page, [])) {
                    // A button's own label is checked with the button.
                    if (items.some((b) => isWithin(t, b))) continue;
                    items.push(t);
                    labels.push("\"" + t.text.substring(0, 24) + "\"");
                }
                if (i > 0) {
                    const back = key("onboardingBack");
                    if (back) insideWindow(back, state + ": back");
                }
                for (let k = 0; k < items.length; ++k)
                    insideWindow(items[k], state + ": " + labels[k]);
                noTruncatedText(page, state);
                noOverlaps(items, labels.map((l) => state + ": " + l));

                if (i === 3) {
                    const question = key("reminderQuestion");
                    const picture = key("reminderPicture");
                    if (question && picture) {
                        // The picture fades out towards its top and bottom;
                        // its middle half is what shows.
                        const p = sceneRect(picture);
                        const middle = { x: p.x, y: p.y + p.h / 4, w: p.w, h: p.h / 2 };
                        const q = visualBounds(question);
                        if (intersects(q, middle))
                            problems.push(state + ": the question " + describe(q)
                                          + " covers the picture " + describe(middle));
                    }
                } else {
                    mouseClick(findChild(win.contentItem, pages[i].buttons[0]));
                }
            }
            report();
        }
    }
}
