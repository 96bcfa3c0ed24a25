#include "TrendHistory.h"

#include "MeasLists.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include <QHash>
#include <QSet>

float TrendValue(QByteArrayView text)
{
    // Read by hand: a measurement brings up to 1600 of these, and the library's readers
    // cost several times more per text.
    constexpr float gap = std::numeric_limits<float>::quiet_NaN();
    const char* p = text.data();
    const char* end = p + text.size();
    while (p != end && *p == ' ')
        ++p;
    while (end != p && end[-1] == ' ')
        --end;
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-'))
        negative = *p++ == '-';
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    quint64 mantissa = 0;
    int digits = 0, scale = 0;
    bool any = false;
    // Up to 18 significant digits go into the mantissa; later ones of the integer part only
    // scale it, later decimals are dropped.
    const auto take = [&](char c, bool decimal) {
        any = true;
        if (mantissa == 0 && c == '0') {
            scale -= decimal ? 1 : 0;
        } else if (digits < 18) {
            mantissa = mantissa * 10 + quint64(c - '0');
            ++digits;
            scale -= decimal ? 1 : 0;
        } else if (!decimal) {
            ++scale;
        }
    };
    for (; p != end && digit(*p); ++p)
        take(*p, false);
    if (p != end && *p == '.') {
        for (++p; p != end && digit(*p); ++p)
            take(*p, true);
    }
    if (!any)
        return gap;
    if (p != end && (*p == 'E' || *p == 'e')) {
        ++p;
        bool expNegative = false;
        if (p != end && (*p == '+' || *p == '-'))
            expNegative = *p++ == '-';
        if (p == end)
            return gap;
        int exp = 0;
        for (; p != end && digit(*p); ++p)
            exp = std::min(exp * 10 + (*p - '0'), 9999);
        scale += expNegative ? -exp : exp;
    }
    if (p != end)
        return gap;
    static const double powers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                    1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                    1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    double v = double(mantissa);
    if (mantissa == 0)
        v = 0;
    else if (scale >= 0 && scale <= 22)
        v *= powers[scale];
    else if (scale < 0 && scale >= -22)
        v /= powers[-scale];
    else
        v *= std::pow(10.0, scale);
    return float(negative ? -v : v);
}

