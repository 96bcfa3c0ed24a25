#pragma once

#include <QtGlobal>

// How many circuits each wiring allows. Wiring positions are those of the dialog list:
// 0 1P2W, 1 1P3W, 2 3P3W2M, 3 3P3W3M, 4 3P4W, 5 3P4W4I.
namespace WiringRule {

// The largest circuit count of the wiring; an unknown wiring allows one circuit.
qint32 maxCircuits(qint32 wiring);

// The circuit count the wiring keeps of count: count itself when allowed, otherwise 1 (the
// instrument falls back to one circuit, not to the largest count allowed).
qint32 allowedCount(qint32 wiring, qint32 count);

} // namespace WiringRule
