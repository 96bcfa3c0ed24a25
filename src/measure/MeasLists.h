#pragma once

#include <QByteArray>

#include <array>
#include <utility>

// The item names and values of the last measured-data reply, as the instrument sent them.
// Entry n after the last item holds "END"; entries after it keep older items.
class MeasLists
{
public:
    static constexpr int Capacity = 1601; // entries 0..1600
    static constexpr int MaxItems = Capacity - 1;

    // A header-on reply ("name value,name value...") into both lists; gives the item count.
    qint32 SplitHeaderData(const QByteArray& reply);
    // A header-off reply ("value,value...") into MeasData only; gives the item count.
    qint32 SplitData(const QByteArray& reply);
    // One item into name and value, split at its second blank, or at its first when there is
    // only one. No blank: both are empty.
    static std::pair<QByteArray, QByteArray> SplitItem(const QByteArray& item);

    const QByteArray& MeasHeader(int i) const { return m_header.at(i); }
    const QByteArray& MeasData(int i) const { return m_data.at(i); }

    static const QByteArray& endMarker();

private:
    template <class Store> qint32 split(const QByteArray& reply, Store store);

    std::array<QByteArray, Capacity> m_header{};
    std::array<QByteArray, Capacity> m_data{};
};
