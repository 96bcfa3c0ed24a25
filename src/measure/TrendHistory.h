#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <limits>
#include <memory>
#include <vector>

class MeasLists;

// The value of an instrument's text: "+100.10", "-12.5", "+1.234E+03". Anything else
// ("-----", "OVER", an empty entry) is no number and gives NaN, drawn as a gap.
float TrendValue(QByteArrayView text);

// The measurements shown since the measurement window opened: the recent points of every
// item and a longer history of the few items drawn. Points are stored as float (the
// instrument sends at most six significant digits), x once per measurement for all items.
class TrendHistory
{
public:
    struct Limits
    {
        qsizetype recentPoints; // every item
        qint64 recentSpan;      // in x units
        qsizetype chosenPoints; // chosen items
        qint64 chosenSpan;
    };
    static constexpr int MaxChosen = 8;
    // One hour of every item and a day of the chosen ones, at one measurement a second.
    static constexpr Limits liveLimits() { return {3600, 3600'000, 86'400, 86'400'000}; }
    // Everything, for a file read whole.
    static constexpr Limits unlimited(qsizetype points)
    {
        return {points, std::numeric_limits<qint64>::max(), points,
                std::numeric_limits<qint64>::max()};
    }

    explicit TrendHistory(Limits limits = liveLimits());

    // The item names of a header-on measurement, in grid order. Items that are neither in
    // it nor chosen are forgotten.
    void setNames(const QList<QByteArray>& names);
    // One measurement at x: value i belongs to name i; items without a value get a gap.
    void append(qint64 x, const MeasLists& lists, qint32 count);
    void append(qint64 x, const QList<QByteArray>& values);

    const QList<QByteArray>& names() const { return m_names; }
    // Chosen items in the order they were chosen; false when MaxChosen are already chosen or
    // the name is unknown.
    bool setChosen(const QByteArray& name, bool chosen);
    bool isChosen(const QByteArray& name) const;
    const QList<QByteArray>& chosen() const { return m_chosen; }

    // A circular buffer of floats that drops its oldest value when full.
    struct Ring
    {
        std::vector<float> data;
        qsizetype head = 0; // index of the oldest
        qsizetype count = 0;
        qsizetype capacity = 0; // the most it grows to
        void push(float v);
        void popFront(qsizetype n);
        float at(qsizetype i) const
        {
            const qsizetype k = head + i;
            return data[std::size_t(k < qsizetype(data.size()) ? k : k - qsizetype(data.size()))];
        }
    };

    // An item's points, oldest first (none for an unknown name).
    class Series
    {
    public:
        qsizetype size() const { return m_size; }
        qint64 x(qsizetype i) const { return m_history->xAt(m_firstSeq + i); }
        float y(qsizetype i) const
        {
            return m_values ? m_values->at(i) : m_history->rowValue(m_firstSeq + i, m_slot);
        }
        // The first index whose x is at least x (size() when none).
        qsizetype lowerBound(qint64 x) const;

    private:
        friend class TrendHistory;
        const TrendHistory* m_history = nullptr;
        const Ring* m_values = nullptr; // a chosen item's own; else the recent rows
        qsizetype m_slot = 0;
        qint64 m_firstSeq = 0;
        qsizetype m_size = 0;
    };
    Series series(const QByteArray& name) const;
    // A chosen item's text in the last measurement (empty when it had none, or for an item
    // not chosen then).
    QByteArray lastText(const QByteArray& name) const;
    // Measurements held (x values), for the whole store.
    qsizetype measurements() const { return m_xCount; }
    bool empty() const { return m_xCount == 0; }
    qint64 firstX() const { return xAt(m_xFirstSeq); }
    qint64 lastX() const { return xAt(m_xFirstSeq + m_xCount - 1); }

private:
    // The recent values of every item are kept as rows, one per measurement with a slot per
    // item, so that adding a measurement writes one block of memory; a chosen item also
    // keeps its own longer ring.
    struct Item
    {
        QByteArray name;
        qsizetype slot = 0;
        qsizetype column = -1; // position in the last names, -1 when not among them
        qint64 firstSeq = 0;   // the first measurement after the item appeared
        bool chosen = false;
        Ring values;               // chosen only
        qint64 valuesFirstSeq = 0; // sequence number of values.at(0)
        QByteArray lastText;       // chosen only
    };
    Item* find(const QByteArray& name);
    const Item* find(const QByteArray& name) const;
    qint64 xAt(qint64 seq) const
    {
        qsizetype k = m_xHead + qsizetype(seq - m_xFirstSeq);
        if (k >= qsizetype(m_xs.size()))
            k -= qsizetype(m_xs.size());
        return m_xs[std::size_t(k)];
    }
    float rowValue(qint64 seq, qsizetype slot) const
    {
        qsizetype r = m_rowHead + qsizetype(seq - m_rowFirstSeq);
        if (r >= m_rowCapacity)
            r -= m_rowCapacity;
        return m_rows[std::size_t(r * m_width + slot)];
    }
    float* newRow();
    void resizeRows(qsizetype capacity, qsizetype width);
    template <class Value> void appendValues(qint64 x, qsizetype count, Value value);

    Limits m_limits;
    QList<QByteArray> m_names;
    std::vector<Item*> m_columns; // item of each name position
    std::vector<std::unique_ptr<Item>> m_items;
    std::vector<qsizetype> m_freeSlots;
    QList<QByteArray> m_chosen;
    std::vector<Item*> m_chosenItems; // the same, in the same order
    std::vector<float> m_rows;
    qsizetype m_width = 0; // slots per row
    qsizetype m_rowCapacity = 0, m_rowHead = 0, m_rowCount = 0;
    qint64 m_rowFirstSeq = 0;
    // x of every measurement some item still holds a value of, in a ring that grows.
    std::vector<qint64> m_xs;
    qsizetype m_xHead = 0, m_xCount = 0;
    qint64 m_xFirstSeq = 0;
    void pushX(qint64 x);
    qint64 m_nextSeq = 0;
};
