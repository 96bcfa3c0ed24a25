#pragma once

#include "ModSet.h"

#include <QByteArrayList>
#include <QStringList>

#include <optional>
#include <utility>
#include <variant>
#include <vector>

// Every exchange of settings with the instrument, one row each in the order RECEIVE asks
// them: the query and what its reply holds, the record members it fills, the SEND command and
// how it is formed from them; per member its NAME=VALUE name, its list of choices with the
// instrument's words or its number, its bit in the item words, and the dialog rule it takes
// part in. Receiving, the reply check, sending, the item words, the NAME=VALUE text and the
// settings dialog's controls all read it.
namespace SettingsTable {

// What the reply to a row's query holds.
enum class Reply
{
    None,    // never asked: the row is only sent
    Any,     // not examined; only the transaction's result counts
    Word,    // one of the member's words, exactly; any other leaves the member as it was
    Text,    // the name, "NO FILENAME" for none
    Numbers, // one number per member or element, separated by commas
    Words,   // one word per element; a word not in the list gives code 0
    Items,   // the nine item words, each a number
};

// What follows the command text on the line SEND writes.
enum class Arg
{
    None,     // never sent: the row is only received
    Word,     // the word of the member's code
    Blanks,   // the blank forms of the members' values, joined by ","
    Circuits, // one line per circuit up to CirNum: the circuit's blank form, ",", then the
              // element's word or its plain form
    Field,    // the text of the dialog's file-name field as it stands, not the record's
    Items,    // the blank forms of the nine item words, joined by ","
    Clock,    // the computer's date and time; only when the dialog's clock box is ticked
};

// The dialog's rules: the first member of each pair limits what the lists leave of the second.
enum class Rule
{
    None,
    Wiring, // Wiring limits CirNum
    Sensor, // Sens limits IRange, circuit by circuit
};

enum class Kind
{
    Choice,  // a code shown as a list position
    Integer, // a whole number
    Real,
    Flag,
    Text
};

// Where a member's value (or one element's) lives in a record.
using Ref = std::variant<qint32*, double*, bool*, QString*>;

struct Member
{
    const char* name = nullptr;                // the record's field; NAME in NAME=VALUE
    Ref (*at)(ModSet&, int element) = nullptr; // element 0 for a single value
    Kind kind = Kind::Integer;
    int elements = 0;       // 0: one value; n: elements 1..n, numbered as the instrument does
    QStringList texts;      // the dialog list's items, blanks kept
    QByteArrayList words;   // the instrument's words, in code order
    QByteArrayList sent;    // the command's words, where they differ from the replies'
    bool counts = false;    // the code is the number its word names, not the list position
    qint32 orElse = -1;     // the code sent for one without a word; -1: none is sent
    int itemBit = -1;       // bit of the item words carrying element 1 (word 1 bit 0 is 0)
    Rule rule = Rule::None; // its lists follow the rule by hand in the dialog
    const char* controlName = nullptr; // the control, where it is not named after the member
    bool blankShown = false;           // the dialog shows a number of 0 or more after a blank

    template <auto field> static Member of(const char* name);
    // A list: the dialog's items, the words the replies use (default: the items) and the words
    // the command uses (default: the replies').
    Member list(const char* items, const char* replyWords = nullptr,
                const char* commandWords = nullptr) const;
    Member counted(const char* items, const char* words) const;
    Member otherwise(qint32 code) const;
    Member item(int word, int bit) const;
    Member ruled(Rule r) const;
    Member shownIn(const char* control) const;
    Member blank() const;

    int first() const { return elements ? 1 : 0; }
    int last() const { return elements; }
    // "Sens[2]", or the name of a single value.
    QString nameOf(int element) const;
    // The dialog control that edits the element: "ComboSens1" for Sens[2].
    QString control(int element) const;
    // The record's code of a list position, and the position that shows a code.
    std::optional<qint32> code(int position) const;
    std::optional<int> position(qint32 code) const;
    // The code of the index-th word.
    qint32 codeOfWord(int index) const;
    // Where the element lives in a record that is only read.
    Ref in(const ModSet& s, int element) const { return at(const_cast<ModSet&>(s), element); }
};

struct Row
{
    Row(const char* q, Reply r, const char* c, Arg a, std::vector<Member> m)
        : query(q), reply(r), command(c), arg(a), members(std::move(m))
    {
    }

    const char* query = nullptr; // nullptr: only sent
    Reply reply = Reply::None;
    const char* command = nullptr; // nullptr: only received
    Arg arg = Arg::None;
    std::vector<Member> members;

    // How many comma-separated fields the reply has.
    int fields() const;
};

// The rows in RECEIVE's order, the send-only ones last.
const std::vector<Row>& rows();
// The rows SEND writes, in its order.
const std::vector<const Row*>& sendOrder();
// The row of a query; nullptr for one that is not in the table.
const Row* rowOf(const QByteArray& query);
const Row& itemRow();
// Every member in the order of the record's fields.
const std::vector<const Member*>& recordOrder();

// A code or flag (0 or 1), and a number, wherever it lives.
qint32 codeOf(Ref ref);
double numberOf(Ref ref);

} // namespace SettingsTable
