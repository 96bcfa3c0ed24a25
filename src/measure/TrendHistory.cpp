#include "TrendHistory.h"

#include "MeasLists.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include <QHash>
#include <QSet>

float TrendValue(QByteArrayView text)
{
    constexpr float gap = std::numeric_limits<float>::quiet_NaN();
    const char* p = text.data();
    const char* end = p + text.size();
    while (p != end && *p == ' ')
        ++p;
    while (end != p && end[-1] == ' ')
        --end;
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    // from_chars alone would also take "inf" and "nan", and a second sign.
    if (p == end || !((*p >= '0' && *p <= '9') || *p == '.'))
        return gap;
    double v = 0;
    const auto [last, ec] = std::from_chars(p, end, v, std::chars_format::general);
    if (ec != std::errc() || last != end)
        return gap;
    return float(negative ? -v : v);
}

void TrendHistory::Ring::push(float v)
{
    const qsizetype size = qsizetype(data.size());
    if (count == size && size < capacity) {
        // Grow by doubling up to the capacity, oldest first again.
        std::vector<float> grown(std::size_t(std::min(capacity, std::max<qsizetype>(64, size * 2))));
        for (qsizetype i = 0; i < count; ++i)
            grown[std::size_t(i)] = at(i);
        data.swap(grown);
        head = 0;
    }
    if (data.empty())
        return;
    if (count == qsizetype(data.size())) {
        data[std::size_t(head)] = v;
        head = (head + 1) % qsizetype(data.size());
        return;
    }
    const qsizetype k = (head + count) % qsizetype(data.size());
    data[std::size_t(k)] = v;
    ++count;
}

void TrendHistory::Ring::popFront(qsizetype n)
{
    n = std::min(n, count);
    if (n == 0)
        return;
    head = (head + n) % qsizetype(data.size());
    count -= n;
}

void TrendHistory::Ring::setCapacity(qsizetype cap)
{
    capacity = cap;
    if (qsizetype(data.size()) <= cap)
        return;
    popFront(count - std::min(count, cap));
    std::vector<float> kept(std::size_t(std::max<qsizetype>(count, 1)));
    for (qsizetype i = 0; i < count; ++i)
        kept[std::size_t(i)] = at(i);
    data.swap(kept);
    head = 0;
}

qsizetype TrendHistory::Series::lowerBound(qint64 x) const
{
    qsizetype lo = 0, hi = m_size;
    while (lo < hi) {
        const qsizetype mid = (lo + hi) / 2;
        if (this->x(mid) < x)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

TrendHistory::TrendHistory(Limits limits) : m_limits(limits) {}

TrendHistory::Item* TrendHistory::find(const QByteArray& name)
{
    for (auto& item : m_items)
        if (item->name == name)
            return item.get();
    return nullptr;
}

const TrendHistory::Item* TrendHistory::find(const QByteArray& name) const
{
    return const_cast<TrendHistory*>(this)->find(name);
}

void TrendHistory::setNames(const QList<QByteArray>& names)
{
    // A name that repeats in one measurement gets a number, so that each column has its own
    // item.
    QList<QByteArray> unique;
    unique.reserve(names.size());
    QHash<QByteArray, int> seen;
    for (const QByteArray& n : names) {
        const int k = ++seen[n];
        unique << (k == 1 ? n : n + " #" + QByteArray::number(k));
    }
    if (unique == m_names)
        return;
    m_names = unique;

    QHash<QByteArray, Item*> byName;
    for (auto& item : m_items)
        byName.insert(item->name, item.get());
    std::vector<std::unique_ptr<Item>> kept;
    QSet<QByteArray> wanted(unique.begin(), unique.end());
    for (auto& item : m_items)
        if (item->chosen || wanted.contains(item->name))
            kept.push_back(std::move(item));
    m_items.swap(kept);
    byName.clear();
    for (auto& item : m_items)
        byName.insert(item->name, item.get());

    m_columns.clear();
    for (const QByteArray& n : unique) {
        Item* item = byName.value(n);
        if (!item) {
            m_items.push_back(std::make_unique<Item>());
            item = m_items.back().get();
            item->name = n;
            item->firstSeq = m_nextSeq;
            item->values.capacity = m_limits.recentPoints;
            byName.insert(n, item);
        }
        m_columns.push_back(item);
    }
}

void TrendHistory::push(Item& item, qint64 seq, float v)
{
    if (item.values.count == 0)
        item.firstSeq = seq;
    else if (item.values.count == item.values.capacity)
        ++item.firstSeq;
    item.values.push(v);
}

template <class Value> void TrendHistory::appendValues(qint64 x, qsizetype count, Value value)
{
    const qint64 seq = m_nextSeq++;
    m_xs.push_back(x);
    // Items without a value in this measurement (a shorter reply, a chosen item no longer in
    // the grid) get a gap, so that every item's values stay one per measurement.
    const qsizetype n = std::min<qsizetype>(count, qsizetype(m_columns.size()));
    for (qsizetype i = 0; i < n; ++i) {
        Item& item = *m_columns[std::size_t(i)];
        const QByteArray& text = value(i);
        const float v = TrendValue(text);
        push(item, seq, v);
        item.lastText = text;
    }
    qint64 oldest = seq;
    for (auto& item : m_items) {
        if (item->values.count == 0 || item->firstSeq + item->values.count <= seq) {
            push(*item, seq, std::numeric_limits<float>::quiet_NaN());
            item->lastText.clear();
        }
        const qint64 span = item->chosen ? m_limits.chosenSpan : m_limits.recentSpan;
        qsizetype drop = 0;
        while (drop < item->values.count && x - xAt(item->firstSeq + drop) > span)
            ++drop;
        item->values.popFront(drop);
        item->firstSeq += drop;
        oldest = std::min(oldest, item->firstSeq);
    }
    // x of measurements no item holds any more.
    while (m_xFirstSeq < oldest && !m_xs.empty()) {
        m_xs.pop_front();
        ++m_xFirstSeq;
    }
}

void TrendHistory::append(qint64 x, const MeasLists& lists, qint32 count)
{
    appendValues(x, count, [&](qsizetype i) -> const QByteArray& { return lists.MeasData(int(i)); });
}

void TrendHistory::append(qint64 x, const QList<QByteArray>& values)
{
    appendValues(x, values.size(), [&](qsizetype i) -> const QByteArray& { return values[i]; });
}

bool TrendHistory::setChosen(const QByteArray& name, bool chosen)
{
    Item* item = find(name);
    if (!item)
        return false;
    if (item->chosen == chosen)
        return true;
    if (chosen && m_chosen.size() >= MaxChosen)
        return false;
    item->chosen = chosen;
    if (chosen) {
        m_chosen << name;
        item->values.capacity = m_limits.chosenPoints;
    } else {
        m_chosen.removeAll(name);
        const qsizetype before = item->values.count;
        item->values.setCapacity(m_limits.recentPoints);
        item->firstSeq += before - item->values.count;
    }
    return true;
}

bool TrendHistory::isChosen(const QByteArray& name) const
{
    const Item* item = find(name);
    return item && item->chosen;
}

TrendHistory::Series TrendHistory::series(const QByteArray& name) const
{
    Series s;
    s.m_history = this;
    if (const Item* item = find(name)) {
        s.m_values = &item->values;
        s.m_firstSeq = item->firstSeq;
        s.m_size = item->values.count;
    }
    return s;
}

QByteArray TrendHistory::lastText(const QByteArray& name) const
{
    const Item* item = find(name);
    return item ? item->lastText : QByteArray();
}
