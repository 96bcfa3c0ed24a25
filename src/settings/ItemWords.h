#pragma once

#include <QString>

#include <array>

struct ModSet;

// The nine item words (each 0..255) in which the save-item flags, the harmonic items, the
// order selection and the forty order flags travel, bit by bit, as the settings table places
// them. Harm and Wave are not in them: each has a command of its own.
using ItemWords = std::array<int, 9>;

ItemWords EncodeItemWords(const ModSet& set);

// Stores every flag of the words into set. OrdType: none of its bits gives SELECT (3),
// otherwise ALL, then ODD, then EVEN, the later match winning. Harm becomes true when any
// harmonic item bit (0..4 of word 1) is set. Only the low 8 bits of each word count.
void DecodeItemWords(const ItemWords& words, ModSet& set);

// The whole ":DATA:ITEM" command with the item words of the record.
QString DataItemText(const ModSet& set);