void TrendHistory::Ring::push(float v)
{
    const qsizetype size = qsizetype(data.size());
    if (count == size && size < capacity) {
        // Grow by doubling up to the capacity, oldest first again.
        std::vector<float> grown(
            std::size_t(std::min(capacity, std::max<qsizetype>(64, size * 2))));
        for (qsizetype i = 0; i < count; ++i)
            grown[std::size_t(i)] = at(i);
        data.swap(grown);
        head = 0;
    }
    const qsizetype n = qsizetype(data.size());
    if (count == n) {
        data[std::size_t(head)] = v;
        if (++head == n)
            head = 0;
        return;
    }
    const qsizetype k = head + count;
    data[std::size_t(k < n ? k : k - n)] = v;
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

void TrendHistory::pushX(qint64 x)
{
    const qsizetype n = qsizetype(m_xs.size());
    if (m_xCount == n) {
        std::vector<qint64> grown(std::size_t(std::max<qsizetype>(64, n * 2)));
        for (qsizetype i = 0; i < m_xCount; ++i)
            grown[std::size_t(i)] = xAt(m_xFirstSeq + i);
        m_xs.swap(grown);
        m_xHead = 0;
    }
    qsizetype k = m_xHead + m_xCount++;
    if (k >= qsizetype(m_xs.size()))
        k -= qsizetype(m_xs.size());
    m_xs[std::size_t(k)] = x;
}

void TrendHistory::resizeRows(qsizetype capacity, qsizetype width)
{
    std::vector<float> rows(std::size_t(capacity * width), std::numeric_limits<float>::quiet_NaN());
    const qsizetype keep = std::min(m_rowCount, capacity);
    const qsizetype skip = m_rowCount - keep;
    for (qsizetype r = 0; r < keep; ++r) {
        const qint64 seq = m_rowFirstSeq + skip + r;
        for (qsizetype k = 0; k < std::min(width, m_width); ++k)
            rows[std::size_t(r * width + k)] = rowValue(seq, k);
    }
    m_rows.swap(rows);
    m_rowFirstSeq += skip;
    m_rowCount = keep;
    m_rowHead = 0;
    m_rowCapacity = capacity;
    m_width = width;
}

float* TrendHistory::newRow()
{
    // The rows grow by doubling up to their limit, so that a slow run does not hold an
    // hour's worth of memory for a few points.
    if (m_rowCount == m_rowCapacity && m_rowCapacity < m_limits.recentPoints)
        resizeRows(std::min(m_limits.recentPoints, std::max<qsizetype>(64, m_rowCapacity * 2)),
                   m_width);
    qsizetype r = m_rowHead + m_rowCount;
    if (m_rowCount == m_rowCapacity) {
        // Full: the oldest row makes way.
        r = m_rowHead;
        if (++m_rowHead == m_rowCapacity)
            m_rowHead = 0;
        ++m_rowFirstSeq;
    } else {
        if (r >= m_rowCapacity)
            r -= m_rowCapacity;
        ++m_rowCount;
    }
    float* row = m_rows.data() + r * m_width;
    std::fill(row, row + m_width, std::numeric_limits<float>::quiet_NaN());
    return row;
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

    const QSet<QByteArray> wanted(unique.begin(), unique.end());
    std::vector<std::unique_ptr<Item>> kept;
    for (auto& item : m_items) {
        if (item->chosen || wanted.contains(item->name))
            kept.push_back(std::move(item));
        else
            m_freeSlots.push_back(item->slot);
    }
    m_items.swap(kept);
    QHash<QByteArray, Item*> byName;
    for (auto& item : m_items)
        byName.insert(item->name, item.get());

    m_columns.clear();
    for (auto& item : m_items)
        item->column = -1;
    qsizetype width = m_width;
    for (const QByteArray& n : unique) {
        Item* item = byName.value(n);
        if (!item) {
            m_items.push_back(std::make_unique<Item>());
            item = m_items.back().get();
            item->name = n;
            item->firstSeq = m_nextSeq;
            if (m_freeSlots.empty()) {
                item->slot = width++;
            } else {
                item->slot = m_freeSlots.back();
                m_freeSlots.pop_back();
            }
            byName.insert(n, item);
        }
        item->column = qsizetype(m_columns.size());
        m_columns.push_back(item);
    }
    if (width != m_width)
        resizeRows(m_rowCapacity, width);
}

template <class Value> void TrendHistory::appendValues(qint64 x, qsizetype count, Value value)
{
    const qint64 seq = m_nextSeq++;
    pushX(x);
    // Items without a value in this measurement (a shorter reply, a chosen item no longer in
    // the grid) keep the row's gap.
    float* row = newRow();
    const qsizetype n = std::min<qsizetype>(count, qsizetype(m_columns.size()));
    for (qsizetype i = 0; i < n; ++i)
        row[m_columns[std::size_t(i)]->slot] = TrendValue(value(i));
    while (m_rowCount > 0 && x - xAt(m_rowFirstSeq) > m_limits.recentSpan) {
        if (++m_rowHead == m_rowCapacity)
            m_rowHead = 0;
        --m_rowCount;
        ++m_rowFirstSeq;
    }

    qint64 oldest = m_rowCount > 0 ? m_rowFirstSeq : seq;
    for (Item* chosen : m_chosenItems) {
        Item& item = *chosen;
        if (item.values.count == item.values.capacity)
            ++item.valuesFirstSeq;
        item.values.push(row[item.slot]);
        qsizetype drop = 0;
        while (drop < item.values.count &&
               x - xAt(item.valuesFirstSeq + drop) > m_limits.chosenSpan)
            ++drop;
        item.values.popFront(drop);
        item.valuesFirstSeq += drop;
        oldest = std::min(oldest, item.valuesFirstSeq);
        item.lastText =
            item.column >= 0 && item.column < n ? QByteArray(value(item.column)) : QByteArray();
    }
    // x of measurements no item holds any more.
    while (m_xFirstSeq < oldest && m_xCount > 0) {
        if (++m_xHead == qsizetype(m_xs.size()))
            m_xHead = 0;
        --m_xCount;
        ++m_xFirstSeq;
    }
}

void TrendHistory::append(qint64 x, const MeasLists& lists, qint32 count)
{
    appendValues(x, count,
                 [&](qsizetype i) -> const QByteArray& { return lists.MeasData(int(i)); });
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
    // A newly chosen item starts with what the recent rows hold of it.
    const Series recent = series(name);
    item->chosen = chosen;
    item->values = Ring();
    item->lastText.clear();
    if (chosen) {
        m_chosen << name;
        m_chosenItems.push_back(item);
        item->values.capacity = m_limits.chosenPoints;
        for (qsizetype i = 0; i < recent.size(); ++i)
            item->values.push(recent.y(i));
        item->valuesFirstSeq = recent.m_firstSeq + (recent.size() - item->values.count);
    } else {
        m_chosen.removeAll(name);
        std::erase(m_chosenItems, item);
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
    const Item* item = find(name);
    if (!item)
        return s;
    if (item->chosen && item->values.capacity > 0) {
        s.m_values = &item->values;
        s.m_firstSeq = item->valuesFirstSeq;
        s.m_size = item->values.count;
    } else if (m_rowCount > 0) {
        s.m_slot = item->slot;
        s.m_firstSeq = std::max(item->firstSeq, m_rowFirstSeq);
        s.m_size = std::max<qint64>(0, m_rowFirstSeq + m_rowCount - s.m_firstSeq);
    }
    return s;
}

QByteArray TrendHistory::lastText(const QByteArray& name) const
{
    const Item* item = find(name);
    return item ? item->lastText : QByteArray();
}
