import QtQuick

// Shakes an item sideways without moving it in its layout: a horizontal
// shift of amount × sin(animatableData × π × shakesPerUnit). Animating
// animatableData from 0 to 1 swings the item through shakesPerUnit half
// swings and leaves it where it started.
Translate {
    // The largest sideways shift, in points.
    property real amount: 10
    // Half swings per unit of animatableData.
    property int shakesPerUnit: 3
    // The animated parameter.
    property real animatableData: 0

    x: amount * Math.sin(animatableData * Math.PI * shakesPerUnit)
    y: 0
}
