#pragma once

#include <array>

struct ModSet;

// The nine item words (each 0..255) in which the save-item flags, the harmonic items, the
// order selection and the forty order flags travel, bit by bit. Harm and Wave are not in
// them: each has a command of its own.
using ItemWords = std::array<int, 9>;

// Word 2 carries the order selection in bits 7 (ALL), 6 (ODD) and 5 (EVEN); SELECT sets none.
ItemWords EncodeItemWords(const ModSet& set);

// Stores every flag of the words into set. OrdType: none of bits 5..7 gives SELECT (3),
// otherwise ALL, then ODD, then EVEN, the later match winning. Harm becomes true when any
// harmonic item bit (0..4 of word 1) is set. Only the low 8 bits of each word count.
void DecodeItemWords(const ItemWords& words, ModSet& set);
