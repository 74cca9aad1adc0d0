import QtQuick
import QtTest
import Hopster

// The colour pairs the screens draw, each held to its WCAG 2.x contrast
// minimum: 4.5 for text, 3 for large text, icons and focus rings.
TestCase {
    name: "Contrast"

    function channel(c) {
        return c <= 0.04045 ? c / 12.92 : Math.pow((c + 0.055) / 1.055, 2.4);
    }
    function luminance(color) {
        return 0.2126 * channel(color.r) + 0.7152 * channel(color.g) + 0.0722 * channel(color.b);
    }
    // `color` at its own opacity, and then at `alpha`, over `base`.
    function over(color, alpha, base) {
        const a = color.a * alpha;
        return Qt.rgba(color.r * a + base.r * (1 - a), color.g * a + base.g * (1 - a),
                       color.b * a + base.b * (1 - a), 1);
    }
    function ratio(first, second) {
        const a = luminance(first), b = luminance(second);
        return (Math.max(a, b) + 0.05) / (Math.min(a, b) + 0.05);
    }

    function test_ratioMatchesKnownValues_data() {
        return [
            { tag: "black on white", fg: "black", bg: "white", expected: 21 },
            { tag: "white on white", fg: "white", bg: "white", expected: 1 },
            // The grey that sits just under the text threshold.
            { tag: "#777777 on white", fg: "#777777", bg: "white", expected: 4.48 },
            { tag: "#767676 on white", fg: "#767676", bg: "white", expected: 4.54 },
            { tag: "pure red on white", fg: "#FF0000", bg: "white", expected: 4.0 }
        ];
    }
    function test_ratioMatchesKnownValues(data) {
        fuzzyCompare(ratio(Qt.color(data.fg), Qt.color(data.bg)), data.expected, 0.01);
    }

    // Every pair, once with each palette: the table is read with Theme.dark
    // set each way, and the colours are copied into its rows.
    function pairs(palette) {
        const back = Theme.background;
        return [
            { tag: "Start on its disc", fg: "black", bg: Theme.appGreen, min: 4.5 },
            { tag: "Saving on the dimmed disc", fg: "black", bg: over(Theme.appGreen, 0.5, back), min: 4.5 },
            { tag: "Stop Jumping on its pale disc", fg: Theme.darkRed,
              bg: over(Theme.darkRed, 0.2, back), min: 4.5 },
            { tag: "countdown number and ring on their pale disc", fg: Theme.darkGreen,
              bg: over(Theme.darkGreen, 0.2, back), min: 3 },
            { tag: "jump count and titles", fg: Theme.text, bg: back, min: 4.5 },
            { tag: "trophy card title", fg: Theme.text, bg: Theme.background, min: 4.5 },
            { tag: "history rows on the grouped background", fg: Theme.text,
              bg: Theme.groupedBackground, min: 4.5 },
            { tag: "elapsed time", fg: Theme.secondaryText, bg: back, min: 4.5 },
            { tag: "secondary line on the grouped background", fg: Theme.secondaryText,
              bg: Theme.groupedBackground, min: 4.5 },
            { tag: "saved confirmation", fg: Theme.darkGreen, bg: back, min: 4.5 },
            { tag: "peak minute", fg: Theme.darkGreen, bg: Theme.groupedBackground, min: 4.5 },
            { tag: "journal warning and jump marks", fg: Theme.darkRed, bg: back, min: 4.5 },
            { tag: "connected dot", fg: Theme.darkGreen, bg: back, min: 3 },
            { tag: "disconnected dot", fg: Theme.red, bg: back, min: 3 },
            { tag: "selected tab", fg: Theme.darkGreen, bg: Theme.tabBarBackground, min: 4.5 },
            { tag: "unselected tab", fg: Theme.secondaryText, bg: Theme.tabBarBackground, min: 4.5 },
            { tag: "focus ring on the background", fg: Theme.focusRing, bg: back, min: 3 },
            { tag: "focus ring on the grouped background", fg: Theme.focusRing,
              bg: Theme.groupedBackground, min: 3 },
            { tag: "focus ring on the tab bar", fg: Theme.focusRing, bg: Theme.tabBarBackground, min: 3 },
            { tag: "focus ring beside Start", fg: Theme.focusRing, bg: Theme.appGreen, min: 3 },
            { tag: "Copy button", fg: Theme.text, bg: Theme.buttonFace, min: 4.5 },
            { tag: "alert button", fg: Theme.darkGreen, bg: back, min: 4.5 },
            { tag: "alert button pressed", fg: Theme.darkGreen, bg: Theme.groupedBackground, min: 4.5 }
        ].map(row => ({ tag: palette + ": " + row.tag, fg: solid(row.fg), bg: solid(row.bg),
                        min: row.min }));
    }
    // A copy of a colour that no longer follows the property it was read
    // from, so a row keeps its palette's colour after Theme.dark changes.
    function solid(color) {
        const c = Qt.color(String(color));
        return Qt.rgba(c.r, c.g, c.b, c.a);
    }

    function test_themePairsMeetTheirMinimum_data() {
        const rows = [];
        for (const dark of [false, true]) {
            Theme.dark = dark;
            rows.push(...pairs(dark ? "dark" : "light"));
        }
        Theme.dark = false;
        return rows;
    }
    function test_themePairsMeetTheirMinimum(data) {
        const value = ratio(Qt.color(data.fg), Qt.color(data.bg));
        verify(value >= data.min, data.tag + ": " + value.toFixed(2) + " < " + data.min);
    }
}
