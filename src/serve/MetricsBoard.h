#pragma once

#include <QByteArray>

#include <chrono>
#include <memory>
#include <mutex>

// The exposition the HTTP thread serves: made on the session's thread after each change and
// swapped in whole, so a scrape never waits for the line nor touches a session object.
class MetricsBoard
{
public:
    using Clock = std::chrono::steady_clock;

    struct Page
    {
        QByteArray fresh;             // with the measured values and pqlink_up 1
        QByteArray stale;             // without them, pqlink_up 0
        Clock::time_point freshUntil; // --stale-after past the last good poll
    };

    void publish(std::shared_ptr<const Page> page)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_page = std::move(page);
    }
    // The text to serve now; empty before the first publication.
    QByteArray current(Clock::time_point now = Clock::now()) const
    {
        std::shared_ptr<const Page> page;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            page = m_page;
        }
        if (!page)
            return {};
        return now < page->freshUntil ? page->fresh : page->stale;
    }

private:
    mutable std::mutex m_mutex;
    std::shared_ptr<const Page> m_page;
};
